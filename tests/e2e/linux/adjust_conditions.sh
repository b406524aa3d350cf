#!/usr/bin/env bash
# The adjustment under the conditions players meet, through the real Linux
# program against stand-in games: the program started under taskset, a game
# in a cpuset, one thread of a game in a cpuset of its own, SIGTERM between
# the two phases, and threads that keep starting and ending during the final
# step. Whatever happens, the game must never end up worse off.
#
#   tests/e2e/linux/adjust_conditions.sh [BUILD_DIR]    (default build/native)
#
# Cases that watch different games run side by side; the whole takes about
# 40 s. Ends with "N passed, F failed, S skipped: NAMES".
set -u
source "$(dirname "$0")/lib.sh"
linux_begin "The adjustment under real conditions" "${1:-$root/build/native}"
needs_two_processors "the program under taskset" "a game in a cpuset" "a thread in a cpuset of its own" \
  "SIGTERM between the phases" "threads that keep starting and ending"

cpusets=()
remove_cpusets() {
  local dir
  for dir in "${cpusets[@]}"; do
    # Its processes have been ended; the kernel lets go of them a moment later.
    for _ in {1..50}; do
      rmdir "$dir" 2>/dev/null && break
      sleep 0.1
    done
  done
}
on_cleanup remove_cpusets

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
# log_of DIR: ErrorLog.txt's lines, CR dropped.
log_of() { tr -d '\r' <"$1/ErrorLog.txt" 2>/dev/null; }

# --- The program started under taskset ---------------------------------------
# Its own affinity is no measure of the machine: it adjusts the game as any
# copy would.
taskset_start() {
  ts_dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=0)
  start_game "$(new_game SupremeCommander.exe)"
  ts_game=$game_pid ts_watch=$game_watch
  start_program "$ts_dir" "$work/taskset.log" taskset -c 1 || fail "under taskset: no startup line: $(cat "$work/taskset.log")"
  ts_prog=$started
}
taskset_check() {
  local own
  own=$(awk '/^Cpus_allowed_list:/ { print $2 }' /proc/"$ts_prog"/status 2>/dev/null)
  if wait_adjusted "$work/taskset.log" SupremeCommander.exe "$ts_game" "$ts_watch" "$all_cpus" &&
    wait_until 10 grep -q "^SupremeCommander.exe (PID $ts_game): processors $all_cpus\$" "$work/taskset.log" &&
    [[ $(reports "$ts_dir") == 0 ]]; then
    pass "a program started under taskset -c 1 (running on $own) pins the game to 0, then spreads it over $all_cpus; no reports"
  else
    fail "under taskset: pinned_at=$pinned_at final_at=$final_at; $(cat "$work/taskset.log"); $(log_of "$ts_dir"); watch: $(tr '\n' '|' <"$ts_watch")"
  fi
  stop_ok "$ts_prog" "the program under taskset"
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
  cs_dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=1)
  start_game "$(new_game ForgedAlliance.exe)"
  cs_game=$game_pid cs_watch=$game_watch
  echo "$cs_game" >"$cpuset/cgroup.procs"
  start_program "$cs_dir" "$work/cpuset.log" || fail "cpuset: no startup line: $(cat "$work/cpuset.log")"
  cs_prog=$started
}
cpuset_check() {
  ((cs_ok)) || return
  local pin_report
  if ! wait_final "$work/cpuset.log"; then
    fail "cpuset: no final step: $(cat "$work/cpuset.log")"
    stop_ok "$cs_prog" "the program whose game is in a cpuset"
    return
  fi
  pin_report=$(log_of "$cs_dir" | grep -A2 '^Error occurred in SetAffinity' | tr '\n' '|')
  if [[ $pin_report == *"|1001  The system refused the affinity mask|DLL Error - 22|" && $(thread_cpus "$cs_game") == 1 ]] &&
    debug_line "$work/cpuset.log" "pin: ForgedAlliance.exe \(PID $cs_game\) refused processor 0" &&
    ! grep -q '^0$' <(cut -d' ' -f3- "$cs_watch"); then
    pass "a game in a cpuset ($cpuset_kind) of processor 1: the refused pin is one report, with the system's code 22"
  else
    fail "cpuset: pin report '$pin_report', threads on $(thread_cpus "$cs_game"); $(cat "$work/cpuset.log"); watch: $(tr '\n' '|' <"$cs_watch")"
  fi
  if [[ $final_line == "ForgedAlliance.exe (PID $cs_game) on processors 1" && $(reports "$cs_dir") == 2 ]] &&
    grep -qx "ForgedAlliance.exe (PID $cs_game): processors 1" "$work/cpuset.log" &&
    log_of "$cs_dir" | grep -A1 '^Error occurred in Timer1_Timer' | grep -q '^1006  The system left out processors that were asked for: '; then
    pass "and the final step names what took effect, \"processors 1\", with one report of the processors left out"
  else
    fail "cpuset: $(cat "$work/cpuset.log"); $(reports "$cs_dir") reports: $(log_of "$cs_dir" | tr '\n' ' ')"
  fi
  stop_ok "$cs_prog" "the program whose game is in a cpuset"
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
  th_dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=0)
  start_game "$(new_game SupremeCommander.exe)" --threads 3
  th_game=$game_pid th_watch=$game_watch
  # A thread started after the move would join the cpuset too: the game's
  # threads are all there first.
  four_threads() { [[ $(thread_count "$th_game") == 4 ]]; }
  if ! wait_until 30 four_threads; then
    fail "thread: the game has $(thread_count "$th_game") threads, not 4"
    return
  fi
  th_tid=$(ls /proc/"$th_game"/task | sort -n | tail -n 1)
  echo "$th_tid" >"$cpuset/tasks"
  start_program "$th_dir" "$work/thread.log" || fail "thread: no startup line: $(cat "$work/thread.log")"
  th_prog=$started
  th_ok=1
}
thread_check() {
  ((th_ok)) || return
  local others
  if ! wait_final "$work/thread.log"; then
    fail "thread: no final step: $(cat "$work/thread.log")"
    stop_ok "$th_prog" "the program with a thread in a cpuset"
    return
  fi
  others=$(for f in /proc/"$th_game"/task/*/status; do
    [[ $f == */$th_tid/status ]] || awk '/^Cpus_allowed_list:/ { print $2 }' "$f"
  done | sort -u)
  if [[ $(reports "$th_dir") == 1 ]] &&
    log_of "$th_dir" | grep -qx "1001  The system refused the affinity mask for thread $th_tid" &&
    log_of "$th_dir" | grep -qx 'DLL Error - 22' &&
    awk '{ for (i = 3; i <= NF; i++) if ($i == "0") seen = 1 } END { exit !seen }' "$th_watch" &&
    grep -qx "SupremeCommander.exe (PID $th_game): processors $all_cpus" "$work/thread.log" &&
    [[ $others == "$all_cpus" && $(awk '/^Cpus_allowed_list:/ { print $2 }' /proc/"$th_game"/task/"$th_tid"/status) == 1 ]]; then
    pass "a thread in a cpuset of its own refuses the pin: named once by its ID ($th_tid), the other threads pinned, then all spread"
  else
    fail "thread $th_tid: $(reports "$th_dir") reports: $(log_of "$th_dir" | tr '\n' ' '); $(cat "$work/thread.log"); others on $others; watch: $(tr '\n' '|' <"$th_watch")"
  fi
  stop_ok "$th_prog" "the program with a thread in a cpuset"
}

# --- SIGTERM between the two phases ------------------------------------------
# The program is ended the moment it says it pinned the game, with the final
# step a second away. It must run that step before it ends.
gap_start() {
  gap_dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=0)
  start_game "$(new_game SupremeCommander.exe)" --on-pin thread
  gap_game=$game_pid
  start_program "$gap_dir" "$work/gap.log" || fail "gap: no startup line: $(cat "$work/gap.log")"
  gap_prog=$started
}
# await_text FILE TEXT: true once FILE holds TEXT, within a minute, looking
# with shell builtins alone (no fork per look): the gap is a second long.
await_text() {
  local deadline=$(($(now_ms) + 60000)) tick text
  mkfifo "$1.tick" && exec {tick}<>"$1.tick"
  while :; do
    read -r -d '' text <"$1"
    [[ $text == *"$2"* ]] && return 0
    (($(now_ms) > deadline)) && return 1
    read -r -t 0.01 -u "$tick"
  done
}
gap_check() {
  local log=$work/gap.log pinned_on final_before=no
  if ! await_text "$log" "tavrolin: pin: SupremeCommander.exe (PID $gap_game) on processor 0;"; then
    fail "gap: the program never pinned the game: $(cat "$log")"
    stop_ok "$gap_prog" "the program in the gap"
    return
  fi
  # The gap is tested only when the signal finds the game on processor 0 and
  # the final step not yet done.
  pinned_on=$(thread_cpus "$gap_game")
  debug_line "$log" "final: " && final_before=yes
  if ! stop_pid "$gap_prog" TERM; then
    fail "gap: SIGTERM did not end the program: $(cat "$log")"
  elif [[ $pinned_on != 0 || $final_before == yes ]]; then
    fail "gap: the signal came after the final step (the game on $pinned_on): the gap was not tested"
  elif [[ $stop_rc == 0 && $(thread_cpus "$gap_game") == "$all_cpus" ]] &&
    debug_line "$log" "final: SupremeCommander.exe \(PID $gap_game\) on processors $all_cpus\$" &&
    grep -qx "SupremeCommander.exe (PID $gap_game): processors $all_cpus" "$log"; then
    pass "SIGTERM with the game pinned to 0: the final step runs first, the game ends on $all_cpus, status 0 after ${stop_ms} ms"
  else
    fail "gap: status $stop_rc, the game on $(thread_cpus "$gap_game") after the program ended; $(cat "$log")"
  fi
}

# --- Threads that keep starting and ending during the final step ------------
# From the pin on, for 5 s, eight chains of threads each start a successor and
# end every 10 ms, and at once when the final step reaches the game's main
# thread; sixteen idle threads stand between. A new thread takes the mask of
# the one that starts it: a chain missed by the final step stays on
# processor 0.
churn_start() {
  ch_dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=1)
  start_game "$(new_game ForgedAlliance.exe)" --threads 16 --churn 8
  ch_game=$game_pid ch_watch=$game_watch ch_out=$game_out
  start_program "$ch_dir" "$work/churn.log" || fail "churn: no startup line: $(cat "$work/churn.log")"
  ch_prog=$started
}
churn_check() {
  if ! wait_adjusted "$work/churn.log" ForgedAlliance.exe "$ch_game" "$ch_watch" "$all_cpus"; then
    fail "churn: pinned_at=$pinned_at final_at=$final_at; $(cat "$work/churn.log" "$ch_out"); watch: $(tail -n 20 "$ch_watch" | tr '\n' '|')"
    stop_ok "$ch_prog" "the program of the churning game"
    return
  fi
  # The chains' last threads stay: 16 idle ones, 8 chains and the main thread.
  settled() { (($(thread_count "$ch_game") == 25)); }
  if wait_until 20 grep -q 'churn over' "$ch_out" && wait_until 10 settled && [[ $(thread_cpus "$ch_game") == "$all_cpus" ]] &&
    grep -qx "ForgedAlliance.exe (PID $ch_game): processors $all_cpus" "$work/churn.log" && [[ $(reports "$ch_dir") == 0 ]]; then
    pass "threads starting and ending threads through the final step: every thread ends on $all_cpus"
  else
    fail "churn: $(thread_count "$ch_game") threads on $(thread_cpus "$ch_game"); $(cat "$work/churn.log" "$ch_out"); $(log_of "$ch_dir" | tr '\n' ' ')"
  fi
  stop_ok "$ch_prog" "the program of the churning game"
}

# Two at a time, one per game image, so that no program touches another's
# game; the thread case takes SupremeCommander.exe as soon as the gap is done.
taskset_start
cpuset_start
taskset_check
cpuset_check
kill_started

gap_start
churn_start
gap_check
end_game "$gap_game"
thread_start
churn_check
thread_check
e2e_summary
