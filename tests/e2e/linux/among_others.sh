#!/usr/bin/env bash
# The Linux program (--verbose, followed by its debug lines) among other
# users, sessions and signals: another user's process by the game's name,
# SIGHUP between the two steps, a second copy outside the user unit's
# environment, a session bus that never answers, threads narrowed within the
# chosen processors. Two rounds of programs side by side, never two root
# programs that watch the same game; about a minute.
#
#   tests/e2e/linux/among_others.sh [BUILD_DIR]    (default build/native)
set -u
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
linux_begin "The Linux program among other users, sessions and signals" "${1:-$root/build/native}"
unset DBUS_SESSION_BUS_ADDRESS
if (($(id -u) != 0)) || one_processor; then
  skip "the whole script" "needs root (other users, mount namespaces) and a second processor"
  e2e_summary
fi
player=4242 # a user of no name: this program's and its game's
# start_game_as USER NAME: sets game_pid and game_watch, as start_game does.
start_game_as() {
  local game
  game=$(new_game "$2")
  chmod 755 "$(dirname "$game")"
  start_bg "$work/game.$1" setpriv --reuid="$1" --regid="$1" --clear-groups "$game"
  game_pid=$started game_watch=$work/watch.$started
  watch_start "$game_pid" "$game_watch"
  pids_to_kill+=("$watcher")
}
wait_debug() { wait_until 60 debug_line "$@"; }
thread_on() { awk '/^Cpus_allowed_list:/ {print $2}' "/proc/$1/task/$2/status"; }
new_dir() { dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 "$@"); } # KEY=VALUE...

# Round one: the user's program (SupremeCommander.exe, its own processes
# only), root's SIGHUP case (ForgedAlliance.exe), two copies (no game).
new_dir Game=0 && chown -R "$player" "$dir"
start_game_as 65534 SupremeCommander.exe
theirs=$game_pid theirs_watch=$game_watch
start_program "$dir" "$work/user.log" XDG_RUNTIME_DIR="$(new_runtime_dir "$player")" \
  setpriv --reuid="$player" --regid="$player" --clear-groups ||
  fatal "no startup line: $(cat "$work/user.log")"
user_prog=$started

new_dir Game=1
start_program "$dir" "$work/hup.log" || fatal "no startup line: $(cat "$work/hup.log")"
hup_prog=$started
start_game "$(new_game ForgedAlliance.exe)"
stop_in_gap "SIGHUP between the steps" "$hup_prog" "$work/hup.log" ForgedAlliance.exe "$game_pid" HUP

# As the user unit starts it (XDG_RUNTIME_DIR=/run/user/UID), then without.
first_dir=$(new_program_dir) lock_dir=$(new_runtime_dir)
start_bg "$work/first.log" in_lock_dir "$lock_dir" env XDG_RUNTIME_DIR="/run/user/$(id -u)" "$first_dir/tavrolin" --settings-dir "$first_dir"
first=$started
wait_started "$work/first.log" || fatal "no startup line: $(cat "$work/first.log")"
new_dir Game=1
(in_lock_dir "$lock_dir" env -u XDG_RUNTIME_DIR timeout 10 "$dir/tavrolin" --settings-dir "$dir") >"$work/second.log" 2>&1
rc=$?
[[ $rc == 0 ]] && ! grep -q watching "$work/second.log" && kill -0 "$first" 2>/dev/null &&
  grep -qxF "tavrolin: another copy runs for this user (it holds /run/user/$(id -u)/tavrolin.lock): ending" "$work/second.log" &&
  pass "a second copy without XDG_RUNTIME_DIR ends at once, saying why; the first runs on" ||
  fail "second copy: status $rc: $(cat "$work/second.log")"
stop_pid "$first" && [[ $stop_rc == 0 ]] || fail "the first copy: ended $stop_rc"

wait_poll_after "$work/user.log" 0 || fatal "no poll: $(cat "$work/user.log")"
check "nobody's SupremeCommander.exe is not looked at: \"$polled\"" \
  [ "$polled" == "poll 1: GPG.Multiplayer.Client.exe not running; SupremeCommander.exe not running" ]
start_game_as "$player" SupremeCommander.exe
wait_debug "$work/user.log" "final: SupremeCommander.exe \(PID $game_pid\) on processors $all_cpus\$" &&
  ! grep -q "PID $theirs" "$work/user.log" && always_on "$theirs_watch" "$all_cpus" &&
  pass "the user's own game beside it is adjusted; nobody's is never touched" ||
  fail "the user's game $game_pid, nobody's $theirs: $(cat "$work/user.log")"
stop_pid "$user_prog" && [[ $stop_rc == 0 ]] || fail "the user's program: ended $stop_rc"
# Root's programs that come next would see these games.
stop_pid "$game_pid" KILL && stop_pid "$theirs" KILL || fatal "the games of round one do not end"

# Round two: root's program on a bus that takes connections and never
# answers (SupremeCommander.exe), root's on chosen processors (ForgedAlliance.exe).
start_bg "$work/bus.out" python3 -c 'import socket, sys
bus = socket.socket(socket.AF_UNIX); bus.bind(sys.argv[1]); bus.listen(16); print("listening", flush=True)
taken = [bus.accept() for _ in iter(int, 1)]' "$work/hung-bus"
wait_until 30 grep -q listening "$work/bus.out" || fatal "no bus: $(cat "$work/bus.out")"
new_dir Game=0
start_program "$dir" "$work/bus.log" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/hung-bus" ||
  fatal "no startup line: $(cat "$work/bus.log")"
bus_prog=$started sc=$(new_game SupremeCommander.exe)
start_game "$sc"
first=$game_pid
last=$(($(nproc) - 1)) cpus=1-$last
((last == 1)) && cpus=1
new_dir Game=1 CPUs="$cpus"
start_program "$dir" "$work/kept.log" || fatal "no startup line: $(cat "$work/kept.log")"
kept_prog=$started
start_game "$(new_game ForgedAlliance.exe)" --threads 3
kept=$game_pid

# The kept game's threads changed at once; the polls that follow are looked
# at once the bus case is done.
wait_debug "$work/kept.log" "final: ForgedAlliance.exe \(PID $kept\) on processors $cpus, kept on them" ||
  fatal "not adjusted: $(cat "$work/kept.log")"
mapfile -t tids < <(ls "/proc/$kept/task" | sort -n)
moved_after=$(last_poll "$work/kept.log")
taskset -p -c "0-$last" "${tids[2]}" >/dev/null || fatal "taskset on thread ${tids[2]} failed"
((last < 2)) || taskset -p -c 1 "${tids[1]}" >/dev/null || fatal "taskset on thread ${tids[1]} failed"

log=$work/bus.log
wait_debug "$log" "final: SupremeCommander.exe \(PID $first\)" || fatal "not adjusted: $(cat "$log")"
end_game_seen "$log" "$first" SupremeCommander.exe || fatal "no poll saw the game gone: $(cat "$log")"
# Its notification still hangs. A game started now is adjusted within the
# poll that sees it, and SIGTERM the moment its line comes ends the program
# (the bound tells it from a program that waits 2 s for the bus).
start_game "$sc"
wait_until 60 grep -qx "SupremeCommander.exe (PID $game_pid): processors $all_cpus" "$log" || fatal "not adjusted: $(cat "$log")"
stop_pid "$bus_prog" || fail "SIGTERM did not end the program on the hanging bus"
check "SIGTERM right after an adjustment, the bus hanging: status $stop_rc in $stop_ms ms (at most 1500)" \
  [ "$stop_rc" == 0 -a "$stop_ms" -le 1500 ]
seen=$(grep -n "delay of 1000 ms started" "$log" | tail -n 1 | cut -d: -f1)
sed -n "$seen,\$p" "$log" | grep -q "final: SupremeCommander.exe (PID $game_pid)" && ! sed -n "$((seen + 1)),\$p" "$log" | grep -q 'tavrolin: poll' &&
  [[ $(grep -c 'no desktop notification' "$log") == 1 ]] && grep -qx 'tavrolin: no desktop notification: the session bus did not answer within 10 s' "$log" &&
  pass "the bus hanging, a game started meanwhile is adjusted within the poll that saw it; one line says the bus did not answer" ||
  fail "adjusted while the bus hangs: $(cat "$log")"

# The second poll after the change has surely looked at the threads.
wait_poll_after "$work/kept.log" $((moved_after + 1)) || fatal "no polls: $(cat "$work/kept.log")"
log=$work/kept.log
check "a thread put on every processor is moved back onto $cpus, with one line that counts it" \
  [ "$(thread_on "$kept" "${tids[2]}")" == "$cpus" -a "$(grep -c "^ForgedAlliance.exe (PID $kept): 1 new thread moved to processors $cpus\$" "$log")" == 1 \
  -a "$(grep -c 'new thread' "$log")" == 1 ]
if ((last < 2)); then
  skip "a thread narrowed within the chosen processors keeps its mask" "needs three processors: one left out, two chosen"
else
  check "a thread narrowed to processor 1 keeps its mask over two polls" [ "$(thread_on "$kept" "${tids[1]}")" == 1 ]
fi
stop_pid "$kept_prog" && [[ $stop_rc == 0 ]] || fail "the program keeping the threads: ended $stop_rc"
e2e_summary
