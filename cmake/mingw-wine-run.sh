#!/bin/bash
# Runs a cross-built test program under Wine for CTest.
#   mingw-wine-run.sh PREFIX_DIR PROGRAM.exe [ARGS...]
#   mingw-wine-run.sh PREFIX_DIR --init      (only create the prefix)
# The tests get a Wine prefix of their own (created on first use, beside the
# build), no debug chatter and no installer prompts. Wine's console writes CR LF;
# the CRs are dropped so that CTest reads test names and output as on Linux.
# The output goes through a file, not a pipe: the wineserver and Wine's services,
# started by the first program, inherit its output and would hold a pipe open
# for seconds after the program has ended.
prefix=$1
shift
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
if [ ! -f "$prefix/system.reg" ]; then
  # Two tests starting at once must not both build the prefix.
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    # Windows without a screen: the tests need no display, and none pops up.
    [ -f "$prefix/system.reg" ] || {
      wineboot -i && wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f &&
        wineserver -w
    } >/dev/null 2>&1
  ) 9>"$prefix.lock"
fi
[ "$1" = --init ] && exit 0
output=$(mktemp)
trap 'rm -f "$output"' EXIT
wine "$@" >"$output" 2>&1
status=$?
tr -d '\r' <"$output"
exit $status
