#!/usr/bin/env bash
# The CPUs presets through the real Linux program, with the processors it
# reads from sysfs shown to it in a private mount namespace (root only):
# - `tavrolin --list-cpus` on the trees of a 7950X3D and an i7-1370P
#   (tests/data/topologies) bind-mounted over /sys/devices;
# - on this machine, its level-3 cache files faked so that processor 1 alone
#   has a 96 MB cache and processor 0 a 32 MB one, CPUs=LargeCache ends a
#   stand-in game on processor 1 alone.
#
#   tests/e2e/linux/presets.sh [BUILD_DIR]    (default build/native)
#
# About 15 s. Ends with "SUITE: N passed, F failed, S skipped: NAMES".
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../../build/native}" && pwd)
trees=$(cd "$here/../../data/topologies" && pwd)
# shellcheck source=../lib.sh
source "$here/../lib.sh"
e2e_begin "The CPUs presets on Linux"
echo "$suite ($build)"

list_names=("--list-cpus on the 7950X3D tree" "--list-cpus on the i7-1370P tree")
game_name="CPUs=LargeCache with processor 1's cache faked to 96 MB: the game ends on processor 1"
if ! unshare -m true 2>/dev/null; then
  for name in "${list_names[@]}" "$game_name"; do skip "$name" "no private mount namespace here (not root?)"; done
  e2e_summary
fi

# list_on TREE: what --list-cpus prints with TREE's sys/devices in place of
# the machine's.
list_on() {
  local tree=$trees/$1/sys/devices
  unshare -m bash -ec '
    mount -t tmpfs none /sys/devices
    mkdir -p /sys/devices/system/cpu /sys/devices/cpu_core
    mount --bind "$1/system/cpu" /sys/devices/system/cpu
    [[ ! -d $1/cpu_core ]] || mount --bind "$1/cpu_core" /sys/devices/cpu_core
    exec "$2" --list-cpus --settings-dir "$3"' - "$tree" "$build/tavrolin" "$work"
}
# has_lines TEXT LINE...: every LINE begins a line of TEXT.
has_lines() {
  local text=$1 line
  shift
  for line; do grep -qxF -- "$line" <(cut -d' ' -f1-2 <<<"$text") || return 1; done
}
listed=$(list_on 7950X3D) && has_lines "$listed" "LargeCache: 0-7,16-23" "OnePerCore: 0-15" "PerformanceCores: 0-31" &&
  pass "${list_names[0]}" || fail "${list_names[0]}: $listed"
listed=$(list_on i7-1370P) && has_lines "$listed" "PerformanceCores: 0-11" "LargeCache: 0-19" &&
  pass "${list_names[1]}" || fail "${list_names[1]}: $listed"

if one_processor; then
  skip "$game_name" "only one processor to run on"
  e2e_summary
fi
# This machine's level-3 cache, wherever its index: what to fake for 0 and 1.
l3=$(grep -lx 3 /sys/devices/system/cpu/cpu0/cache/index*/level 2>/dev/null | head -n 1)
l3=$(basename "$(dirname "$l3")")
if [[ -z $l3 ]]; then
  skip "$game_name" "processor 0 has no level-3 cache to fake"
  e2e_summary
fi
mkdir -p "$work/fake"
printf '32768K\n' >"$work/fake/size0" && printf '0\n' >"$work/fake/list0" && printf '1\n' >"$work/fake/map0"
printf '98304K\n' >"$work/fake/size1" && printf '1\n' >"$work/fake/list1" && printf '2\n' >"$work/fake/map1"

dir=$work/prog
mkdir -m 700 "$dir" "$work/run"
write_config "$dir" InitializeDelay=1 OnlineEnabled=1 CPUs=LargeCache Game=0
cp "$build/standin" "$work/SupremeCommander.exe"
start_bg "$work/game.log" "$work/SupremeCommander.exe" --threads 3
game=$started
start_bg "$work/prog.log" env XDG_RUNTIME_DIR="$work/run" unshare -m bash -ec '
  for n in 0 1; do
    for f in size shared_cpu_list shared_cpu_map; do
      mount --bind "$1/${f/shared_cpu_}$n" "/sys/devices/system/cpu/cpu$n/cache/$2/$f"
    done
  done
  exec "$3" --verbose --settings-dir "$4"' - "$work/fake" "$l3" "$build/tavrolin" "$dir"
prog=$started
# The first poll 10 s after the start, the delay of 1 s, the final step a
# second later.
final="final: SupremeCommander.exe \\(PID $game\\) on processors 1 \\(LargeCache\\)"
if wait_until 60 debug_line "$work/prog.log" "final: " && debug_line "$work/prog.log" "$final" &&
  [[ $(awk '/^Cpus_allowed_list:/ {print $2}' /proc/"$game"/task/*/status | sort -u) == 1 ]] &&
  grep -q "^tavrolin: watching .*, CPUs LargeCache: 1)" "$work/prog.log" &&
  grep -qxF "SupremeCommander.exe (PID $game): processors 1 (LargeCache)" "$work/prog.log" &&
  [[ $(reports "$dir") == 0 ]]; then
  pass "$game_name; the startup, adjustment and final lines name the preset"
else
  fail "$game_name: $(cat "$work/prog.log"); threads on $(awk '/^Cpus_allowed_list:/ {print $2}' /proc/"$game"/task/*/status | sort -u | tr '\n' ' ')"
fi
stop_pid "$prog" || fail "the program did not end on SIGTERM"
[[ $stop_rc == 0 ]] || fail "the program ended with status $stop_rc"
e2e_summary
