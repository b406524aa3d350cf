#!/usr/bin/env bash
# Performance figures, measured side by side in one run:
# - one presence query against `pgrep -x` on the same process table, and the
#   CPU cost of one whole poll tick;
# - the CPU time, resident memory and wakeups of the Linux program idling for
#   60 s (its desktop notification code linked in, as always), then the same
#   while it keeps an adjusted stand-in game (17 threads) on CPUs=1, each
#   poll looking at every thread of the game;
# - how long SIGTERM takes right after an adjustment whose desktop
#   notification hangs on a session bus that never answers;
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

# start_measured DIR: DIR's copy of the program, its output in DIR/out; its
# pid in $pid once it has printed its startup line.
start_measured() {
  "$1/tavrolin" --settings-dir "$1" >"$1/out" 2>&1 &
  pid=$!
  for _ in $(seq 300); do
    grep -q '^tavrolin: watching' "$1/out" && return 0
    running "$pid" || break
    sleep 0.2
  done
  ended "$pid" "$1/out"
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

# The parts with a game run in a PID namespace of their own, where no other
# copy of the program sees the game; every part locks its one copy in a
# runtime directory of its own, so that no other copy of the user's keeps it
# from running.
private_runtime_directory() {
  mount -t tmpfs tavrolin-run /run/user && mkdir -m 700 "/run/user/$(id -u)"
}

# scratch_dir DELAY CPUS: $dir, removed at exit, with the program, the
# stand-in game and a config.ini of that delay and CPUs value.
scratch_dir() {
  dir=$(mktemp -d)
  trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$dir"' EXIT
  cp build/release/standin "$dir/SupremeCommander.exe"
  cp build/release/tavrolin "$dir/"
  printf '[Config]\r\nInitializeDelay=%s\r\nOnlineEnabled=1\r\nCPUs=%s\r\nGame=0\r\n' "$1" "$2" >"$dir/config.ini"
}

# --hung-bus ROUNDS: SIGTERM sent the moment the adjustment's line comes,
# while its notification waits on a bus that takes connections and never
# answers; how long until the program has ended.
if [[ ${1:-} == --hung-bus ]]; then
  private_runtime_directory
  scratch_dir 1 All
  python3 -c 'import socket, sys
bus = socket.socket(socket.AF_UNIX)
bus.bind(sys.argv[1])
bus.listen(16)
taken = []
while True:
    taken.append(bus.accept()[0])' "$dir/bus" &
  for _ in $(seq "$2"); do
    "$dir/SupremeCommander.exe" &
    game=$!
    DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/bus "$dir/tavrolin" --settings-dir "$dir" >"$dir/out" 2>&1 &
    pid=$!
    until grep -q ': processors ' "$dir/out"; do
      running "$pid" || ended "$pid" "$dir/out" || exit
      sleep 0.01
    done
    rss=$(awk '/^VmRSS:/ {rss = $2} /^RssAnon:/ {anon = $2} END {print rss " KB, of which anonymous " anon " KB"}' /proc/"$pid"/status)
    start=${EPOCHREALTIME/./}
    kill -TERM "$pid"
    rc=0
    wait "$pid" || rc=$?
    echo "SIGTERM to end, the bus hanging:    $(((${EPOCHREALTIME/./} - start) / 1000)) ms (status $rc; resident memory then $rss)"
    kill "$game"
    wait "$game" 2>/dev/null || true
  done
  exit
fi

# --kept-game SECONDS: the program keeping a stand-in game on CPUs=1.
if [[ ${1:-} == --kept-game ]]; then
  private_runtime_directory
  scratch_dir 1 1
  "$dir/SupremeCommander.exe" --threads 16 &
  start_measured "$dir"
  for _ in $(seq 300); do
    grep -q ': processors ' "$dir/out" && break
    running "$pid" || break
    sleep 0.2
  done
  if ! grep -q ': processors ' "$dir/out"; then
    running "$pid" || ended "$pid" "$dir/out" || exit
    echo "The game was not adjusted within a minute. What the program said:"
    sed 's/^/  /' "$dir/out"
    exit 1
  fi
  grep -v '^tavrolin: ' "$dir/out"
  figures "$pid" "$2" "$dir/out"
  exit
fi

# --idle SECONDS [private]: the program idle, in a runtime directory of its
# own when "private" (in a mount namespace of its own).
if [[ ${1:-} == --idle ]]; then
  [[ ${3:-} != private ]] || private_runtime_directory
  # It polls the whole machine's process table, and a delay of an hour does
  # not end while it is measured: it never touches a game that someone runs
  # here (the stand-in beside it is never started).
  scratch_dir 3600 All
  start_measured "$dir"
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
if unshare --mount true 2>/dev/null; then
  unshare --mount --propagation private "$PWD/scripts/bench.sh" --idle "$idle" private || status=1
else
  scripts/bench.sh --idle "$idle" || status=1
fi

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
echo "== SIGTERM right after an adjustment, its notification hanging =="
if ! unshare --pid --fork --mount-proc true 2>/dev/null; then
  echo "skipped: no PID namespace can be made here (needs root)"
else
  unshare --pid --fork --mount-proc "$PWD/scripts/bench.sh" --hung-bus 3 || status=1
fi

echo
echo "== Sizes =="
for exe in build/release/tavrolin build/win32/Tavrolin.exe build/win64/Tavrolin.exe; do
  [[ -f $exe ]] && printf '%-28s %6d KB\n' "$exe" $(($(stat -c %s "$exe") / 1024))
done
exit "$status"
