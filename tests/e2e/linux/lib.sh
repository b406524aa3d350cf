# Helpers for the Linux end-to-end tests. Sourced by run.sh, bad_input.sh and
# wine_game.sh, which set $suite (their name), $work and $build first.
# shellcheck source=../watch.sh
source "$(dirname "${BASH_SOURCE[0]}")/../watch.sh"

failures=0
passes=0
skipped=()
pids_to_kill=()

note() { printf '  %s\n' "$*"; }
pass() {
  printf 'PASS %s\n' "$*"
  passes=$((passes + 1))
}
fail() {
  printf 'FAIL %s\n' "$*"
  failures=$((failures + 1))
}
# skip NAME WHY: a check that could not run is named and counted, never passed.
# The test command collects the names in the file $TAVROLIN_SKIPPED.
skip() {
  printf 'SKIP %s: %s\n' "$1" "$2"
  skipped+=("$1")
  if [[ -n ${TAVROLIN_SKIPPED:-} ]]; then printf '%s: %s\n' "$suite" "$1" >>"$TAVROLIN_SKIPPED"; fi
}
# summary: the closing line, "N passed, F failed, S skipped: NAMES"; ends the
# script, with status 1 when a check failed.
summary() {
  local line="$suite: $passes passed, $failures failed, ${#skipped[@]} skipped"
  local name first=1
  for name in "${skipped[@]}"; do
    ((first)) && line+=": $name" || line+="; $name"
    first=0
  done
  echo "$line"
  ((failures == 0))
  exit
}

# Spreading needs a second processor to spread over.
one_processor() { (($(nproc) < 2)); }

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

# new_runtime_dir [USER]: a new directory of mode 0700 (owned by USER when
# given) for the program's XDG_RUNTIME_DIR and its one-copy lock.
new_runtime_dir() {
  local dir
  dir=$(mktemp -d "$work/runtime.XXXX")
  chmod 700 "$dir"
  [[ -z ${1:-} ]] || chown "$1" "$dir"
  echo "$dir"
}

# in_lock_dir DIR CMD...: execs CMD (use it in the background or in a
# subshell) in a mount namespace of its own where the runtime directory of
# DIR's owner, /run/user/UID, is DIR. The program locks its one copy per user
# there, whatever its environment says: programs meet only where a test
# gives them the same DIR, never another script's or another engineer's.
# Needs root; anyone else runs CMD as it is.
in_lock_dir() {
  local dir=$1
  shift
  (($(id -u) == 0)) || exec "$@"
  exec unshare --mount --propagation private sh -c 'uid=$(stat -c %u "$1") &&
    mount -t tmpfs -o mode=755 tavrolin-run /run/user && mkdir "/run/user/$uid" &&
    mount --bind "$1" "/run/user/$uid" && shift && exec "$@"' sh "$dir" "$@"
}

# Every program a script starts gets a runtime directory of its own.
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(new_runtime_dir)

# start_program DIR LOG [ENV...] [-- OPTIONS...]: starts DIR's copy of the
# program with its settings in DIR and OPTIONS (through env, so ENV may set
# variables or name a command to run it under) and waits (up to a minute:
# sanitizers and a loaded machine are slow) until it has read its settings
# and printed its startup line. Its runtime directory and lock place
# ($runtime_dir) is the XDG_RUNTIME_DIR that ENV sets, else a new one. Its pid
# in $started; false when no startup line came.
start_program() {
  local dir=$1 log=$2 env=()
  shift 2
  runtime_dir=
  while (($#)) && [[ $1 != -- ]]; do
    [[ $1 == XDG_RUNTIME_DIR=* ]] && runtime_dir=${1#XDG_RUNTIME_DIR=}
    env+=("$1")
    shift
  done
  (($#)) && shift
  [[ -n $runtime_dir ]] || runtime_dir=$(new_runtime_dir)
  start_bg "$log" in_lock_dir "$runtime_dir" env XDG_RUNTIME_DIR="$runtime_dir" "${env[@]}" \
    "$dir/tavrolin" --settings-dir "$dir" "$@"
  wait_started "$log"
}
wait_started() {
  local deadline=$(($(now_ms) + 60000))
  until grep -q '^tavrolin: watching' "$1" 2>/dev/null; do
    (($(now_ms) > deadline)) && return 1
    sleep 0.05
  done
}

# wait_until SECONDS CMD...: true once CMD succeeds, trying every 0.1 s.
wait_until() {
  local deadline=$(($(now_ms) + $1 * 1000))
  shift
  until "$@"; do
    (($(now_ms) > deadline)) && return 1
    sleep 0.1
  done
}

# poll_after PINNED_MS MS: when the first poll after MS is due, for a program
# with a delay of 1 s that pinned its game at PINNED_MS: its polls come every
# 10 s from the one that saw the game, a second before the pin.
poll_after() {
  local seen=$(($1 - 1000))
  echo $((seen + ($2 - seen) / 10000 * 10000 + 10000))
}

# A directory holding a copy of the program (start_program keeps its settings
# there too).
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

# start_game PATH [ARGS...]: starts the stand-in and watches its threads; sets
# game_pid, game_out (its output) and game_watch (the watch log, see watch.sh).
start_game() {
  local game=$1
  shift
  game_out=$(mktemp "$work/game-out.XXXX")
  start_bg "$game_out" "$game" "$@"
  game_pid=$started
  game_watch=$work/watch.$game_pid
  watch_start "$game_pid" "$game_watch"
  pids_to_kill+=("$watcher")
}

# thread_cpus PID: the distinct Cpus_allowed_list values of all its threads.
thread_cpus() {
  cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^Cpus_allowed_list:/ {print $2}' | sort -u | tr '\n' ' ' | sed 's/ $//'
}

thread_count() { ls /proc/"$1"/task 2>/dev/null | wc -l; }

default_config() {
  printf ';Configuration is done by the program and shouldn'"'"'t be adjusted here.\r\n;Delete this file if issues arise, the app will make a new one.\r\n\r\n[Config]\r\nInitializeDelay=30\r\nOnlineEnabled=1\r\nCPUs=All\r\nGame=0\r\n'
}

# write_config DIR DELAY ONLINE: a settings file with those values.
write_config() {
  printf '[Config]\r\nInitializeDelay=%s\r\nOnlineEnabled=%s\r\nCPUs=All\r\nGame=0\r\n' "$2" "$3" >"$1/config.ini"
}

# stop_program PID [SIGNAL]: SIGTERM or SIGNAL; sets $stop_rc and $stop_ms
# (how long it took to end). One that has not ended after 30 s is killed.
stop_program() {
  local pid=$1 start
  start=$(now_ms)
  kill -"${2:-TERM}" "$pid"
  while kill -0 "$pid" 2>/dev/null && (($(now_ms) - start < 30000)); do sleep 0.02; done
  stop_ms=$(($(now_ms) - start))
  kill -KILL "$pid" 2>/dev/null
  wait "$pid"
  stop_rc=$?
}
