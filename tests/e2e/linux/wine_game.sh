#!/usr/bin/env bash
# The Linux program against a Windows game run under Wine: it must find the
# game by its Windows image name and spread every thread of it. With CPUs=1,
# a thread the game starts after the adjustment (which Wine starts on its own
# record of the game's processors, all of them) is moved onto processor 1 at
# the next poll.
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
# Until this script moves to the shared harness: the names it still uses.
started_at=$(now_ms)
summary() { e2e_summary; }
cleanup() { kill_started; }
stop_program() { stop_pid "$@"; }
poll_after() {
  local seen=$(($1 - 1000))
  echo $((seen + ($2 - seen) / 10000 * 10000 + 10000))
}
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
trap 'cleanup; wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
unset NUMBER_OF_PROCESSORS
all_cpus=$(awk '/^Cpus_allowed_list:/ {print $2}' /proc/self/status)

if one_processor; then
  skip "a game under Wine is adjusted" "only one processor to run on: there is nothing to spread"
  skip "a thread started under Wine after the adjustment" "only one processor to run on"
  summary
fi

mkdir -p "$work/games"
cp "$winbuild/standin.exe" "$work/games/ForgedAlliance.exe"
cp "$winbuild/standin.exe" "$work/games/SupremeCommander.exe"
wineboot -i >/dev/null 2>&1 # the prefix first, so that the game starts at once

# Two programs side by side, each watching its own game: ForgedAlliance.exe
# over every processor, SupremeCommander.exe on CPUs=1. The latter starts a
# thread for each line it is sent.
dir=$(new_program_dir)
printf '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nGame=1\r\n' >"$dir/config.ini"
sc_dir=$(new_program_dir)
printf '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nCPUs=1\r\nGame=0\r\n' >"$sc_dir/config.ini"
mkfifo "$work/sc.in" && exec {sc_in}<>"$work/sc.in"
start_bg "$work/game.log" wine "$work/games/ForgedAlliance.exe" --threads 3
wine "$work/games/SupremeCommander.exe" --threads 3 --on-line thread <"$work/sc.in" >"$work/sc.log" 2>&1 &
pids_to_kill+=("$!")
wine_game() { game_pid=$(pgrep -f '^[^ ]*ForgedAlliance\.exe' | head -1) && [[ -n $game_pid ]]; }
wine_sc() { sc_pid=$(pgrep -f '^[^ ]*SupremeCommander\.exe' | head -1) && [[ -n $sc_pid ]]; }
if ! wait_until 60 wine_game || ! wait_until 60 wine_sc; then
  fail "the Wine games did not start within a minute: $(cat "$work/game.log" "$work/sc.log")"
  summary
fi
watch_start "$game_pid" "$work/watch"
pids_to_kill+=("$watcher")
watch_start "$sc_pid" "$work/sc.watch"
pids_to_kill+=("$watcher")
mkdir -m 700 "$work/run" "$work/sc-run"
start_program "$dir" "$work/prog.log" XDG_RUNTIME_DIR="$work/run" || fail "no startup line: $(cat "$work/prog.log")"
prog=$started
start_program "$sc_dir" "$work/sc-prog.log" XDG_RUNTIME_DIR="$work/sc-run" || fail "no startup line: $(cat "$work/sc-prog.log")"
sc_prog=$started

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

# SupremeCommander.exe on processor 1; then one more thread, which Wine starts
# on 0-1.
if wait_adjustment "$work/sc.watch" 1 60 &&
  wait_until 10 grep -qx "SupremeCommander.exe (PID $sc_pid): processors 1" "$work/sc-prog.log"; then
  threads=$(thread_count "$sc_pid")
  sent_at=$(now_ms)
  echo >&"$sc_in"
  line="SupremeCommander.exe (PID $sc_pid): 1 new thread moved to processors 1"
  # When the new thread showed elsewhere, and when every thread was on 1 again.
  fixed() {
    read -r appeared_at fixed_at < <(awk -v since="$sent_at" '
      $1 < since { next }
      appeared == "" && !(NF == 3 && $3 == "1") { appeared = $1; next }
      appeared != "" && NF == 3 && $3 == "1" { print appeared, $1; exit }
    ' "$work/sc.watch")
    [[ -n $fixed_at ]]
  }
  wait_until 40 fixed
  wait_until 10 grep -qxF "$line" "$work/sc-prog.log"
  # Started a second or two after the final mask, the thread is due to be
  # fixed at the poll 8 s later: 5 s of room for a loaded machine still tell
  # that poll from the one after it.
  if [[ -n ${fixed_at:-} ]] && ((fixed_at <= $(poll_after "$pinned_at" "$appeared_at") + 5000)) &&
    grep -qxF "$line" "$work/sc-prog.log" && [[ $(thread_count "$sc_pid") == $((threads + 1)) && $(thread_cpus "$sc_pid") == 1 ]]; then
    pass "a thread started under Wine after the adjustment (the threads then on: $(awk -v at="$appeared_at" '$1 == at { $1 = $2 = ""; print }' "$work/sc.watch" | xargs)) is on processor 1 again $((fixed_at - appeared_at)) ms later, at the next poll: \"$line\""
  else
    fail "the thread started under Wine: pinned at $pinned_at, sent at $sent_at, appeared at ${appeared_at:-never}, fixed at ${fixed_at:-never}; $(cat "$work/sc-prog.log" "$work/sc.log"); watch: $(tr '\n' '|' <"$work/sc.watch")"
  fi
else
  fail "CPUs=1 under Wine: pinned_at=$pinned_at final_at=$final_at; $(cat "$work/sc-prog.log"); watch: $(tr '\n' '|' <"$work/sc.watch")"
fi
stop_program "$sc_prog"
summary
