#!/usr/bin/env bash
# End-to-end tests of the Linux program against real processes: the program is
# started in its own directory, stand-in games run under the games' image
# names, and the result is read from outside (/proc, the files written).
#
#   tests/e2e/linux/run.sh [BUILD_DIR]     (default build/native)
#
# The program polls every 10 s, so a run takes about two minutes. Ends with
# "N passed, F failed, S skipped: NAMES"; the status is 1 when a check failed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../../build/native}" && pwd)
work=$(mktemp -d /tmp/tavrolin-e2e.XXXXXX)
chmod 755 "$work"  # a test runs the program as another user
suite="Linux end-to-end tests"
# shellcheck source=lib.sh
source "$here/lib.sh"
trap 'cleanup; rm -rf "$work"' EXIT
unset NUMBER_OF_PROCESSORS
all_cpus=$(awk '/^Cpus_allowed_list:/ {print $2}' /proc/self/status)

# --- Startup, the second copy and shutdown ---------------------------------
test_startup() {
  local dir first rc
  dir=$(new_program_dir)
  if ! start_program "$dir" "$work/first.log"; then
    fail "no startup line within a minute: $(cat "$work/first.log")"
    return
  fi
  first=$started
  if cmp -s <(default_config) "$dir/config.ini"; then pass "fresh start writes the default config.ini byte for byte"; else fail "config.ini differs from the default"; fi
  [[ -e $dir/ErrorLog.txt ]] && fail "a fresh start wrote ErrorLog.txt" || pass "no ErrorLog.txt after a clean start"
  grep -qxF "tavrolin: watching SupremeCommander.exe (delay 30000 ms, online play allowed); settings and log in $dir" "$work/first.log" &&
    pass "stderr names the game and the settings directory" || fail "startup line missing: $(cat "$work/first.log")"

  local before
  before=$(stat -c '%Y %s' "$dir/config.ini")
  (in_lock_dir "$runtime_dir" timeout 60 "$dir/tavrolin" --settings-dir "$dir") >"$work/second.log" 2>&1
  rc=$?
  [[ $rc == 0 && $(stat -c '%Y %s' "$dir/config.ini") == "$before" && ! -e $dir/ErrorLog.txt ]] &&
    pass "a second copy ends by itself (status 0) and changes nothing" || fail "second copy: status $rc, $(cat "$work/second.log")"
  kill -0 "$first" 2>/dev/null && pass "the first copy keeps running" || fail "the first copy ended"
  stop_program "$first"
  [[ $stop_rc == 0 ]] && pass "SIGTERM ends the first copy with status 0 (${stop_ms} ms)" || fail "SIGTERM: status $stop_rc"

  # Once the first copy has gone, a new one runs (the claim is not left
  # behind); it ends on SIGTERM, SIGINT (Ctrl+C) and SIGQUIT (Ctrl+\) alike. Sent right
  # after its startup line, a signal finds the first poll about 10 s away: a
  # program that noticed the signal only at its next timer would take that
  # long, where one that wakes for it takes well under a second (leak check
  # included). 5 s tells the two apart with room for a loaded machine.
  local signal
  for signal in TERM INT QUIT; do
    if ! start_program "$dir" "$work/again.log"; then
      fail "no copy could start after the first ended: $(cat "$work/again.log")"
      continue
    fi
    kill -0 "$started" 2>/dev/null && pass "a copy starts again after the first has ended" ||
      fail "the new copy ended by itself: $(cat "$work/again.log")"
    stop_program "$started" "$signal"
    [[ $stop_rc == 0 && $stop_ms -lt 5000 ]] && pass "SIG$signal ends it in ${stop_ms} ms with status 0" ||
      fail "SIG$signal: status $stop_rc after ${stop_ms} ms: $(cat "$work/again.log")"
  done
}

# --- The adjustment ----------------------------------------------------------
test_adjustment() {
  local dir game prog gap pinned_once
  dir=$(new_program_dir)
  write_config "$dir" 1 1
  game=$(new_game SupremeCommander.exe)
  # The game starts one more thread as soon as it is pinned: that thread is
  # born between the phases and must be spread too.
  start_game "$game" --threads 3 --on-pin thread
  start_program "$dir" "$work/adjust.log" || fail "no startup line: $(cat "$work/adjust.log")"
  prog=$started

  # The first poll 10 s after the start, the delay of 1 s, the final mask a
  # second later: a minute leaves room for a loaded machine.
  if wait_adjustment "$game_watch" "$all_cpus" 60; then
    gap=$((final_at - pinned_at))
    pass "every thread goes to processor 0, then to $all_cpus $gap ms later"
    # Not at once, and not at a later poll.
    ((gap >= 500 && gap < 5000)) && pass "the final mask comes about a second after the pin" || fail "phase gap $gap ms"
  else
    fail "adjustment not seen: pinned_at=$pinned_at final_at=$final_at; watch log: $(tr '\n' '|' <"$game_watch")"
  fi
  pinned_once=$pinned_at
  # Five threads: main, three idle ones and the one born while pinned.
  if grep -q 'pinned: one more thread' "$game_out" &&
    awk '$2 == 5 && $3 == "0" && NF == 3 { seen = 1 } END { exit !seen }' "$game_watch" &&
    [[ $final_threads == 5 && $(thread_count "$game_pid") == 5 && $(thread_cpus "$game_pid") == "$all_cpus" ]]; then
    pass "the thread born between the phases ends on $all_cpus too"
  else
    fail "thread born between the phases: final threads $final_threads, now $(thread_count "$game_pid") on $(thread_cpus "$game_pid"); watch log: $(tr '\n' '|' <"$game_watch")"
  fi
  wait_until 10 grep -q "^SupremeCommander.exe (PID $game_pid): processors $all_cpus\$" "$work/adjust.log" &&
    pass "stdout reports the adjustment" || fail "no adjustment line: $(cat "$work/adjust.log")"

  # The game exits and starts again: the watcher re-arms and adjusts the new
  # run. The polls follow the one that saw the game, a second before the pin,
  # every 10 s; the new run starts well after the next one saw the game gone.
  kill -KILL "$game_pid"
  wait "$game_pid" 2>/dev/null
  if [[ $pinned_once != - ]]; then
    local ready=$((pinned_once + 9000 + 4000))
    while (($(now_ms) < ready)); do sleep 0.2; done
  else
    sleep 14
  fi
  start_game "$game"
  wait_adjustment "$game_watch" "$all_cpus" 60 && pass "a game started again is adjusted again" ||
    fail "second run not adjusted: pinned_at=$pinned_at final_at=$final_at"
  two_lines() { [[ $(grep -c processors "$work/adjust.log") == 2 ]]; }
  wait_until 10 two_lines && pass "two runs, two adjustments" ||
    fail "adjustments: $(cat "$work/adjust.log")"
  [[ ! -e $dir/ErrorLog.txt ]] && pass "no error reports" || fail "ErrorLog.txt: $(cat "$dir/ErrorLog.txt")"
  stop_program "$prog"
  cleanup
}

test_lobby_rule() {
  local dir lobby game prog since
  dir=$(new_program_dir)
  write_config "$dir" 1 0
  lobby=$(new_game GPG.Multiplayer.Client.exe)
  game=$(new_game SupremeCommander.exe)
  start_bg "$work/lobby.log" "$lobby"
  local lobby_pid=$started
  start_game "$game"
  start_program "$dir" "$work/lobbyprog.log" || fail "no startup line: $(cat "$work/lobbyprog.log")"
  prog=$started

  # The first poll runs 10 s after the startup line; a delay of 1 s would have
  # ended 11 s after it. 15 s leaves room for a loaded machine.
  sleep 15
  always_on "$game_watch" "$all_cpus" && ! grep -q processors "$work/lobbyprog.log" &&
    pass "with online play off, a game started while the lobby client runs is left alone" ||
    fail "the game was touched: $(tr '\n' '|' <"$game_watch")"

  kill -KILL "$lobby_pid"
  wait "$lobby_pid" 2>/dev/null
  since=$(now_ms)
  wait_adjustment "$game_watch" "$all_cpus" 60 "$since" && pass "once the lobby client has gone, the game is adjusted" ||
    fail "not adjusted after the lobby client left"
  stop_program "$prog"
  cleanup
}

# --- Faults the program must survive ----------------------------------------
test_game_exits_between_phases() {
  local dir game prog
  dir=$(new_program_dir)
  write_config "$dir" 1 1
  game=$(new_game SupremeCommander.exe)
  # The game ends itself the moment it finds itself pinned: gone before the
  # final mask, however slow the machine.
  start_game "$game" --on-pin exit
  start_program "$dir" "$work/exits.log" || fail "no startup line: $(cat "$work/exits.log")"
  prog=$started
  # The final step's report: the pin may report too, when the game ends in
  # the middle of it.
  reported() {
    grep -A1 '^Error occurred in Timer1_Timer' "$dir/ErrorLog.txt" 2>/dev/null |
      grep -q '^1001  The system refused the affinity mask'
  }
  if wait_until 60 reported && grep -q 'pinned: exiting' "$game_out" &&
    kill -0 "$prog" 2>/dev/null && ! grep -q processors "$work/exits.log"; then
    pass "a game gone between the phases: reported, no adjustment line, the program runs on"
  else
    fail "game gone between phases: $(cat "$game_out" "$work/exits.log" "$dir/ErrorLog.txt" 2>/dev/null)"
  fi
  stop_program "$prog"
  cleanup
}

echo "$suite ($build)"
test_startup
if one_processor; then
  for name in "the adjustment" "the lobby client rule" "a game gone between the phases"; do
    skip "$name" "only one processor to run on: there is nothing to spread"
  done
else
  test_adjustment
  test_lobby_rule
  test_game_exits_between_phases
fi
summary
