# shellcheck shell=bash
# What every end-to-end script shares, Linux and Wine alike: the results and
# the closing line, waits that end on something seen, stopping a program by
# its pid with its status checked, the settings files, the reports in
# ErrorLog.txt, "all processors", and the program's debug lines. Sourced by
# linux/lib.sh and wine/lib.sh, which add what only their side needs.
#
#   e2e_begin SUITE [WORK_PREFIX]   a work directory ($work), removed at exit
#   ...cases: pass / fail / skip ...
#   e2e_summary                     the closing line; ends the script
#
# No bare sleep of more than a second: wait_until a condition instead.

# shellcheck source=../watch.sh
source "$(dirname "${BASH_SOURCE[0]}")/watch.sh"

passes=0
failures=0
skipped=()
pids_to_kill=()
cleanup_hooks=()

pass() {
  echo "PASS: $*"
  passes=$((passes + 1))
}
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# skip NAME WHY: a check that cannot run here is named and counted, never
# passed; the test command collects the names in $TAVROLIN_SKIPPED.
skip() {
  echo "SKIP: $1: $2"
  skipped+=("$1")
  if [[ -n ${TAVROLIN_SKIPPED:-} ]]; then echo "$suite: $1" >>"$TAVROLIN_SKIPPED"; fi
}
# check WHAT CMD...: one pass or one fail, by CMD's status.
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
# fatal WHY: fails and ends the script; what follows depends on what failed.
fatal() {
  fail "$*"
  e2e_summary
}

# e2e_begin SUITE: sets $suite, $work (a new directory, readable by others:
# some cases run the program as another user) and the cleanup at exit.
e2e_begin() {
  suite=$1
  started_at=$(now_ms)
  work=$(mktemp -d "/tmp/tavrolin-e2e.XXXXXX")
  chmod 755 "$work"
  trap e2e_cleanup EXIT
}
# on_cleanup CMD: runs at exit, before the work directory goes.
on_cleanup() { cleanup_hooks+=("$1"); }
e2e_cleanup() {
  local hook
  kill_started
  for hook in "${cleanup_hooks[@]}"; do eval "$hook"; done
  # Files made immutable by a case would survive rm.
  chattr -R -i "$work" >/dev/null 2>&1
  rm -rf "$work"
}

# e2e_summary: "SUITE: N passed, F failed, S skipped: NAMES (T s)"; ends the
# script, with status 1 when a check failed.
e2e_summary() {
  local line="$suite: $passes passed, $failures failed, ${#skipped[@]} skipped" name first=1
  for name in "${skipped[@]}"; do
    ((first)) && line+=": $name" || line+="; $name"
    first=0
  done
  echo "$line ($((($(now_ms) - started_at) / 1000)) s)"
  ((failures == 0))
  exit
}

# Spreading needs a second processor to spread over.
one_processor() { (($(nproc) < 2)); }
# The processors a game started from here may use: what "all processors"
# leaves it with.
all_cpus=$(awk '/^Cpus_allowed_list:/ {print $2}' /proc/self/status)

# wait_until SECONDS CMD...: true once CMD succeeds, trying every 0.1 s; gives
# up at once when CMD returns 2 (it found something broken, not just "not
# yet").
wait_until() {
  local deadline=$(($(now_ms) + $1 * 1000)) rc
  shift
  while :; do
    "$@"
    rc=$?
    ((rc == 0)) && return 0
    ((rc == 2)) && return 2
    (($(now_ms) > deadline)) && return 1
    sleep 0.1
  done
}

# start_bg LOG CMD...: CMD in the background, its output in LOG (there when
# start_bg returns); its pid in $started, killed at exit if still there.
start_bg() {
  local log=$1
  shift
  : >"$log"
  "$@" >>"$log" 2>&1 &
  started=$!
  pids_to_kill+=("$started")
}

# kill_started: kills what start_bg started and is still there (games and
# their watches, between cases).
kill_started() {
  local pid
  for pid in "${pids_to_kill[@]}"; do
    kill -KILL "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  pids_to_kill=()
}

# stop_pid PID [SIGNAL] [SECONDS]: SIGTERM (or SIGNAL), then waits up to
# SECONDS (30) for it to end. Sets stop_ms (how long it took) and stop_rc
# (its status where it is this shell's child, else 0). False when it did not
# end: it is killed then, and stop_rc is "hung".
stop_pid() {
  local pid=$1 start ended=0
  start=$(now_ms)
  kill -"${2:-TERM}" "$pid" 2>/dev/null
  wait_until "${3:-30}" not_alive "$pid" || ended=1
  stop_ms=$(($(now_ms) - start))
  if ((ended != 0)); then
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    stop_rc=hung
    return 1
  fi
  stop_rc=0
  wait "$pid" 2>/dev/null
  stop_rc=$?
  # Not a child of this shell: its status is not ours to read.
  ((stop_rc == 127)) && stop_rc=0
  return 0
}
# stop_ok PID WHAT [SIGNAL]: stop_pid; true when PID ended with status 0, else
# a failed check that names WHAT.
stop_ok() {
  stop_pid "$1" "${3:-TERM}" && [[ $stop_rc == 0 ]] && return 0
  fail "$2: status $stop_rc on SIG${3:-TERM}"
  return 1
}
# Gone, or a zombie waiting for its parent.
not_alive() { [[ ! -e /proc/$1 || $(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) == Z ]]; }
# thread_cpus PID: the processor lists of the process's threads, each once.
thread_cpus() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^Cpus_allowed_list:/ {print $2}' | sort -u | paste -sd' '; }

# --- Settings and reports -----------------------------------------------------

# The default config.ini, byte for byte.
default_config() {
  printf '%s\r\n' \
    ";Configuration is done by the program and shouldn't be adjusted here." \
    ";Delete this file if issues arise, the app will make a new one." \
    "" "[Config]" "InitializeDelay=30" "OnlineEnabled=1" "CPUs=All" "Game=0"
}
# write_config DIR [KEY=VALUE...]: DIR/config.ini with a [Config] section of
# these lines, in this order, CR LF ended. A line without "=" is written as
# it is.
write_config() {
  local dir=$1
  shift
  printf '%s\r\n' "[Config]" "$@" >"$dir/config.ini"
}
# reports DIR: how many reports DIR/ErrorLog.txt holds.
reports() {
  local count
  count=$(grep -c '^Error occurred in' "$1/ErrorLog.txt" 2>/dev/null)
  echo "${count:-0}"
}

# --- The program's debug lines --------------------------------------------------
# The program says what each poll found and each step of an adjustment did
# ("poll 3: ...; SupremeCommander.exe running: delay of 1000 ms started",
# "pin: ...", "final: ..."): on stderr with --verbose on Linux, through
# OutputDebugStringA (WINEDEBUG=+debugstr) under Wine. The tests wait for
# these lines instead of guessing the polls from the clock.

# last_poll LOG: the number of the last poll LOG shows, 0 before the first.
last_poll() {
  local n
  n=$(grep -aoE '[Tt]avrolin: poll [0-9]+:' "$1" 2>/dev/null | tail -n 1 | grep -oE '[0-9]+')
  echo "${n:-0}"
}
# poll_line LOG N: the line of poll N, without what comes before "poll".
poll_line() {
  grep -aoE "[Tt]avrolin: poll $2: [^\"]*" "$1" 2>/dev/null | head -n 1 | sed -E 's/^[Tt]avrolin: //; s/\\n$//'
}
# wait_poll_after LOG N [SECONDS]: waits for a poll after poll N (60 s by
# default: a poll comes every 10 s); sets polled, that poll's line.
wait_poll_after() {
  local log=$1 after=$2
  polled_after() { (($(last_poll "$log") > after)); }
  wait_until "${3:-60}" polled_after || return 1
  polled=$(poll_line "$log" $((after + 1)))
}
# next_poll LOG [SECONDS]: waits for the poll after the last one seen now.
# A check that "nothing happened" after an event waits for the second poll
# after it: the first may have been under way when it happened.
next_poll() { wait_poll_after "$1" "$(last_poll "$1")" "${2:-60}"; }
# wait_poll_saying LOG N REGEX [SECONDS]: waits for a poll after poll N whose
# line matches REGEX (a game seen gone, say); sets polled, that poll's line.
wait_poll_saying() {
  local log=$1 after=$2 regex=$3
  poll_says() {
    polled=$(grep -aoE '[Tt]avrolin: poll [0-9]+: [^"]*' "$log" 2>/dev/null | sed -E 's/^[Tt]avrolin: //; s/\\n$//' |
      awk -v after="$after" -v re="$regex" '$2 + 0 > after && $0 ~ re { print; exit }')
    [[ -n $polled ]]
  }
  wait_until "${4:-60}" poll_says
}
# debug_line LOG REGEX: true once LOG has a debug line matching REGEX
# (after "tavrolin: "); a LOG not there yet has none.
debug_line() { grep -aqE "[Tt]avrolin: $2" "$1" 2>/dev/null || return 1; }
