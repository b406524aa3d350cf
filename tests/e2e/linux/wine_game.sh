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
suite="The Linux program against a game under Wine"
# shellcheck source=lib.sh
source "$here/lib.sh"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
trap 'cleanup; wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
unset NUMBER_OF_PROCESSORS
all_cpus=$(awk '/^Cpus_allowed_list:/ {print $2}' /proc/self/status)

if one_processor; then
  skip "a game under Wine is adjusted" "only one processor to run on: there is nothing to spread"
  summary
fi

mkdir -p "$work/games"
cp "$winbuild/standin.exe" "$work/games/ForgedAlliance.exe"
wineboot -i >/dev/null 2>&1 # the prefix first, so that the game starts at once

dir=$(new_program_dir)
printf '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nGame=1\r\n' >"$dir/config.ini"
start_bg "$work/game.log" wine "$work/games/ForgedAlliance.exe" --threads 3
wine_game() { game_pid=$(pgrep -f '^[^ ]*ForgedAlliance\.exe' | head -1) && [[ -n $game_pid ]]; }
if ! wait_until 60 wine_game; then
  fail "the Wine game did not start within a minute: $(cat "$work/game.log")"
  summary
fi
watch_start "$game_pid" "$work/watch"
pids_to_kill+=("$watcher")
start_program "$dir" "$work/prog.log" || fail "no startup line: $(cat "$work/prog.log")"
prog=$started

# The first poll 10 s after the start, the delay of 1 s, the final mask a
# second later: a minute leaves room for a loaded machine.
if wait_adjustment "$work/watch" "$all_cpus" 60; then
  pass "a game under Wine, found as ForgedAlliance.exe: every thread to processor 0, then to $all_cpus"
else
  fail "the Wine game was not adjusted: pinned_at=$pinned_at final_at=$final_at; watch log: $(tr '\n' '|' <"$work/watch")"
fi
wait_until 10 grep -q "^ForgedAlliance.exe (PID $game_pid): processors $all_cpus\$" "$work/prog.log" &&
  pass "stdout names the game by its Windows image name" || fail "adjustment line: $(cat "$work/prog.log")"
stop_program "$prog"
summary
