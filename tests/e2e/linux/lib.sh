# Helpers for the Linux end-to-end tests. Sourced by run.sh.

failures=0
pids_to_kill=()

note() { printf '  %s\n' "$*"; }
pass() { printf 'PASS %s\n' "$*"; }
fail() {
  printf 'FAIL %s\n' "$*"
  failures=$((failures + 1))
}

cleanup() {
  for pid in "${pids_to_kill[@]}"; do
    kill -KILL "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  pids_to_kill=()
}

# start_bg LOGFILE CMD... : starts CMD in the background; its pid in $started.
start_bg() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  started=$!
  pids_to_kill+=("$started")
}

# A directory holding a copy of the program (settings live beside it).
new_program_dir() {
  local dir
  dir=$(mktemp -d "$work/prog.XXXX")
  cp "$build/tavrolin" "$dir/tavrolin"
  echo "$dir"
}

# new_game NAME: a copy of the stand-in under the game's image name.
new_game() {
  local dir
  dir=$(mktemp -d "$work/game.XXXX")
  cp "$build/standin" "$dir/$1"
  echo "$dir/$1"
}

# thread_cpus PID: the distinct Cpus_allowed_list values of all its threads.
thread_cpus() {
  cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^Cpus_allowed_list:/ {print $2}' | sort -u | tr '\n' ' ' | sed 's/ $//'
}

thread_count() { ls /proc/"$1"/task 2>/dev/null | wc -l; }

# watch_adjustment PID SECONDS: samples the threads' processors every 50 ms and
# prints "pinned_at final_at" in milliseconds since the call (or "- -").
watch_adjustment() {
  local pid=$1 limit_ms=$(($2 * 1000)) start now cpus pinned=- final=-
  start=$(date +%s%3N)
  while :; do
    now=$(($(date +%s%3N) - start))
    ((now > limit_ms)) && break
    cpus=$(thread_cpus "$pid")
    if [[ $pinned == - && $cpus == 0 ]]; then pinned=$now; fi
    if [[ $pinned != - && $cpus == "$all_cpus" ]]; then
      final=$now
      break
    fi
    sleep 0.05
  done
  echo "$pinned $final"
}

default_config() {
  printf ';Configuration is done by the program and shouldn'"'"'t be adjusted here.\r\n;Delete this file if issues arise, the app will make a new one.\r\n\r\n[Config]\r\nInitializeDelay=30\r\nOnlineEnabled=1\r\nCPUs=All\r\nGame=0\r\n'
}

# write_config DIR DELAY ONLINE: a settings file with those values.
write_config() {
  printf '[Config]\r\nInitializeDelay=%s\r\nOnlineEnabled=%s\r\nCPUs=All\r\nGame=0\r\n' "$2" "$3" >"$1/config.ini"
}

# stop_program PID: SIGTERM; sets $stop_rc and $stop_ms (how long it took).
stop_program() {
  local pid=$1 start
  start=$(date +%s%3N)
  kill -TERM "$pid"
  wait "$pid"
  stop_rc=$?
  stop_ms=$(($(date +%s%3N) - start))
}
