#!/usr/bin/env bash
# End-to-end tests of the Linux program against real processes: the program is
# started in its own directory, stand-in games run under the games' image
# names, and the result is read from outside (/proc, the files written).
#
#   tests/e2e/linux/run.sh [BUILD_DIR]     (default build/native)
#
# The program polls every 10 s, so a run takes about a minute.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../../build/native}" && pwd)
work=$(mktemp -d /tmp/tavrolin-e2e.XXXXXX)
chmod 755 "$work"  # a test runs the program as another user
# shellcheck source=lib.sh
source "$here/lib.sh"
trap 'cleanup; rm -rf "$work"' EXIT
unset NUMBER_OF_PROCESSORS
all_cpus=$(awk '/^Cpus_allowed_list:/ {print $2}' /proc/self/status)
if [[ $all_cpus == 0 ]]; then
  echo "SKIP: this machine lets us run on one processor only; nothing to spread"
  exit 0
fi

# --- Startup, the second copy and shutdown ---------------------------------
test_startup() {
  local dir first rc
  dir=$(new_program_dir)
  start_bg "$work/first.log" "$dir/tavrolin"
  first=$started
  sleep 1
  if cmp -s <(default_config) "$dir/config.ini"; then pass "fresh start writes the default config.ini byte for byte"; else fail "config.ini differs from the default"; fi
  [[ -e $dir/ErrorLog.txt ]] && fail "a fresh start wrote ErrorLog.txt" || pass "no ErrorLog.txt after a clean start"
  grep -qF "watching SupremeCommander.exe (delay 30000 ms, online play allowed); settings in $dir/config.ini" "$work/first.log" &&
    pass "stderr names the game and the settings file" || fail "startup line missing: $(cat "$work/first.log")"

  local before
  before=$(stat -c '%Y %s' "$dir/config.ini")
  timeout 5 "$dir/tavrolin" >"$work/second.log" 2>&1
  rc=$?
  [[ $rc == 0 && $(stat -c '%Y %s' "$dir/config.ini") == "$before" && ! -e $dir/ErrorLog.txt ]] &&
    pass "a second copy ends at once (status 0) and changes nothing" || fail "second copy: status $rc, $(cat "$work/second.log")"
  kill -0 "$first" 2>/dev/null && pass "the first copy keeps running" || fail "the first copy ended"

  stop_program "$first"
  [[ $stop_rc == 0 && $stop_ms -lt 1000 ]] && pass "SIGTERM ends it in ${stop_ms} ms with status 0" || fail "SIGTERM: status $stop_rc after ${stop_ms} ms"

  # Once the first copy has gone, a new one runs (the claim is not left behind).
  start_bg "$work/third.log" "$dir/tavrolin"
  sleep 0.5
  kill -0 "$started" 2>/dev/null && pass "a copy starts again after the first has ended" || fail "no copy could start after the first ended"
  stop_program "$started"
}

test_game_repair() {
  local dir pid
  dir=$(new_program_dir)
  printf '[Config]\r\nInitializeDelay=30\r\nOnlineEnabled=1\r\n' >"$dir/config.ini"
  for _ in 1 2; do
    start_bg "$work/repair.log" "$dir/tavrolin"
    pid=$started
    sleep 0.5
    stop_program "$pid"
  done
  local count
  count=$(grep -c '^Game=0' "$dir/config.ini")
  [[ $count == 1 ]] && pass "a missing Game line is appended once over two starts" || fail "Game=0 appears $count times"
}

# --- The adjustment ----------------------------------------------------------
test_adjustment() {
  local dir game game_pid prog pinned final
  dir=$(new_program_dir)
  write_config "$dir" 1 1
  game=$(new_game SupremeCommander.exe)
  # One thread is born about when the game is pinned: it must be spread too.
  start_bg "$work/game.log" "$game" --threads 3 --late-thread-ms 11200
  game_pid=$started
  start_bg "$work/adjust.log" "$dir/tavrolin"
  prog=$started

  read -r pinned final < <(watch_adjustment "$game_pid" 16)
  if [[ $pinned != - && $final != - ]]; then
    pass "every thread goes to processor 0 (at ${pinned} ms), then to $all_cpus $((final - pinned)) ms later"
    ((final - pinned >= 700 && final - pinned <= 2500)) && pass "the phases are about a second apart" || fail "phase gap $((final - pinned)) ms"
  else
    fail "adjustment not seen: pinned=$pinned final=$final, threads now: $(thread_cpus "$game_pid")"
  fi
  [[ $(thread_count "$game_pid") == 5 && $(thread_cpus "$game_pid") == "$all_cpus" ]] &&
    pass "the thread born during the adjustment ends on $all_cpus too" || fail "threads: $(thread_count "$game_pid"), cpus: $(thread_cpus "$game_pid")"
  grep -q "^SupremeCommander.exe (PID $game_pid): processors $all_cpus\$" "$work/adjust.log" &&
    pass "stdout reports the adjustment" || fail "no adjustment line: $(cat "$work/adjust.log")"

  # The game exits and starts again: the watcher re-arms and adjusts the new run.
  kill -KILL "$game_pid"
  sleep 10  # the next poll sees it gone
  start_bg "$work/game2.log" "$game"
  game_pid=$started
  read -r pinned final < <(watch_adjustment "$game_pid" 14)
  [[ $pinned != - && $final != - ]] && pass "a game started again is adjusted again" || fail "second run not adjusted: pinned=$pinned final=$final"
  [[ $(grep -c 'processors' "$work/adjust.log") == 2 ]] && pass "two runs, two adjustments" || fail "adjustments: $(cat "$work/adjust.log")"
  [[ ! -e $dir/ErrorLog.txt ]] && pass "no error reports" || fail "ErrorLog.txt: $(cat "$dir/ErrorLog.txt")"
  stop_program "$prog"
  cleanup
}

test_lobby_rule() {
  local dir lobby lobby_pid game game_pid prog pinned final
  dir=$(new_program_dir)
  write_config "$dir" 1 0
  lobby=$(new_game GPG.Multiplayer.Client.exe)
  game=$(new_game SupremeCommander.exe)
  start_bg "$work/lobby.log" "$lobby"
  lobby_pid=$started
  start_bg "$work/game.log" "$game"
  game_pid=$started
  start_bg "$work/lobbyprog.log" "$dir/tavrolin"
  prog=$started

  sleep 13  # the first poll ran at 10 s; a delay of 1 s would have ended by now
  [[ $(thread_cpus "$game_pid") == "$all_cpus" ]] && ! grep -q processors "$work/lobbyprog.log" &&
    pass "with online play off, a game started while the lobby client runs is left alone" ||
    fail "the game was touched: $(thread_cpus "$game_pid")"

  kill -KILL "$lobby_pid"
  read -r pinned final < <(watch_adjustment "$game_pid" 12)
  [[ $pinned != - && $final != - ]] && pass "once the lobby client has gone, the game is adjusted" || fail "not adjusted after the lobby client left"
  stop_program "$prog"
  cleanup
}

# --- Faults the program must survive ----------------------------------------
test_game_exits_between_phases() {
  local dir game game_pid prog start now
  dir=$(new_program_dir)
  write_config "$dir" 1 1
  game=$(new_game SupremeCommander.exe)
  start_bg "$work/game.log" "$game"
  game_pid=$started
  start_bg "$work/exits.log" "$dir/tavrolin"
  prog=$started
  start=$(date +%s)
  while (($(date +%s) - start < 16)); do
    [[ $(thread_cpus "$game_pid") == 0 ]] && break
    sleep 0.05
  done
  kill -KILL "$game_pid"  # gone before the final mask
  wait "$game_pid" 2>/dev/null
  sleep 2
  if kill -0 "$prog" 2>/dev/null && ! grep -q processors "$work/exits.log" &&
    grep -q '^Error occurred in Timer1_Timer' "$dir/ErrorLog.txt" 2>/dev/null &&
    grep -q '^1001  The system refused the affinity mask' "$dir/ErrorLog.txt"; then
    pass "a game gone between the phases: reported, no adjustment line, the program runs on"
  else
    fail "game gone between phases: $(cat "$work/exits.log" "$dir/ErrorLog.txt" 2>/dev/null)"
  fi
  stop_program "$prog"
}

test_game_of_another_user() {
  if [[ $(id -u) != 0 ]]; then
    note "SKIP a game of another user: needs root to start one"
    return
  fi
  local dir game game_pid prog
  dir=$(new_program_dir)
  chmod 777 "$dir"
  write_config "$dir" 1 1
  chmod 666 "$dir/config.ini"
  game=$(new_game SupremeCommander.exe)
  start_bg "$work/game.log" "$game"  # runs as root
  game_pid=$started
  start_bg "$work/other.log" setpriv --reuid=nobody --regid=nogroup --clear-groups "$dir/tavrolin"
  prog=$started
  sleep 12.5
  if kill -0 "$prog" 2>/dev/null && [[ $(thread_cpus "$game_pid") == "$all_cpus" ]] &&
    grep -q "^Custom Error - Error in OpenProcess For the Process ID: $game_pid" "$dir/ErrorLog.txt" 2>/dev/null; then
    pass "a game the program may not change is left alone, with a report"
  else
    fail "game of another user: cpus $(thread_cpus "$game_pid"), log: $(cat "$dir/ErrorLog.txt" 2>/dev/null)"
  fi
  stop_program "$prog"
  cleanup
}

echo "Linux end-to-end tests ($build)"
test_startup
test_game_repair
test_adjustment
test_lobby_rule
test_game_exits_between_phases
test_game_of_another_user
if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
