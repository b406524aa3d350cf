#!/usr/bin/env bash
# The adjustment under the conditions players meet, through the real Linux
# program against stand-in games: the program started under taskset, a game
# in a cpuset, one thread of a game in a cpuset of its own, SIGTERM between
# the two phases, and threads that keep starting and ending during the final
# step. Whatever happens, the game must never end up worse off.
#
#   tests/e2e/linux/adjust_conditions.sh [BUILD_DIR]    (default build/native)
#
# Cases that watch different games run side by side; the whole takes about a
# minute. Ends with "N passed, F failed, S skipped: NAMES".
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../../build/native}" && pwd)
work=$(mktemp -d /tmp/tavrolin-conditions.XXXXXX)
suite="The adjustment under real conditions"
# shellcheck source=lib.sh
source "$here/lib.sh"
cpusets=()
remove_cpusets() {
  local dir
  for dir in "${cpusets[@]}"; do
    # Its processes have been ended; the kernel lets go of them a moment later.
    for _ in $(seq 50); do
      rmdir "$dir" 2>/dev/null && break
      sleep 0.1
    done
  done
}
trap 'cleanup; remove_cpusets; rm -rf "$work"' EXIT
unset NUMBER_OF_PROCESSORS
# The final mask spans the machine's processors, whatever this script may use.
all_cpus=$(</sys/devices/system/cpu/online)

# Every program gets a runtime directory of its own (its lock lives there).
runtime_dir() {
  local dir
  dir=$(mktemp -d "$work/run.XXXX")
  chmod 700 "$dir"
  echo "$dir"
}

# program_for DIR GAME_INDEX: settings for a delay of 1 s and that game.
program_for() {
  printf '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nCPUs=All\r\nGame=%s\r\n' "$2" >"$1/config.ini"
}

reports() {
  local count
  count=$(grep -c '^Error occurred in' "$1/ErrorLog.txt" 2>/dev/null)
  echo "${count:-0}"
}

# make_cpuset CPUS: a cpuset of its own that allows CPUS; its directory in
# $cpuset and the cgroup version in $cpuset_kind. False when this machine
# offers none (cgroup v1's cpuset hierarchy, or cgroup v2 with the cpuset
# controller; both need root).
make_cpuset() {
  local root name=tavrolin-e2e-$$-${#cpusets[@]}
  if [[ -w /sys/fs/cgroup/cpuset/cgroup.procs ]]; then
    root=/sys/fs/cgroup/cpuset
    mkdir "$root/$name" 2>/dev/null || return 1
    cpusets+=("$root/$name")
    echo "$1" >"$root/$name/cpuset.cpus" && cat "$root/cpuset.mems" >"$root/$name/cpuset.mems" || return 1
    cpuset=$root/$name cpuset_kind=v1
    return 0
  fi
  root=$(awk '$3 == "cgroup2" { print $2; exit }' /proc/mounts)
  [[ -n $root ]] && grep -qw cpuset "$root/cgroup.controllers" 2>/dev/null || return 1
  grep -qw cpuset "$root/cgroup.subtree_control" || echo +cpuset >"$root/cgroup.subtree_control" 2>/dev/null || return 1
  mkdir "$root/$name" 2>/dev/null || return 1
  cpusets+=("$root/$name")
  echo "$1" >"$root/$name/cpuset.cpus" || return 1
  cpuset=$root/$name cpuset_kind=v2
}

# --- The program started under taskset ---------------------------------------
# Its own affinity is no measure of the machine: it adjusts the game as any
# copy would.
taskset_start() {
  ts_dir=$(new_program_dir)
  program_for "$ts_dir" 0
  start_game "$(new_game SupremeCommander.exe)"
  ts_game=$game_pid ts_watch=$game_watch
  start_program "$ts_dir" "$work/taskset.log" XDG_RUNTIME_DIR="$(runtime_dir)" taskset -c 1 ||
    fail "under taskset: no startup line: $(cat "$work/taskset.log")"
  ts_prog=$started
}
taskset_check() {
  local own
  own=$(awk '/^Cpus_allowed_list:/ { print $2 }' /proc/"$ts_prog"/status 2>/dev/null)
  if wait_adjustment "$ts_watch" "$all_cpus" 60 &&
    wait_until 10 grep -q "^SupremeCommander.exe (PID $ts_game): processors $all_cpus\$" "$work/taskset.log"; then
    pass "a program started under taskset -c 1 (running on $own) pins the game to 0, then spreads it over $all_cpus"
  else
    fail "under taskset: pinned_at=$pinned_at final_at=$final_at; $(cat "$work/taskset.log"); watch: $(tr '\n' '|' <"$ts_watch")"
  fi
  [[ $(reports "$ts_dir") == 0 ]] && pass "under taskset: no reports" || fail "under taskset: $(cat "$ts_dir/ErrorLog.txt")"
  stop_program "$ts_prog"
}

# --- A game in a cpuset that allows processor 1 only -------------------------
# The pin is refused: one report with the system's code. The final step still
# comes, and its line names what took effect.
cpuset_start() {
  cs_ok=0
  if ! make_cpuset 1; then
    skip "a game in a cpuset" "no cpuset can be made here (cgroup v1 or v2 with cpuset, as root)"
    return
  fi
  cs_ok=1
  cs_dir=$(new_program_dir)
  program_for "$cs_dir" 1
  start_game "$(new_game ForgedAlliance.exe)"
  cs_game=$game_pid cs_watch=$game_watch
  echo "$cs_game" >"$cpuset/cgroup.procs"
  start_program "$cs_dir" "$work/cpuset.log" XDG_RUNTIME_DIR="$(runtime_dir)" ||
    fail "cpuset: no startup line: $(cat "$work/cpuset.log")"
  cs_prog=$started
}
cpuset_check() {
  ((cs_ok)) || return
  local log=$cs_dir/ErrorLog.txt
  two_reports() { [[ $(reports "$cs_dir") -ge 2 ]] && grep -q processors "$work/cpuset.log"; }
  wait_until 60 two_reports
  sleep 1 # anything more would come at once
  local pin_refused=0
  [[ $(grep -c '^Error occurred in SetAffinity' "$log" 2>/dev/null) == 1 ]] &&
    grep -A2 '^Error occurred in SetAffinity' "$log" | tr -d '\r' | grep -qx '1001  The system refused the affinity mask' &&
    grep -A2 '^Error occurred in SetAffinity' "$log" | tr -d '\r' | grep -qx 'DLL Error - 22' && pin_refused=1
  if ((pin_refused)) && [[ $(thread_cpus "$cs_game") == 1 ]] && ! grep -q '^0$' <(cut -d' ' -f3- "$cs_watch"); then
    pass "a game in a cpuset ($cpuset_kind) of processor 1: the refused pin is one report, with the system's code 22"
  else
    fail "cpuset: pin report $pin_refused, threads on $(thread_cpus "$cs_game"): $(tr '\r\n' '  ' <"$log" 2>/dev/null); watch: $(tr '\n' '|' <"$cs_watch")"
  fi
  if grep -qx "ForgedAlliance.exe (PID $cs_game): processors 1" "$work/cpuset.log" &&
    grep -A1 '^Error occurred in Timer1_Timer' "$log" | tr -d '\r' | grep -q '^1006  The system left out processors that were asked for: ' &&
    [[ $(reports "$cs_dir") == 2 ]]; then
    pass "and the final step names what took effect, \"processors 1\", with one report of the processors left out"
  else
    fail "cpuset: $(cat "$work/cpuset.log"); $(reports "$cs_dir") reports: $(tr '\r\n' '  ' <"$log" 2>/dev/null)"
  fi
  stop_program "$cs_prog"
}

# --- One thread of the game in a cpuset of its own ---------------------------
# That thread refuses the pin while the others take it: it is named once, by
# its thread ID, and the adjustment goes on with the rest.
thread_start() {
  th_ok=0
  if ! make_cpuset 1; then
    skip "a thread in a cpuset of its own" "no cpuset can be made here"
    return
  fi
  if [[ $cpuset_kind != v1 ]]; then
    skip "a thread in a cpuset of its own" "needs cgroup v1, where a single thread can be moved"
    return
  fi
  th_ok=1
  th_dir=$(new_program_dir)
  program_for "$th_dir" 0
  start_game "$(new_game SupremeCommander.exe)" --threads 3
  th_game=$game_pid th_watch=$game_watch
  # A thread started after the move would join the cpuset too: the game's
  # threads are all there first.
  four_threads() { [[ $(thread_count "$th_game") == 4 ]]; }
  wait_until 30 four_threads
  th_tid=$(ls /proc/"$th_game"/task | sort -n | tail -n 1)
  echo "$th_tid" >"$cpuset/tasks"
  start_program "$th_dir" "$work/thread.log" XDG_RUNTIME_DIR="$(runtime_dir)" ||
    fail "thread: no startup line: $(cat "$work/thread.log")"
  th_prog=$started
}
thread_check() {
  ((th_ok)) || return
  local log=$th_dir/ErrorLog.txt others
  wait_until 60 grep -q processors "$work/thread.log"
  sleep 1
  others=$(for f in /proc/"$th_game"/task/*/status; do
    [[ $f == */$th_tid/status ]] || awk '/^Cpus_allowed_list:/ { print $2 }' "$f"
  done | sort -u)
  if [[ $(reports "$th_dir") == 1 ]] &&
    tr -d '\r' <"$log" | grep -qx "1001  The system refused the affinity mask for thread $th_tid" &&
    tr -d '\r' <"$log" | grep -qx 'DLL Error - 22' &&
    awk '{ for (i = 3; i <= NF; i++) if ($i == "0") seen = 1 } END { exit !seen }' "$th_watch" &&
    grep -qx "SupremeCommander.exe (PID $th_game): processors $all_cpus" "$work/thread.log" &&
    [[ $others == "$all_cpus" && $(awk '/^Cpus_allowed_list:/ { print $2 }' /proc/"$th_game"/task/"$th_tid"/status) == 1 ]]; then
    pass "a thread in a cpuset of its own refuses the pin: named once by its ID ($th_tid), the other threads pinned, then all spread"
  else
    fail "thread $th_tid: $(reports "$th_dir") reports: $(tr '\r\n' '  ' <"$log" 2>/dev/null); $(cat "$work/thread.log"); others on $others; watch: $(tr '\n' '|' <"$th_watch")"
  fi
  stop_program "$th_prog"
}

# --- SIGTERM between the two phases ------------------------------------------
# The game says the moment it finds itself pinned; the program is ended then,
# with the final step a second away. It must run that step before it ends.
gap_start() {
  gap_dir=$(new_program_dir)
  program_for "$gap_dir" 0
  start_game "$(new_game SupremeCommander.exe)" --on-pin thread
  gap_game=$game_pid gap_watch=$game_watch gap_out=$game_out
  start_program "$gap_dir" "$work/gap.log" XDG_RUNTIME_DIR="$(runtime_dir)" ||
    fail "gap: no startup line: $(cat "$work/gap.log")"
  gap_prog=$started
}
# The pin is awaited with shell builtins alone (no fork per look): the gap is
# a second long.
await_pin_line() {
  local deadline=$(($(now_ms) + 60000)) tick text
  mkfifo "$work/gap.tick" && exec {tick}<>"$work/gap.tick"
  while :; do
    text=''
    read -r -d '' text <"$gap_out"
    [[ $text == *pinned* ]] && return 0
    (($(now_ms) > deadline)) && return 1
    read -r -t 0.01 -u "$tick"
  done
}
gap_check() {
  local kill_at
  if ! await_pin_line; then
    fail "gap: the game was never pinned: $(cat "$work/gap.log")"
    stop_program "$gap_prog"
    return
  fi
  kill_at=$(now_ms)
  stop_program "$gap_prog" TERM
  read -r pinned_at final_at _ < <(adjustment_in "$gap_watch" "$all_cpus")
  sleep 1.5 # the program has gone: nothing may change any more
  if [[ $stop_rc == 0 && $final_at != - && $(thread_cpus "$gap_game") == "$all_cpus" ]] &&
    grep -qx "SupremeCommander.exe (PID $gap_game): processors $all_cpus" "$work/gap.log"; then
    if ((final_at >= kill_at)); then
      pass "SIGTERM as soon as the game is pinned: the final step runs at once ($((final_at - kill_at)) ms later), the game ends on $all_cpus, status 0 after ${stop_ms} ms"
    else
      fail "gap: SIGTERM came $((kill_at - pinned_at)) ms after the pin, after the final step: the gap was not tested"
    fi
  else
    fail "gap: status $stop_rc, the game on $(thread_cpus "$gap_game") after the program ended; $(cat "$work/gap.log"); watch: $(tr '\n' '|' <"$gap_watch")"
  fi
}

# --- Threads that keep starting and ending during the final step ------------
# From the pin on, for 5 s, eight chains of threads each start a successor and
# end every 10 ms, and at once when the final step reaches the game's main
# thread; sixteen idle threads stand between. A new thread takes the mask of
# the one that starts it: a chain missed by the final step stays on
# processor 0.
churn_start() {
  ch_dir=$(new_program_dir)
  program_for "$ch_dir" 1
  start_game "$(new_game ForgedAlliance.exe)" --threads 16 --churn 8
  ch_game=$game_pid ch_watch=$game_watch ch_out=$game_out
  start_program "$ch_dir" "$work/churn.log" XDG_RUNTIME_DIR="$(runtime_dir)" ||
    fail "churn: no startup line: $(cat "$work/churn.log")"
  ch_prog=$started
}
churn_check() {
  local count cpus
  if ! wait_adjustment "$ch_watch" "$all_cpus" 60; then
    fail "churn: pinned_at=$pinned_at final_at=$final_at; $(cat "$work/churn.log" "$ch_out"); watch: $(tail -n 20 "$ch_watch" | tr '\n' '|')"
    stop_program "$ch_prog"
    return
  fi
  # The chains end 5 s after the pin; their last threads stay.
  while (($(now_ms) < pinned_at + 6500)); do sleep 0.2; done
  count=$(thread_count "$ch_game")
  cpus=$(thread_cpus "$ch_game")
  if grep -q 'pinned: churning' "$ch_out" && [[ $count == 25 && $cpus == "$all_cpus" ]] &&
    grep -qx "ForgedAlliance.exe (PID $ch_game): processors $all_cpus" "$work/churn.log" &&
    [[ $(reports "$ch_dir") == 0 ]]; then
    pass "threads starting and ending threads through the final step: every thread ends on $all_cpus"
  else
    fail "churn: $count threads on $cpus; $(cat "$work/churn.log"); $(tr '\r\n' '  ' <"$ch_dir/ErrorLog.txt" 2>/dev/null)"
  fi
  stop_program "$ch_prog"
}

echo "$suite ($build)"
if one_processor; then
  for name in "the program under taskset" "a game in a cpuset" "a thread in a cpuset of its own" \
    "SIGTERM between the phases" "threads that keep starting and ending"; do
    skip "$name" "only one processor to run on: there is nothing to spread"
  done
  summary
fi
# Two at a time, one per game image, so that no program touches another's game.
taskset_start
cpuset_start
taskset_check
cpuset_check
cleanup

gap_start
churn_start
gap_check
churn_check
cleanup

thread_start
thread_check
cleanup
summary
