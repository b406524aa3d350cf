#!/bin/bash
# Runs a cross-built test program under Wine for CTest.
#   mingw-wine-run.sh PREFIX_DIR [--copy-of DIR] [--wine-fonts] [--dpi N] PROGRAM.exe [ARGS...]
#   mingw-wine-run.sh PREFIX_DIR [--wine-fonts] --init   (only create the prefix)
# The tests get a Wine prefix of their own (created on first use, beside the
# build; --copy-of copies a prefix made before, a few seconds faster than
# making one), no debug chatter, no installer prompts and no debugger (a
# crashing program ends at once with its exception's code instead of waiting
# for one). Debian's Wine does not look into its own font folder, so a prefix
# has no Tahoma (a wider face stands in) unless --wine-fonts copies Wine's
# fonts in when it is made.
# --dpi sets the screen resolution (LogPixels) for this and later programs of
# the prefix: tests that set different ones must not share a prefix at once.
# Wine's console writes CR LF; the CRs are dropped so that CTest reads the
# output as on Linux. The output goes through a file, not a pipe: the
# wineserver and Wine's services, started by the first program, inherit its
# output and would hold a pipe open for seconds after the program has ended.
# With TAVROLIN_SKIPPED set (scripts/test.sh), the GoogleTest cases that
# skipped themselves are added to that file.
prefix=$1
shift
fonts=0
dpi=
base=
while :; do
  case $1 in
    --wine-fonts) fonts=1 ;;
    --copy-of)
      base=$2
      shift
      ;;
    --dpi)
      dpi=$2
      shift
      ;;
    *) break ;;
  esac
  shift
done
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" WINEARCH=win64
if [ ! -f "$prefix/system.reg" ]; then
  # Two tests starting at once must not both build the prefix.
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    # Windows without a screen: the tests need no display, and none pops up.
    if [ -f "$prefix/system.reg" ]; then
      :
    elif [ -n "$base" ] && [ -f "$base/system.reg" ]; then
      rm -rf "$prefix.new" "$prefix" && cp -a "$base" "$prefix.new" &&
        { ((!fonts)) || cp /usr/share/wine/fonts/*.ttf "$prefix.new/drive_c/windows/Fonts/"; } &&
        mv "$prefix.new" "$prefix"
    else
      wineboot -i && wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f &&
        { ((!fonts)) || cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"; } &&
        wineserver -w
    fi >/dev/null 2>&1
  ) 9>"$prefix.lock"
fi
[ "$1" = --init ] && exit 0
if [ -n "$dpi" ]; then
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
    { echo "mingw-wine-run.sh: could not set $dpi dpi in $prefix"; exit 1; }
fi
output=$(mktemp)
trap 'rm -f "$output"' EXIT
wine "$@" >"$output" 2>&1
status=$?
# Wine itself, not the program, failed: its loader was killed by a signal (a
# program's own fault ends it with the exception's code), or it lost its
# wineserver. The 32-bit loader does so about once in a few hundred runs, at
# start or at exit: the program runs once more, and the log says why.
if ((status > 128)) || grep -q '^wine client error' "$output"; then
  echo "mingw-wine-run.sh: Wine failed (status $status), running $(basename "$1") once more:"
  tr -d '\r' <"$output" | tail -n 3
  wine "$@" >"$output" 2>&1
  status=$?
fi
tr -d '\r' <"$output"
# The cases that skipped themselves, for the test command's closing line
# (GoogleTest's summary names each once).
if [ -n "$TAVROLIN_SKIPPED" ]; then
  run="$(basename "$(dirname "$prefix")") $(basename "$1")${dpi:+ at $dpi dpi}"
  tr -d '\r' <"$output" | sed -nE "s/^\[  SKIPPED \] ([^ ]+)$/$run: \1/p" >>"$TAVROLIN_SKIPPED"
fi
# A program that Wine could not start at all says nothing of its own.
[ $status -ne 0 ] && [ ! -s "$output" ] && echo "mingw-wine-run.sh: wine $1 ended with status $status and no output"
exit $status
