# shellcheck shell=bash
# What only the Linux end-to-end scripts need, on top of ../lib.sh: copies of
# the program in folders of their own, started with --verbose so that their
# logs show each poll and each step, and stand-in games under the games'
# image names.
#
#   source "$(dirname "$0")/lib.sh"
#   linux_begin SUITE "${1:-$root/build/native}"
#   ...cases...
#   e2e_summary
# shellcheck source=../lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)

# linux_begin SUITE BUILD_DIR: e2e_begin, $build, and a runtime directory of
# the script's own for any program started without start_program.
linux_begin() {
  e2e_begin "$1"
  build=$(cd "$2" && pwd) || fatal "no build directory $2"
  unset NUMBER_OF_PROCESSORS
  export XDG_RUNTIME_DIR
  XDG_RUNTIME_DIR=$(new_runtime_dir)
  echo "$suite ($build)"
}

# needs_two_processors NAME...: on one processor, skips every NAME and ends
# the script: there is nothing to spread.
needs_two_processors() {
  one_processor || return 0
  local name
  for name in "$@"; do skip "$name" "only one processor to run on: there is nothing to spread"; done
  e2e_summary
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

# new_program_dir [KEY=VALUE...]: a folder holding a copy of the program, and
# a config.ini of those lines when any are given.
new_program_dir() {
  local dir
  dir=$(mktemp -d "$work/prog.XXXX")
  cp "$build/tavrolin" "$dir/tavrolin"
  (($#)) && write_config "$dir" "$@"
  echo "$dir"
}

# start_program DIR LOG [ENV...] [-- OPTIONS...]: DIR's copy of the program,
# its settings in DIR, with --verbose and OPTIONS, its stdout and stderr (with
# the debug lines) in LOG; through env, so ENV may set variables or name a
# command to run it under. Its runtime directory and lock place
# ($runtime_dir, see in_lock_dir) is the XDG_RUNTIME_DIR that ENV sets, else a
# new one. Its pid in $started; false when no startup line came within a
# minute (sanitizers and a loaded machine are slow).
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
    "$dir/tavrolin" --verbose --settings-dir "$dir" "$@"
  wait_started "$log"
}
wait_started() { wait_until 60 debug_line "$1" "watching "; }

# adjustment_lines LOG: how many "NAME (PID n): processors ..." lines LOG holds.
adjustment_lines() { grep -c '^[A-Za-z.]*\.exe (PID [0-9]*): processors ' "$1"; }

# wait_final LOG [SECONDS]: waits for the program's final step ("final: ...",
# a minute by default: the first poll, the delay, the pin, a second); sets
# final_line, what follows "final: ".
wait_final() {
  final_said() { final_line=$(grep -aoP '^tavrolin: final: \K.*' "$1" | tail -n 1) && [[ -n $final_line ]]; }
  wait_until "${2:-60}" final_said "$1"
}

# wait_adjusted LOG IMAGE PID WATCH CPUS: waits for LOG's program to say it
# gave game PID the final processors CPUS (a minute), then for the game's
# watch to show the pin and CPUS; sets pinned_at, final_at, final_threads, "-"
# where unseen. Only what this copy says counts: another one outside the
# test's PID namespace may adjust the test's games too.
wait_adjusted() {
  pinned_at=- final_at=- final_threads=-
  wait_until 60 debug_line "$1" "final: $2 \(PID $3\) on processors $5" && wait_adjustment "$4" "$5" 10
}

# await_text FILE TEXT: true once FILE holds TEXT, within a minute, looking
# with shell builtins alone (no fork per look): the gap between the two steps
# is a second long.
await_text() {
  local deadline=$(($(now_ms) + 60000)) fifo tick text found=1
  fifo=$(mktemp -u "$work/tick.XXXX")
  mkfifo "$fifo" && exec {tick}<>"$fifo" || return 2
  while (($(now_ms) <= deadline)); do
    read -r -d '' text <"$1"
    [[ $text == *"$2"* ]] && found=0 && break
    read -r -t 0.01 -u "$tick"
  done
  exec {tick}>&-
  return $found
}

# stop_in_gap WHAT PROG LOG IMAGE GAME SIGNAL: sends SIGNAL to PROG the
# moment its LOG says it pinned GAME. One check, named WHAT: the signal found
# every thread on processor 0 and no final step yet (else the gap was not
# tested), and the program ran the final step first (its lines, and the game
# on every processor once it had ended) and ended with status 0.
stop_in_gap() {
  local what=$1 prog=$2 log=$3 image=$4 game=$5 signal=$6 pinned_on final_before=no
  if ! await_text "$log" "tavrolin: pin: $image (PID $game) on processor 0;"; then
    fail "$what: the program never pinned the game: $(cat "$log")"
    stop_ok "$prog" "$what"
    return
  fi
  pinned_on=$(thread_cpus "$game")
  debug_line "$log" "final: " && final_before=yes
  if ! stop_pid "$prog" "$signal"; then
    fail "$what: SIG$signal did not end the program: $(cat "$log")"
  elif [[ $pinned_on != 0 || $final_before == yes ]]; then
    fail "$what: the signal came after the final step (the game on $pinned_on): the gap was not tested"
  elif [[ $stop_rc == 0 && $(thread_cpus "$game") == "$all_cpus" ]] &&
    debug_line "$log" "final: $image \(PID $game\) on processors $all_cpus\$" &&
    grep -qx "$image (PID $game): processors $all_cpus" "$log"; then
    pass "$what: the final step runs first, the game ends on $all_cpus, status 0 after ${stop_ms} ms"
  else
    fail "$what: status $stop_rc, the game on $(thread_cpus "$game") after the program ended; $(cat "$log")"
  fi
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

# end_game PID: kills a game a test is done with.
end_game() {
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

# end_game_seen LOG PID IMAGE: ends the game PID and waits for a poll of LOG's
# program that saw IMAGE gone: a game started again before then would count
# as the same run.
end_game_seen() {
  local polls
  polls=$(last_poll "$1")
  end_game "$2"
  wait_poll_saying "$1" "$polls" "$3 not running"
}

thread_count() { ls /proc/"$1"/task 2>/dev/null | wc -l; }
