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
# given) for the program's XDG_RUNTIME_DIR, where it locks its one copy per
# user: programs meet only where a test gives them the same one.
new_runtime_dir() {
  local dir
  dir=$(mktemp -d "$work/runtime.XXXX")
  chmod 700 "$dir"
  [[ -z ${1:-} ]] || chown "$1" "$dir"
  echo "$dir"
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

# start_program DIR LOG [ENV...]: DIR's copy of the program, its settings in
# DIR, its stdout and stderr (with the debug lines) in LOG; through env, so
# ENV may set variables or name a command to run it under. It gets a runtime
# directory of its own ($runtime_dir) unless ENV sets XDG_RUNTIME_DIR. Its pid
# in $started; false when no startup line came within a minute (sanitizers
# and a loaded machine are slow).
start_program() {
  local dir=$1 log=$2
  shift 2
  runtime_dir=$(new_runtime_dir)
  start_bg "$log" env XDG_RUNTIME_DIR="$runtime_dir" "$@" "$dir/tavrolin" --verbose --settings-dir "$dir"
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
# watch to show the pin and CPUS; sets pinned_at, final_at, final_threads.
# Another copy of the program outside the test's PID namespace may adjust the
# test's games too: only what this one says counts.
wait_adjusted() {
  wait_until 60 debug_line "$1" "final: $2 \(PID $3\) on processors $5" && wait_adjustment "$4" "$5" 10
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

# thread_cpus PID: the distinct Cpus_allowed_list values of all its threads.
thread_cpus() {
  cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^Cpus_allowed_list:/ {print $2}' | sort -u | tr '\n' ' ' | sed 's/ $//'
}
thread_count() { ls /proc/"$1"/task 2>/dev/null | wc -l; }
