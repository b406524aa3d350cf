#!/usr/bin/env bash
# End-to-end tests of the Linux program against real processes: the program is
# started in its own directory, stand-in games run under the games' image
# names, and the result is read from outside (/proc, the files written) and
# from the program's own lines.
#
#   tests/e2e/linux/run.sh [BUILD_DIR]     (default build/native)
#
# Cases that watch different games run side by side: under a minute. Ends with
# "N passed, F failed, S skipped: NAMES"; the status is 1 when a check failed.
set -u
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
linux_begin "Linux end-to-end tests" "${1:-$root/build/native}"

# --- Startup, the second copy and shutdown ---------------------------------
test_startup() {
  local dir first rc before signal
  dir=$(new_program_dir)
  start_program "$dir" "$work/first.log" || fatal "no startup line within a minute: $(cat "$work/first.log")"
  first=$started
  check "fresh start writes the default config.ini byte for byte" cmp -s <(default_config) "$dir/config.ini"
  check "no ErrorLog.txt after a clean start" test ! -e "$dir/ErrorLog.txt"
  check "stderr names the game and the settings directory" grep -qxF \
    "tavrolin: watching SupremeCommander.exe (delay 30000 ms, online play allowed); settings and log in $dir" "$work/first.log"

  before=$(stat -c '%Y %s' "$dir/config.ini")
  (in_lock_dir "$runtime_dir" timeout 60 "$dir/tavrolin" --settings-dir "$dir") >"$work/second.log" 2>&1
  rc=$?
  [[ $rc == 0 && $(stat -c '%Y %s' "$dir/config.ini") == "$before" && ! -e $dir/ErrorLog.txt ]] &&
    pass "a second copy ends by itself (status 0) and changes nothing" || fail "second copy: status $rc, $(cat "$work/second.log")"
  check "the first copy keeps running" kill -0 "$first"
  stop_ok "$first" "SIGTERM to the first copy" && pass "SIGTERM ends the first copy with status 0 (${stop_ms} ms)"

  # Once the first copy has gone, a new one runs (the claim is not left
  # behind); it ends on SIGTERM, SIGINT (Ctrl+C) and SIGQUIT (Ctrl+\) alike,
  # sent right after its startup line: before its first poll, 10 s away. A
  # program that noticed the signal only at its next timer would poll first.
  for signal in TERM INT QUIT; do
    start_program "$dir" "$work/again-$signal.log" || fatal "no copy could start after the first ended: $(cat "$work/again-$signal.log")"
    [[ $signal == TERM ]] && pass "a copy starts again after the first has ended"
    stop_ok "$started" "SIG$signal" || continue
    (($(last_poll "$work/again-$signal.log") == 0)) && pass "SIG$signal ends it before its first poll (${stop_ms} ms), status 0" ||
      fail "SIG$signal: it polled first, ${stop_ms} ms: $(cat "$work/again-$signal.log")"
  done
}

# --- The adjustment, twice ---------------------------------------------------
# The game starts one more thread as soon as it is pinned: that thread is born
# between the phases and must be spread too.
adjustment_start() {
  adj_dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=0)
  adj_game=$(new_game SupremeCommander.exe)
  start_game "$adj_game" --threads 3 --on-pin thread
  adj_pid=$game_pid adj_watch=$game_watch adj_out=$game_out
  start_program "$adj_dir" "$work/adjust.log" || fail "adjustment: no startup line: $(cat "$work/adjust.log")"
  adj_prog=$started
}
adjustment_check() {
  if wait_adjusted "$work/adjust.log" SupremeCommander.exe "$adj_pid" "$adj_watch" "$all_cpus"; then
    local gap=$((final_at - pinned_at))
    pass "every thread goes to processor 0, then to $all_cpus $gap ms later"
    # Not at once, and not at a later poll.
    ((gap >= 500 && gap < 5000)) && pass "the final mask comes about a second after the pin" || fail "phase gap $gap ms"
  else
    fail "adjustment not seen: pinned_at=$pinned_at final_at=$final_at; watch log: $(tr '\n' '|' <"$adj_watch")"
  fi
  # Five threads: main, three idle ones and the one born while pinned.
  if grep -q 'pinned: one more thread' "$adj_out" &&
    awk '$2 == 5 && $3 == "0" && NF == 3 { seen = 1 } END { exit !seen }' "$adj_watch" &&
    [[ $final_threads == 5 && $(thread_count "$adj_pid") == 5 && $(thread_cpus "$adj_pid") == "$all_cpus" ]]; then
    pass "the thread born between the phases ends on $all_cpus too"
  else
    fail "thread born between the phases: final threads $final_threads, now $(thread_count "$adj_pid") on $(thread_cpus "$adj_pid"); watch log: $(tr '\n' '|' <"$adj_watch")"
  fi
  wait_until 10 grep -q "^SupremeCommander.exe (PID $adj_pid): processors $all_cpus\$" "$work/adjust.log" &&
    pass "stdout reports the adjustment" || fail "no adjustment line: $(cat "$work/adjust.log")"

  # The game exits and starts again once a poll has seen it gone: the watcher
  # re-arms and adjusts the new run.
  if end_game_seen "$work/adjust.log" "$adj_pid" SupremeCommander.exe; then
    start_game "$adj_game"
    two_lines() { (($(adjustment_lines "$work/adjust.log") == 2)); }
    wait_adjusted "$work/adjust.log" SupremeCommander.exe "$game_pid" "$game_watch" "$all_cpus" && wait_until 10 two_lines &&
      pass "a game started again after a poll saw it gone is adjusted again: two adjustment lines" ||
      fail "second run not adjusted: pinned_at=$pinned_at final_at=$final_at; $(cat "$work/adjust.log")"
  else
    fail "no poll saw the game gone: $(cat "$work/adjust.log")"
  fi
  check "two adjustments, no error reports" test ! -e "$adj_dir/ErrorLog.txt"
  stop_ok "$adj_prog" "the adjusting program"
}

# --- Online play not allowed while the lobby client runs ----------------------
lobby_start() {
  lobby_dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=0 CPUs=All Game=1)
  start_bg "$work/lobby.out" "$(new_game GPG.Multiplayer.Client.exe)"
  lobby_pid=$started
  start_game "$(new_game ForgedAlliance.exe)"
  lobby_game=$game_pid lobby_watch=$game_watch
  start_program "$lobby_dir" "$work/lobby.log" || fail "lobby rule: no startup line: $(cat "$work/lobby.log")"
  lobby_prog=$started
}
lobby_check() {
  local log=$work/lobby.log
  local refused="GPG.Multiplayer.Client.exe running; online play not allowed: ForgedAlliance.exe not looked for"
  # A delay started at the first poll would have ended, and the game been
  # pinned, before the second.
  if wait_poll_after "$log" 1 && [[ $(poll_line "$log" 1) == "poll 1: $refused" && $polled == "poll 2: $refused" ]] &&
    always_on "$lobby_watch" "$all_cpus" && ! debug_line "$log" "pin: " && ((!$(adjustment_lines "$log"))); then
    pass "with online play off, a game started while the lobby client runs is left alone over two polls"
  else
    fail "lobby rule: $(cat "$log"); watch: $(tr '\n' '|' <"$lobby_watch")"
  fi
  end_game "$lobby_pid"
  wait_adjusted "$log" ForgedAlliance.exe "$lobby_game" "$lobby_watch" "$all_cpus" && pass "once the lobby client has gone, the game is adjusted" ||
    fail "not adjusted after the lobby client left: $(cat "$log")"
  stop_ok "$lobby_prog" "the program under the lobby rule"
}

# --- A fault the program must survive ------------------------------------
# The game ends itself the moment it finds itself pinned: gone before the
# final mask, however slow the machine.
gone_start() {
  gone_dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 CPUs=All Game=1)
  start_game "$(new_game ForgedAlliance.exe)" --on-pin exit
  gone_out=$game_out
  start_program "$gone_dir" "$work/gone.log" || fail "game gone: no startup line: $(cat "$work/gone.log")"
  gone_prog=$started
}
gone_check() {
  # The final step's report: the pin may report too, when the game ends in
  # the middle of it.
  if wait_final "$work/gone.log" && [[ $final_line == *" not adjusted: given back processors "* ]] &&
    grep -A1 '^Error occurred in Timer1_Timer' "$gone_dir/ErrorLog.txt" 2>/dev/null | grep -q '^1001  The system refused the affinity mask' &&
    grep -q 'pinned: exiting' "$gone_out" && kill -0 "$gone_prog" && ((!$(adjustment_lines "$work/gone.log"))); then
    pass "a game gone between the phases: reported, no adjustment line, the program runs on"
  else
    fail "game gone between phases: $(cat "$gone_out" "$work/gone.log" "$gone_dir/ErrorLog.txt" 2>/dev/null)"
  fi
  stop_ok "$gone_prog" "the program whose game went"
}

if one_processor; then
  for name in "the adjustment" "the lobby client rule" "a game gone between the phases"; do
    skip "$name" "only one processor to run on: there is nothing to spread"
  done
  test_startup
  e2e_summary
fi
# Two at a time, one per game image, so that no program touches another's
# game; the startup, which never polls a game, while the first two wait.
adjustment_start
lobby_start
test_startup
adjustment_check
lobby_check
kill_started

gone_start
gone_check
e2e_summary
