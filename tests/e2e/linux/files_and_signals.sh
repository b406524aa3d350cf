#!/usr/bin/env bash
# The Linux program against files that are no settings file, a closed
# output, and a second copy of its user's:
# - config.ini a pipe, a link to /dev/zero, a file of 5 MB, a link that loops,
#   a link to nothing: the program starts, writes one report, runs on the
#   defaults, ends on SIGTERM with status 0, and leaves the entry as it was
#   (the default file is never written through a link);
# - `tavrolin | head -n 1`: the program runs on after its output has closed,
#   through a second adjustment;
# - two copies from two folders: the second ends; a crashed copy does not
#   keep out the next.
# The cases run side by side: the closed output takes two adjustments (about
# 30 s), the rest a few seconds each. Ends with "N passed, F failed, S
# skipped: NAMES"; the status is 1 when a check failed.
#
#   tests/e2e/linux/files_and_signals.sh [BUILD_DIR]    (default build/native)
set -u
source "$(dirname "$0")/lib.sh"
linux_begin "Files and signals through the Linux program" "${1:-$root/build/native}"

# The reports' headings, failures and system errors, joined by "|".
report_lines() { [[ -f $1/ErrorLog.txt ]] && grep -A2 '^Error occurred in' "$1/ErrorLog.txt" | grep -v '^--$' | tr -d '\r' | paste -sd '|'; }

# guard_memory PID: a program that reads without end (a link to /dev/zero
# followed) is killed at 512 MB rather than left to exhaust the machine.
guard_memory() {
  local pid=$1 rss
  while [[ -r /proc/$pid/status ]]; do
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null)
    ((${rss:-0} > 512000)) && kill -KILL "$pid" 2>/dev/null
    sleep 0.2
  done &
  pids_to_kill+=($!)
}

# --- A closed output: started first, finished last --------------------------
# The first adjustment line goes to head, which then ends; the second finds
# stdout closed. The program must take that as a failed write and run on. Its
# game is ForgedAlliance.exe: the other programs here watch the default one.
pipe_started=no
if one_processor; then
  skip "tavrolin | head -n 1 survives its second adjustment" "only one processor to run on: there is nothing to spread"
else
  pipe_dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 Game=1)
  pipe_game=$(new_game ForgedAlliance.exe)
  start_game "$pipe_game"
  pipe_pid=$game_pid pipe_watch=$game_watch
  XDG_RUNTIME_DIR=$(new_runtime_dir) "$pipe_dir/tavrolin" --verbose --settings-dir "$pipe_dir" 2>"$work/pipe.err" > >(head -n 1 >"$work/head.out") &
  pipe_prog=$!
  pids_to_kill+=("$pipe_prog")
  wait_started "$work/pipe.err" && pipe_started=yes
fi

# --- config.ini that is no plain file ----------------------------------------
declare -A file_dir file_prog file_before
# What stands at config.ini (and at elsewhere.ini, where a link may point).
entry_in() { (cd "$1" && stat -c '%F %s %Y' config.ini 2>&1; readlink config.ini; ls elsewhere.ini 2>&1); }
file_case() { # file_case NAME MAKE...: MAKE runs in the program's folder
  local name=$1 dir
  shift
  dir=$(new_program_dir)
  (cd "$dir" && "$@")
  file_dir[$name]=$dir
  file_before[$name]=$(entry_in "$dir")
  start_bg "$dir/stderr.txt" env XDG_RUNTIME_DIR="$(new_runtime_dir)" "$dir/tavrolin" --settings-dir "$dir"
  file_prog[$name]=$started
  guard_memory "$started"
}
# The 5 MB file's bytes, kept aside before any program has run.
{
  printf '[Config]\r\nInitializeDelay=20\r\n'
  head -c 5000000 /dev/zero | tr '\0' ';'
} >"$work/5mb.ini"
file_case "config.ini is a pipe" mkfifo config.ini
file_case "config.ini links to /dev/zero" ln -s /dev/zero config.ini
file_case "config.ini is 5 MB" cp "$work/5mb.ini" config.ini
file_case "config.ini is a link that loops (stat fails)" ln -s config.ini config.ini
file_case "config.ini is a link to a file not there" ln -s elsewhere.ini config.ini

file_check() { # file_check NAME REPORT [SAME_AS]: SAME_AS, the bytes config.ini must still hold
  local name=$1 want=$2 same_as=${3:-} dir=${file_dir[$1]} pid=${file_prog[$1]} line got alive=no after
  reported() { [[ $(report_lines "$dir") == *"$want"* ]]; }
  wait_started "$dir/stderr.txt" && wait_until 30 reported && kill -0 "$pid" && alive=yes
  line=$(grep -o 'watching .*)' "$dir/stderr.txt" | head -1)
  stop_pid "$pid" && rc=$stop_rc || rc="still running"
  got=$(report_lines "$dir")
  after=$(entry_in "$dir")
  if [[ $alive == yes && $rc == 0 && $line == "watching SupremeCommander.exe (delay 30000 ms, online play allowed)" &&
    $(reports "$dir") == 1 && $after == "${file_before[$name]}" ]] &&
    { [[ -z $same_as ]] || cmp -s "$same_as" "$dir/config.ini"; }; then
    pass "$name: the defaults, one report ($got), status 0 on SIGTERM, left as it was"
  else
    fail "$name: alive=$alive status=$rc line='$line' reports='$got' before='${file_before[$name]}' after='$after' stderr: $(tr '\n' ' ' <"$dir/stderr.txt")"
  fi
}
not_plain="1008  config.ini is not a readable plain file; the defaults are used"
file_check "config.ini is a pipe" "$not_plain|DLL Error - 0"
file_check "config.ini links to /dev/zero" "$not_plain|DLL Error - 0"
file_check "config.ini is 5 MB" "1009  config.ini is larger than 1 MiB; the defaults are used|DLL Error - 0" "$work/5mb.ini"
file_check "config.ini is a link that loops (stat fails)" "$not_plain|DLL Error - 40"
# Nothing to read, so the default file is due; it is written only where
# nothing stands, never through the link.
file_check "config.ini is a link to a file not there" "75  Path/File access error|DLL Error - 17"

# --- One copy per user, from whichever folder --------------------------------
first_dir=$(new_program_dir)
second_dir=$(new_program_dir)
shared=$(new_runtime_dir)
if start_program "$first_dir" "$work/first.err" XDG_RUNTIME_DIR="$shared"; then
  first=$started
  XDG_RUNTIME_DIR=$shared timeout 60 "$second_dir/tavrolin" --settings-dir "$second_dir" >"$work/second.out" 2>&1
  rc=$?
  if [[ $rc == 0 ]] && kill -0 "$first" 2>/dev/null && ! grep -q watching "$work/second.out" &&
    cmp -s <(default_config) "$second_dir/config.ini" && [[ ! -e $second_dir/ErrorLog.txt ]]; then
    pass "a copy from another folder ends (status 0), having written only its default config.ini; the first runs on"
  else
    fail "second copy from another folder: status $rc, first alive: $(kill -0 "$first" 2>/dev/null && echo yes || echo no), output: $(cat "$work/second.out"), files: $(ls "$second_dir")"
  fi
  [[ $(stat -c '%a %U' "$shared/tavrolin.lock") == "600 $(id -un)" ]] &&
    pass "the lock file is the user's own, mode 600" || fail "lock file: $(stat -c '%a %U %F' "$shared/tavrolin.lock" 2>&1)"
  # A copy that crashes leaves its lock file, not its lock.
  end_game "$first"
  if start_program "$second_dir" "$work/third.err" XDG_RUNTIME_DIR="$shared"; then
    stop_ok "$started" "the copy after the killed one" && pass "after a copy was killed, the next one runs"
  else
    fail "no copy could start after one was killed: $(cat "$work/third.err")"
  fi
else
  fail "the first copy did not start: $(cat "$work/first.err")"
fi

# --- The closed output, finished ---------------------------------------------
# Two runs of the game, as in run.sh: the second starts once a poll has seen
# the first gone.
name="tavrolin | head -n 1 survives its second adjustment"
if [[ $pipe_started == yes ]]; then
  if ! wait_adjusted "$work/pipe.err" ForgedAlliance.exe "$pipe_pid" "$pipe_watch" "$all_cpus"; then
    fail "$name: the first run was not adjusted; watch log: $(tr '\n' '|' <"$pipe_watch")"
  elif ! end_game_seen "$work/pipe.err" "$pipe_pid" ForgedAlliance.exe; then
    fail "$name: no poll saw the game gone: $(cat "$work/pipe.err")"
  elif start_game "$pipe_game" && ! wait_adjusted "$work/pipe.err" ForgedAlliance.exe "$game_pid" "$game_watch" "$all_cpus"; then
    fail "$name: the second run was not adjusted; watch log: $(tr '\n' '|' <"$game_watch")"
  # The adjustment line follows the final mask in the same tick, and SIGTERM
  # is taken only after it: a program that SIGPIPE killed has status 141 by
  # then.
  elif stop_ok "$pipe_prog" "$name"; then
    grep -q "^ForgedAlliance.exe (PID [0-9]*): processors $all_cpus\$" "$work/head.out" &&
      pass "$name: head got the first line; status 0 on SIGTERM after the second" ||
      fail "$name: head got: $(cat "$work/head.out"); stderr: $(cat "$work/pipe.err")"
  fi
elif ! one_processor; then
  fail "$name: no startup line: $(cat "$work/pipe.err")"
fi
e2e_summary
