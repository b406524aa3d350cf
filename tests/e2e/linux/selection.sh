#!/usr/bin/env bash
# The processor choice of the Linux program (the CPUs key), through the real
# program against a stand-in game: with CPUs=1 the game is pinned to
# processor 0, then ends on processor 1 alone. A thread that runs elsewhere
# afterwards is moved back at the next poll, with one line that counts it,
# and the polls after that say nothing.
#
#   tests/e2e/linux/selection.sh [BUILD_DIR]    (default build/native)
#
# About 35 s. Ends with "N passed, F failed, S skipped: NAMES".
set -u
source "$(dirname "$0")/lib.sh"
linux_begin "The processor choice on Linux" "${1:-$root/build/native}"
needs_two_processors "CPUs=1: the game ends on processor 1 alone" "a thread off the selection is moved back at the next poll"

dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 CPUs=1 Game=0)
log=$work/prog.log
start_game "$(new_game SupremeCommander.exe)" --threads 3
start_program "$dir" "$log" || fatal "no startup line: $(cat "$log")"
prog=$started

if wait_adjusted "$log" SupremeCommander.exe "$game_pid" "$game_watch" 1 &&
  wait_until 10 grep -qx "SupremeCommander.exe (PID $game_pid): processors 1" "$log" &&
  grep -qxF "tavrolin: watching SupremeCommander.exe (delay 1000 ms, online play allowed, CPUs 1); settings and log in $dir" "$log" &&
  [[ $(thread_cpus "$game_pid") == 1 && $(reports "$dir") == 0 ]]; then
  pass "CPUs=1: the startup line names it; every thread pinned to 0, then on processor 1 alone; no reports"
else
  fail "CPUs=1: pinned_at=$pinned_at final_at=$final_at, threads on $(thread_cpus "$game_pid"); $(cat "$log"); watch: $(tr '\n' '|' <"$game_watch")"
fi

# One thread put on processor 0 from outside, as a thread that Wine starts on
# its own record of the game's processors would be. The poll under way when
# it moved may have looked already: the one after that must move it back.
tid=$(ls /proc/"$game_pid"/task | sort -n | tail -n 1)
moved_after=$(last_poll "$log")
taskset -p -c 0 "$tid" >/dev/null
line="SupremeCommander.exe (PID $game_pid): 1 new thread moved to processors 1"
if wait_poll_saying "$log" "$moved_after" "kept on processors 1, 1 thread moved" &&
  fixed_by=${polled%%:*} && ((${fixed_by#poll } <= moved_after + 2)) && [[ $(grep -cxF "$line" "$log") == 1 ]] &&
  [[ $(awk '/^Cpus_allowed_list:/ { print $2 }' "/proc/$game_pid/task/$tid/status") == 1 ]]; then
  pass "a thread moved to processor 0 is on processor 1 again at the next poll ($fixed_by), with one line: \"$line\""
else
  fail "the moved thread $tid after poll $moved_after: ${polled:-no poll moved it}; $(cat "$log")"
fi

# The poll after that finds every thread on the selection: not a word.
if [[ -n ${fixed_by:-} ]] && wait_poll_after "$log" "${fixed_by#poll }" &&
  [[ $polled == *"kept on processors 1, 0 threads moved" && $(grep -c 'new thread' "$log") == 1 &&
    $(thread_cpus "$game_pid") == 1 && $(reports "$dir") == 0 ]]; then
  pass "the next poll, with every thread on processor 1, moves none and says nothing"
else
  fail "after the fix: ${polled:-no poll}; threads on $(thread_cpus "$game_pid"); $(reports "$dir") reports; $(cat "$log")"
fi
stop_ok "$prog" "the program"
e2e_summary
