#!/usr/bin/env bash
# The processor choice of the Linux program (the CPUs key), through the real
# program against a stand-in game: with CPUs=1 the game is pinned to
# processor 0, then ends on processor 1 alone. A thread that runs elsewhere
# afterwards is moved back at the next poll, with one line that counts it,
# and the polls after that say nothing.
#
#   tests/e2e/linux/selection.sh [BUILD_DIR]    (default build/native)
#
# About 40 s. Ends with "N passed, F failed, S skipped: NAMES".
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../../build/native}" && pwd)
work=$(mktemp -d /tmp/tavrolin-selection.XXXXXX)
suite="The processor choice on Linux"
# shellcheck source=lib.sh
source "$here/lib.sh"
trap 'cleanup; rm -rf "$work"' EXIT
unset NUMBER_OF_PROCESSORS

echo "$suite ($build)"
if one_processor; then
  skip "CPUs=1: the game ends on processor 1 alone" "only one processor to run on"
  skip "a thread off the selection is moved back at the next poll" "only one processor to run on"
  summary
fi

dir=$(new_program_dir)
printf '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nCPUs=1\r\nGame=0\r\n' >"$dir/config.ini"
mkdir -m 700 "$work/run"
start_game "$(new_game SupremeCommander.exe)" --threads 3
start_program "$dir" "$work/prog.log" XDG_RUNTIME_DIR="$work/run" || fail "no startup line: $(cat "$work/prog.log")"
prog=$started
reports() { grep -c '^Error occurred in' "$dir/ErrorLog.txt" 2>/dev/null || echo 0; }

# The first poll 10 s after the start, the delay of 1 s, the final mask a
# second later: a minute leaves room for a loaded machine.
if wait_adjustment "$game_watch" 1 60 &&
  wait_until 10 grep -qx "SupremeCommander.exe (PID $game_pid): processors 1" "$work/prog.log" &&
  grep -qxF "tavrolin: watching SupremeCommander.exe (delay 1000 ms, online play allowed, CPUs 1); settings and log in $dir" "$work/prog.log" &&
  [[ $(thread_cpus "$game_pid") == 1 && $(reports) == 0 ]]; then
  pass "CPUs=1: the startup line names it; every thread pinned to 0, then on processor 1 alone; no reports"
else
  fail "CPUs=1: pinned_at=$pinned_at final_at=$final_at, threads on $(thread_cpus "$game_pid"); $(cat "$work/prog.log"); watch: $(tr '\n' '|' <"$game_watch")"
fi

# One thread put on processor 0 from outside, as a thread that Wine starts
# on its own record of the game's processors would be.
tid=$(ls /proc/"$game_pid"/task | sort -n | tail -n 1)
moved_at=$(now_ms)
taskset -p -c 0 "$tid" >/dev/null
line="SupremeCommander.exe (PID $game_pid): 1 new thread moved to processors 1"
# The watch logs the thread's move to 0 first, then its way back to 1.
fixed() {
  fixed_at=$(awk -v since="$moved_at" '$1 >= since && !(NF == 3 && $3 == "1") { moved = 1; next }
    moved && NF == 3 && $3 == "1" { print $1; exit }' "$game_watch")
  [[ -n $fixed_at ]]
}
wait_until 40 fixed
wait_until 10 grep -qxF "$line" "$work/prog.log"
# Moved a second or two after the final mask, the thread is due to be fixed
# at the poll 8 s later: 5 s of room for a loaded machine still tell that
# poll from the one after it.
if [[ -n $fixed_at ]] && ((fixed_at <= $(poll_after "$pinned_at" "$moved_at") + 5000)) &&
  grep -qxF "$line" "$work/prog.log"; then
  pass "a thread moved to processor 0 is on processor 1 again $((fixed_at - moved_at)) ms later, at the next poll, with one line: \"$line\""
else
  fail "the moved thread $tid: pinned at $pinned_at, moved at $moved_at, fixed at ${fixed_at:-never}; $(cat "$work/prog.log"); watch: $(tr '\n' '|' <"$game_watch")"
fi

# The poll after that finds every thread on the selection: not a word.
if [[ -n $fixed_at ]]; then
  quiet_until=$(($(poll_after "$pinned_at" $((fixed_at - 5000))) + 10000 + 3000))
  while (($(now_ms) < quiet_until)); do sleep 0.5; done
  [[ $(grep -c 'new thread' "$work/prog.log") == 1 && $(thread_cpus "$game_pid") == 1 && $(reports) == 0 ]] &&
    pass "the next poll, with every thread on processor 1, says nothing" ||
    fail "after the fix: $(cat "$work/prog.log"); threads on $(thread_cpus "$game_pid"); $(reports) reports"
fi
stop_program "$prog"
summary
