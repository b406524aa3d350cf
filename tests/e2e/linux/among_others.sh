#!/usr/bin/env bash
# The Linux program among other users, sessions and signals, run with
# --verbose and followed by its debug lines:
# - a process of another user's (nobody) named SupremeCommander.exe is not
#   looked at, and the user's own game started beside it is adjusted;
# - SIGHUP between the two steps of an adjustment: the game ends on its final
#   mask, the program with status 0;
# - a copy run with the user unit's environment, and a second one started
#   without XDG_RUNTIME_DIR: the second ends at once, saying why;
# - a session bus that takes connections and never answers: a game started
#   while the notification hangs is adjusted within the poll that saw it, and
#   SIGTERM right after its adjustment ends the program at once;
# - the chosen processors kept: a thread on every processor is moved onto
#   them, one that was narrowed within them keeps its own mask.
# Two rounds of programs side by side (never two root programs that watch the
# same game), about 90 s.
#
#   tests/e2e/linux/among_others.sh [BUILD_DIR]    (default build/native)
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../../build/native}" && pwd)
# shellcheck source=../lib.sh
source "$here/../lib.sh"
e2e_begin "The Linux program among other users, sessions and signals"
# The Linux helpers (start_program, the games) still bring results of their
# own: the shared ones are sourced again over them.
# shellcheck source=lib.sh
source "$here/lib.sh"
# shellcheck source=../lib.sh
source "$here/../lib.sh"
unset NUMBER_OF_PROCESSORS DBUS_SESSION_BUS_ADDRESS
echo "$suite ($build)"
if (($(id -u) != 0)) || one_processor; then
  skip "the whole script" "needs root (other users, mount namespaces) and a second processor"
  e2e_summary
fi
player=4242 # a user of no name, whose program and game these are

# start_game_as USER NAME: a stand-in game of USER's; sets game_pid and
# game_watch, as start_game does.
start_game_as() {
  local game
  game=$(new_game "$2")
  chmod 755 "$(dirname "$game")"
  start_bg "$work/game-$1.$2.out" setpriv --reuid="$1" --regid="$1" --clear-groups "$game"
  game_pid=$started game_watch=$work/watch.$started
  watch_start "$game_pid" "$game_watch"
  pids_to_kill+=("$watcher")
}
# wait_debug LOG REGEX [SECONDS]: waits for a debug line (60 s by default).
wait_debug() { wait_until "${3:-60}" debug_line "$1" "$2"; }
cpus_of_thread() { awk '/^Cpus_allowed_list:/ {print $2}' "/proc/$1/task/$2/status"; }

# --- Another user's process by the game's name ----------------------------------
other_user_begin() {
  ou_dir=$(new_program_dir)
  write_config "$ou_dir" InitializeDelay=1 OnlineEnabled=1 Game=0
  chown -R "$player" "$ou_dir"
  start_game_as 65534 SupremeCommander.exe
  ou_theirs=$game_pid ou_theirs_watch=$game_watch
  start_program "$ou_dir" "$work/other-user.log" XDG_RUNTIME_DIR="$(new_runtime_dir "$player")" \
    setpriv --reuid="$player" --regid="$player" --clear-groups -- --verbose || fatal "no startup line: $(cat "$work/other-user.log")"
  ou_prog=$started
}
other_user_end() {
  local log=$work/other-user.log
  wait_poll_after "$log" 0 || fatal "no poll: $(cat "$log")"
  check "nobody's SupremeCommander.exe is not looked at: \"$polled\"" \
    [ "$polled" == "poll 1: GPG.Multiplayer.Client.exe not running; SupremeCommander.exe not running" ]
  start_game_as "$player" SupremeCommander.exe
  if wait_debug "$log" "final: SupremeCommander.exe \(PID $game_pid\) on processors $all_cpus\$" &&
    ! grep -q "PID $ou_theirs" "$log" && always_on "$ou_theirs_watch" "$all_cpus" &&
    [[ $(thread_cpus "$game_pid") == "$all_cpus" ]]; then
    pass "the user's own game beside it is adjusted; nobody's is never touched"
  else
    fail "the user's game $game_pid, nobody's $ou_theirs: $(cat "$log"); theirs: $(tr '\n' '|' <"$ou_theirs_watch")"
  fi
  stop_pid "$ou_prog" && [[ $stop_rc == 0 ]] || fail "the user's program: ended $stop_rc"
  # Root's programs that come next would see these games.
  stop_pid "$game_pid" KILL && stop_pid "$ou_theirs" KILL || fatal "the games of round one do not end"
}

# --- SIGHUP between the two steps --------------------------------------------------
hangup_in_gap() {
  local dir log=$work/hangup.log prog hup_at
  dir=$(new_program_dir)
  write_config "$dir" InitializeDelay=1 OnlineEnabled=1 Game=1
  start_program "$dir" "$log" -- --verbose || fatal "no startup line: $(cat "$log")"
  prog=$started
  start_game "$(new_game ForgedAlliance.exe)"
  wait_debug "$log" "pin: ForgedAlliance.exe \(PID $game_pid\) on processor 0" || fatal "no pin: $(cat "$log")"
  hup_at=$(now_ms)
  stop_pid "$prog" HUP
  # The final step after the signal: the signal came in the gap.
  if wait_adjustment "$game_watch" "$all_cpus" 5 && ((final_at >= hup_at)) && [[ $stop_rc == 0 ]] &&
    debug_line "$log" "final: ForgedAlliance.exe \(PID $game_pid\) on processors $all_cpus" &&
    [[ $(thread_cpus "$game_pid") == "$all_cpus" ]]; then
    pass "SIGHUP between the steps: the game ends on $all_cpus, the program with status 0"
  else
    fail "SIGHUP in the gap: status $stop_rc, HUP at $hup_at, final at ${final_at:-never}; $(cat "$log")"
  fi
}

# --- A second copy outside the unit's environment -----------------------------------
second_copy_without_runtime_dir() {
  local first_dir second_dir lock_dir first took rc
  first_dir=$(new_program_dir)
  second_dir=$(new_program_dir)
  lock_dir=$(new_runtime_dir)
  # As the user unit starts it: XDG_RUNTIME_DIR=/run/user/UID.
  start_bg "$work/first.log" in_lock_dir "$lock_dir" env XDG_RUNTIME_DIR="/run/user/$(id -u)" \
    "$first_dir/tavrolin" --settings-dir "$first_dir" --verbose
  first=$started
  wait_started "$work/first.log" || fatal "no startup line: $(cat "$work/first.log")"
  took=$(now_ms)
  (in_lock_dir "$lock_dir" env -u XDG_RUNTIME_DIR timeout 10 "$second_dir/tavrolin" --settings-dir "$second_dir") \
    >"$work/second.log" 2>&1
  rc=$? took=$(($(now_ms) - took))
  if [[ $rc == 0 ]] && ! grep -q watching "$work/second.log" && kill -0 "$first" 2>/dev/null &&
    grep -qxF "tavrolin: another copy runs for this user (it holds /run/user/$(id -u)/tavrolin.lock): ending" "$work/second.log"; then
    pass "a second copy without XDG_RUNTIME_DIR ends in $took ms, saying why; the first runs on"
  else
    fail "second copy: status $rc after $took ms: $(cat "$work/second.log")"
  fi
  stop_pid "$first" && [[ $stop_rc == 0 ]] || fail "the first copy: ended $stop_rc"
}

# --- A session bus that never answers --------------------------------------------------
hung_bus_begin() {
  local dir
  start_bg "$work/hung-bus.out" python3 -c 'import socket, sys
bus = socket.socket(socket.AF_UNIX)
bus.bind(sys.argv[1])
bus.listen(16)
print("listening", flush=True)
taken = []
while True:
    taken.append(bus.accept()[0])' "$work/hung-bus"
  wait_until 30 grep -q listening "$work/hung-bus.out" || fatal "no bus: $(cat "$work/hung-bus.out")"
  dir=$(new_program_dir)
  write_config "$dir" InitializeDelay=1 OnlineEnabled=1 Game=0
  start_program "$dir" "$work/hung.log" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/hung-bus" -- --verbose ||
    fatal "no startup line: $(cat "$work/hung.log")"
  hb_prog=$started
  hb_game=$(new_game SupremeCommander.exe)
  start_game "$hb_game"
  hb_first=$game_pid
}
hung_bus_end() {
  local log=$work/hung.log first=$hb_first gone seen
  wait_debug "$log" "final: SupremeCommander.exe \(PID $first\)" || fatal "the first game not adjusted: $(cat "$log")"
  kill -KILL "$first"
  wait "$first" 2>/dev/null
  gone=$(last_poll "$log")
  seen_gone() { wait_poll_after "$log" "$gone" && gone=$((gone + 1)) && [[ $polled == *"SupremeCommander.exe not running" ]]; }
  wait_until 60 seen_gone || fatal "no poll saw the first game gone: $(cat "$log")"
  # Its notification still hangs: a game started now is adjusted within
  # the poll that sees it, and SIGTERM right after that ends the program.
  start_game "$hb_game"
  wait_until 60 grep -qx "SupremeCommander.exe (PID $game_pid): processors $all_cpus" "$log" ||
    fatal "the second game not adjusted: $(cat "$log")"
  stop_pid "$hb_prog"
  check "SIGTERM right after an adjustment, the bus hanging: status $stop_rc in $stop_ms ms (at most 1500)" \
    [ "$stop_rc" == 0 -a "$stop_ms" -le 1500 ]
  seen=$(grep -n "SupremeCommander.exe running: delay of 1000 ms started" "$log" | tail -n 1 | cut -d: -f1)
  if [[ -n $seen ]] && sed -n "$seen,\$p" "$log" | grep -q "final: SupremeCommander.exe (PID $game_pid)" &&
    ! sed -n "$((seen + 1)),\$p" "$log" | grep -q 'tavrolin: poll' &&
    [[ $(grep -c 'no desktop notification' "$log") == 1 ]] &&
    grep -qx 'tavrolin: no desktop notification: the session bus did not answer within 10 s' "$log"; then
    pass "the bus hanging, a game started meanwhile is adjusted within the poll that saw it; one line says the bus did not answer"
  else
    fail "adjusted while the bus hangs: $(cat "$log")"
  fi
}

# --- Threads kept on the chosen processors ------------------------------------------
kept_threads_begin() {
  local last=$(($(nproc) - 1))
  kt_cpus=1-$last
  ((last == 1)) && kt_cpus=1
  kt_dir=$(new_program_dir)
  write_config "$kt_dir" InitializeDelay=1 OnlineEnabled=1 Game=1 CPUs="$kt_cpus"
  start_program "$kt_dir" "$work/kept.log" -- --verbose || fatal "no startup line: $(cat "$work/kept.log")"
  kt_prog=$started
  start_game "$(new_game ForgedAlliance.exe)" --threads 3
  kt_game=$game_pid
}
kept_threads_end() {
  local log=$work/kept.log last=$(($(nproc) - 1)) tids narrowed wide after moved
  wait_debug "$log" "final: ForgedAlliance.exe \(PID $kt_game\) on processors $kt_cpus, kept on them" ||
    fatal "not adjusted: $(cat "$log")"
  mapfile -t tids < <(ls "/proc/$kt_game/task" | sort -n)
  narrowed=${tids[1]} wide=${tids[2]}
  taskset -p -c "0-$last" "$wide" >/dev/null || fatal "taskset on thread $wide failed"
  ((last >= 2)) && { taskset -p -c 1 "$narrowed" >/dev/null || fatal "taskset on thread $narrowed failed"; }
  # Three polls that surely came after the change.
  after=$(last_poll "$log")
  wait_poll_after "$log" $((after + 3)) 60 || fatal "no polls: $(cat "$log")"
  moved=$(grep -c "^ForgedAlliance.exe (PID $kt_game): 1 new thread moved to processors $kt_cpus\$" "$log")
  check "a thread put on every processor is moved back onto $kt_cpus, with one line that counts it" \
    [ "$(cpus_of_thread "$kt_game" "$wide")" == "$kt_cpus" -a "$moved" == 1 -a "$(grep -c 'new thread' "$log")" == 1 ]
  if ((last >= 2)); then
    check "a thread narrowed to processor 1 keeps its mask over three polls" \
      [ "$(cpus_of_thread "$kt_game" "$narrowed")" == 1 ]
  else
    skip "a thread narrowed within the chosen processors keeps its mask" "needs three processors: one left out, two chosen"
  fi
  stop_pid "$kt_prog" && [[ $stop_rc == 0 ]] || fail "the program keeping the threads: ended $stop_rc"
}

# Round one: the user's program (SupremeCommander.exe, its own processes
# only), root's SIGHUP case (ForgedAlliance.exe) and the two copies (no game).
other_user_begin
hangup_in_gap
second_copy_without_runtime_dir
other_user_end
# Round two: root's program on the hanging bus (SupremeCommander.exe) and
# root's on chosen processors (ForgedAlliance.exe).
hung_bus_begin
kept_threads_begin
hung_bus_end
kept_threads_end
e2e_summary
