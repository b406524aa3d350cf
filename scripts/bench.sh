#!/usr/bin/env bash
# Performance figures, measured side by side in one run:
# - one presence query against `pgrep -x` on the same process table, and the
#   CPU cost of one whole poll tick;
# - the CPU time, resident memory and wakeups of the Linux program idling for
#   60 s (its desktop notification code linked in, as always), then the same
#   while it keeps an adjusted stand-in game (17 threads) on CPUs=1, each
#   poll looking at every thread of the game;
# - the sizes of both Windows exes.
#   scripts/bench.sh [IDLE_SECONDS]    (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."

# running PID: true while PID runs (a program that has ended may stay a
# zombie until this shell has read its status).
running() { [[ -r /proc/$1/stat && $(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) != Z ]]; }

# ended PID LOG: says plainly that the program measured has ended, with what
# it said, and fails.
ended() {
  echo "The program measured (PID $1) has ended; no figures. What it said:"
  sed 's/^/  /' "$2"
  return 1
}

# figures PID SECONDS LOG: CPU time, resident memory, threads and wakeups of
# PID over SECONDS; LOG is what it says, shown when it has ended.
figures() {
  local pid=$1 seconds=$2 log=$3 start woken used hz
  ticks() { awk '{print $14 + $15}' /proc/"$pid"/stat; }
  # Each wakeup from its sleep in poll() is one voluntary context switch.
  switches() { awk '/^voluntary_ctxt_switches:/ {print $2}' /proc/"$pid"/status; }
  running "$pid" || ended "$pid" "$log" || return
  start=$(ticks)
  woken=$(switches)
  sleep "$seconds"
  running "$pid" || ended "$pid" "$log" || return
  used=$(($(ticks) - start))
  woken=$(($(switches) - woken))
  hz=$(getconf CLK_TCK)
  awk -v t="$used" -v hz="$hz" -v s="$seconds" 'BEGIN {printf "CPU time over %d s:              %.2f s (%.3f%% of one processor)\n", s, t / hz, 100 * t / hz / s}'
  awk '/^VmRSS:/ {printf "resident memory:                 %.2f MB\n", $2 / 1024}' /proc/"$pid"/status
  awk '/^Threads:/ {printf "threads:                         %d\n", $2}' /proc/"$pid"/status
  echo "wakeups:                         $woken, for $((seconds / 10)) polls (one every 10 s)"
}

# start_program DIR: DIR's copy of the program, with a runtime directory (its
# per-user lock) of its own in DIR, so that no other copy keeps it from
# running; its pid in $pid, once it has printed its startup line.
start_program() {
  mkdir -m 700 "$1/run"
  XDG_RUNTIME_DIR=$1/run "$1/tavrolin" --settings-dir "$1" >"$1/out" 2>&1 &
  pid=$!
  for _ in $(seq 300); do
    grep -q '^tavrolin: watching' "$1/out" && return 0
    running "$pid" || break
    sleep 0.2
  done
  ended "$pid" "$1/out"
}

# --kept-game SECONDS: the program keeping a stand-in game on CPUs=1. The
# game runs under its image name, so this part runs in a PID namespace of
# its own, where no other copy of the program sees it.
if [[ ${1:-} == --kept-game ]]; then
  dir=$(mktemp -d)
  trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$dir"' EXIT
  cp build/release/standin "$dir/SupremeCommander.exe"
  cp build/release/tavrolin "$dir/"
  printf '[Config]\r\nInitializeDelay=1\r\nOnlineEnabled=1\r\nCPUs=1\r\nGame=0\r\n' >"$dir/config.ini"
  "$dir/SupremeCommander.exe" --threads 16 &
  start_program "$dir"
  for _ in $(seq 300); do
    grep -q ': processors ' "$dir/out" && break
    running "$pid" || break
    sleep 0.2
  done
  if ! grep -q ': processors ' "$dir/out"; then
    running "$pid" || ended "$pid" "$dir/out" || exit 1
    echo "The game was not adjusted within a minute. What the program said:"
    sed 's/^/  /' "$dir/out"
    exit 1
  fi
  grep -v '^tavrolin: ' "$dir/out"
  figures "$pid" "$2" "$dir/out"
  exit
fi

idle=${1:-60}
status=0
scripts/setup.sh test >/dev/null
for preset in release win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done

echo "machine: $(nproc) processors, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo), kernel $(uname -r)"
echo
echo "== Presence query against pgrep -x (same process table, same run) =="
build/release/presence_bench 300

echo
echo "== The Linux program idle for ${idle} s =="
dir=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$dir"' EXIT
cp build/release/tavrolin "$dir/"
# It polls the whole machine's process table, and a delay of 0 never ends:
# it never touches a game that someone runs here.
printf '[Config]\r\nInitializeDelay=0\r\nOnlineEnabled=1\r\nCPUs=All\r\nGame=0\r\n' >"$dir/config.ini"
start_program "$dir" && figures "$pid" "$idle" "$dir/out" || status=1
# Its per-user lock goes with it.
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true

echo
echo "== The Linux program keeping a game on CPUs=1, ${idle} s from its adjustment =="
if (($(nproc) < 2)); then
  echo "skipped: only one processor, nothing to keep a game off"
elif ! unshare --pid --fork --mount-proc true 2>/dev/null; then
  echo "skipped: no PID namespace can be made here (needs root)"
else
  unshare --pid --fork --mount-proc "$PWD/scripts/bench.sh" --kept-game "$idle" || status=1
fi

echo
echo "== Sizes =="
for exe in build/release/tavrolin build/win32/Tavrolin.exe build/win64/Tavrolin.exe; do
  [[ -f $exe ]] && printf '%-28s %6d KB\n' "$exe" $(($(stat -c %s "$exe") / 1024))
done
exit "$status"
