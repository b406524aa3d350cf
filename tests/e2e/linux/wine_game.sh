#!/usr/bin/env bash
# The Linux program against a Windows game run under Wine: it must find the
# game by its Windows image name and spread every thread of it. With CPUs=1,
# a thread the game starts after the adjustment (which Wine starts on its own
# record of the game's processors, all of them) is moved onto processor 1 at
# the next poll.
#
#   tests/e2e/linux/wine_game.sh NATIVE_BUILD_DIR WIN64_BUILD_DIR
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../wine/prefix.sh"
linux_begin "The Linux program against a game under Wine" "${1:?usage: wine_game.sh NATIVE_BUILD WIN64_BUILD}"
winbuild=$(cd "${2:?usage: wine_game.sh NATIVE_BUILD WIN64_BUILD}" && pwd) || fatal "no build directory $2"
needs_two_processors "a game under Wine is adjusted" "a thread started under Wine after the adjustment"
export WINEPREFIX=$work/prefix
new_prefix "$WINEPREFIX" "$winbuild"
mkdir -p "$work/games"
cp "$winbuild/standin.exe" "$work/games/ForgedAlliance.exe"
cp "$winbuild/standin.exe" "$work/games/SupremeCommander.exe"

# Two programs side by side, each watching its own game: ForgedAlliance.exe
# over every processor, SupremeCommander.exe on CPUs=1. The latter starts a
# thread for each line it is sent.
dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 Game=1)
sc_dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 CPUs=1 Game=0)
mkfifo "$work/sc.in" && exec {sc_in}<>"$work/sc.in"
start_bg "$work/game.log" wine "$work/games/ForgedAlliance.exe" --threads 3
# (An & without a redirection of its own would read /dev/null.)
wine "$work/games/SupremeCommander.exe" --threads 3 --on-line thread <"$work/sc.in" >"$work/sc.log" 2>&1 &
pids_to_kill+=("$!")
wine_fa() { game_pid=$(wine_pid ForgedAlliance.exe); }
wine_sc() { sc_pid=$(wine_pid SupremeCommander.exe); }
wait_until 60 wine_fa && wait_until 60 wine_sc ||
  fatal "the Wine games did not start within a minute: $(cat "$work/game.log" "$work/sc.log")"
watch_start "$game_pid" "$work/watch"
pids_to_kill+=("$watcher")
watch_start "$sc_pid" "$work/sc.watch"
pids_to_kill+=("$watcher")
start_program "$dir" "$work/prog.log" || fail "no startup line: $(cat "$work/prog.log")"
prog=$started
start_program "$sc_dir" "$work/sc-prog.log" || fail "no startup line: $(cat "$work/sc-prog.log")"
sc_prog=$started

wait_adjustment "$work/watch" "$all_cpus" 60 &&
  pass "a game under Wine, found as ForgedAlliance.exe: every thread to processor 0, then to $all_cpus" ||
  fail "the Wine game was not adjusted: pinned_at=$pinned_at final_at=$final_at; watch log: $(tr '\n' '|' <"$work/watch")"
wait_until 10 grep -q "^ForgedAlliance.exe (PID $game_pid): processors $all_cpus\$" "$work/prog.log" &&
  pass "stdout names the game by its Windows image name" || fail "adjustment line: $(cat "$work/prog.log")"
stop_ok "$prog" "the program watching ForgedAlliance.exe"

# SupremeCommander.exe on processor 1; then one more thread, which Wine starts
# on 0-1, and the first poll to see it (the next, or the one after when the
# next was under way) moves it to 1.
if wait_adjustment "$work/sc.watch" 1 60 &&
  wait_until 10 grep -qx "SupremeCommander.exe (PID $sc_pid): processors 1" "$work/sc-prog.log"; then
  threads=$(thread_count "$sc_pid")
  sent_at=$(now_ms)
  sent_after=$(last_poll "$work/sc-prog.log")
  echo >&"$sc_in"
  line="SupremeCommander.exe (PID $sc_pid): 1 new thread moved to processors 1"
  # The threads' processors when the new one first showed elsewhere.
  appeared() {
    elsewhere=$(awk -v since="$sent_at" '$1 >= since && !(NF == 3 && $3 == "1") { $1 = $2 = ""; sub(/^ +/, ""); print; exit }' "$work/sc.watch")
    [[ -n $elsewhere ]]
  }
  if wait_until 10 appeared && wait_poll_saying "$work/sc-prog.log" "$sent_after" 'kept on processors 1, 1 thread moved$' 30 &&
    [[ ${polled%%:*} =~ ^poll\ ([0-9]+)$ ]] && ((BASH_REMATCH[1] <= sent_after + 2)) &&
    wait_until 10 grep -qxF "$line" "$work/sc-prog.log" &&
    [[ $(thread_count "$sc_pid") == $((threads + 1)) && $(thread_cpus "$sc_pid") == 1 ]]; then
    pass "a thread started under Wine after the adjustment (the threads then on: $elsewhere) is on processor 1 again at the next poll ($polled): \"$line\""
  else
    fail "the thread started under Wine: elsewhere '${elsewhere:-}', ${polled:-no poll} (polls before it: $sent_after); $(cat "$work/sc-prog.log" "$work/sc.log"); watch: $(tr '\n' '|' <"$work/sc.watch")"
  fi
else
  fail "CPUs=1 under Wine: pinned_at=$pinned_at final_at=$final_at; $(cat "$work/sc-prog.log"); watch: $(tr '\n' '|' <"$work/sc.watch")"
fi
stop_ok "$sc_prog" "the program watching SupremeCommander.exe"
e2e_summary
