#!/usr/bin/env bash
# The Linux program against a Windows game run under Wine: it must find the
# game by its Windows image name and spread every thread of it.
#
#   tests/e2e/linux/wine_game.sh NATIVE_BUILD_DIR WIN64_BUILD_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: wine_game.sh NATIVE_BUILD WIN64_BUILD}" && pwd)
winbuild=$(cd "${2:?usage: wine_game.sh NATIVE_BUILD WIN64_BUILD}" && pwd)
work=$(mktemp -d /tmp/tavrolin-winegame.XXXXXX)
# shellcheck source=lib.sh
source "$here/lib.sh"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
trap 'cleanup; wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
unset NUMBER_OF_PROCESSORS
all_cpus=$(awk '/^Cpus_allowed_list:/ {print $2}' /proc/self/status)

mkdir -p "$work/games"
cp "$winbuild/standin.exe" "$work/games/ForgedAlliance.exe"
wineboot -i >/dev/null 2>&1  # the prefix first, so that the game starts at once

dir=$(new_program_dir)
printf '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nGame=1\r\n' >"$dir/config.ini"
start_bg "$work/game.log" wine "$work/games/ForgedAlliance.exe" --threads 3
sleep 3
game_pid=$(pgrep -f '^[^ ]*ForgedAlliance\.exe' | head -1)
start_bg "$work/prog.log" "$dir/tavrolin"
prog=$started

if [[ -z $game_pid ]]; then
  fail "the Wine game did not start: $(cat "$work/game.log")"
else
  read -r pinned final < <(watch_adjustment "$game_pid" 16)
  if [[ $pinned != - && $final != - ]]; then
    pass "a game under Wine, found as ForgedAlliance.exe: every thread to processor 0, then to $all_cpus"
  else
    fail "the Wine game was not adjusted: pinned=$pinned final=$final cpus=$(thread_cpus "$game_pid")"
  fi
  grep -q "^ForgedAlliance.exe (PID $game_pid): processors $all_cpus\$" "$work/prog.log" &&
    pass "stdout names the game by its Windows image name" || fail "adjustment line: $(cat "$work/prog.log")"
fi
stop_program "$prog"
((failures == 0))
