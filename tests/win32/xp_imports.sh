#!/usr/bin/env bash
# The 32-bit Tavrolin.exe must load on Windows XP SP2 and later. Windows
# refuses to start an exe that imports a function its DLLs do not export, or
# whose header asks for a newer Windows, so both are checked here:
# - every imported function is in xp_imports.txt, the list of functions
#   checked against Windows XP (see docs/windows-xp.md); a new import
#   fails here until it has been checked and added;
# - the header's operating-system and subsystem versions are at most 5.1.
#
#   tests/win32/xp_imports.sh [BUILD_DIR]     (default build/win32)
set -u
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:-$here/../../build/win32}/Tavrolin.exe
objdump=i686-w64-mingw32-objdump
fatal() {
  echo "FAIL: $*"
  exit 1
}
[[ -f $exe ]] || fatal "no $exe"
headers=$($objdump -p "$exe")
grep -q '^Magic[[:space:]]*010b' <<<"$headers" || fatal "$exe is not a 32-bit exe"

# "dll function" per import, the DLL's name in lower case.
imports=$(awk -F'\t' '
  /DLL Name:/ { split($0, name, "DLL Name: "); dll = tolower(name[2]); next }
  dll && NF >= 3 && $3 ~ /^ *[0-9]+ +[A-Za-z_]/ { split($3, f, " "); print dll, f[2] }
' <<<"$headers" | sort -u)
failures=0
# Every exe imports from kernel32.dll: none found means the parse failed, and
# an empty list would pass the check below whatever the exe imports.
grep -q '^kernel32\.dll ' <<<"$imports" ||
  fatal "no imports from kernel32.dll read from $exe; objdump's output was not understood:"$'\n'"$(grep -m 20 -E 'DLL Name|^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+' <<<"$headers" | sed 's/^/  /')"
unchecked=$(comm -23 <(echo "$imports") <(sort -u "$here/xp_imports.txt"))
if [[ -n $unchecked ]]; then
  echo "FAIL: imports not checked against Windows XP (check each, then add it to tests/win32/xp_imports.txt):"
  sed 's/^/  /' <<<"$unchecked"
  failures=1
else
  echo "PASS: all $(wc -l <<<"$imports") imports of $(basename "$exe") are among those checked against Windows XP"
fi

# version NAME: the header's MajorNAMEVersion.MinorNAMEVersion; nothing when
# objdump did not show both as numbers.
version() {
  awk -v major="Major$1Version" -v minor="Minor$1Version" '
    $1 == major { a = $2 } $1 == minor { b = $2 }
    END { if (a ~ /^[0-9]+$/ && b ~ /^[0-9]+$/) print a "." b }' <<<"$headers"
}
# Compared as numbers, part by part: 5.10 is newer than 5.1.
at_most_xp() { ((${1%.*} < 5 || (${1%.*} == 5 && ${1#*.} <= 1))); }
os=$(version OSystem)
subsystem=$(version Subsystem)
if [[ -z $os || -z $subsystem ]]; then
  echo "FAIL: the header's version fields were not read from $exe; objdump's output was not understood:"
  grep -E 'Version' <<<"$headers" | sed 's/^/  /'
  failures=1
elif at_most_xp "$os" && at_most_xp "$subsystem"; then
  echo "PASS: the header asks for Windows $os, subsystem $subsystem (XP is 5.1)"
else
  echo "FAIL: the header asks for Windows $os, subsystem $subsystem; XP is 5.1"
  failures=1
fi
exit $failures
