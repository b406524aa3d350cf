#!/usr/bin/env bash
# Performance figures, measured side by side in one run:
# - one presence query against `pgrep -x` on the same process table, and the
#   CPU cost of one whole poll tick;
# - the CPU time, resident memory and wakeups of the Linux program idling for
#   60 s (its desktop notification code linked in, as always);
# - the sizes of both Windows exes.
#   scripts/bench.sh [IDLE_SECONDS]    (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
idle=${1:-60}
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
trap 'kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
cp build/release/tavrolin "$dir/"
"$dir/tavrolin" --settings-dir "$dir" 2>/dev/null &
pid=$!
sleep 1
ticks() { awk '{print $14 + $15}' /proc/"$pid"/stat; }
# Each wakeup from its sleep in poll() is one voluntary context switch.
switches() { awk '/^voluntary_ctxt_switches:/ {print $2}' /proc/"$pid"/status; }
start=$(ticks)
woken=$(switches)
sleep "$idle"
used=$(($(ticks) - start))
woken=$(($(switches) - woken))
hz=$(getconf CLK_TCK)
awk -v t="$used" -v hz="$hz" -v s="$idle" 'BEGIN {printf "CPU time over %d s:              %.2f s (%.3f%% of one processor)\n", s, t / hz, 100 * t / hz / s}'
awk '/^VmRSS:/ {printf "resident memory:                 %.2f MB\n", $2 / 1024}' /proc/"$pid"/status
awk '/^Threads:/ {printf "threads:                         %d\n", $2}' /proc/"$pid"/status
echo "wakeups:                         $woken, for $((idle / 10)) polls (one every 10 s)"

echo
echo "== Sizes =="
for exe in build/release/tavrolin build/win32/Tavrolin.exe build/win64/Tavrolin.exe; do
  [[ -f $exe ]] && printf '%-28s %6d KB\n' "$exe" $(($(stat -c %s "$exe") / 1024))
done
