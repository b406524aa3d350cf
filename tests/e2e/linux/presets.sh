#!/usr/bin/env bash
# The CPUs presets through the real Linux program, shown other processors in
# private mount namespaces (root only):
# - `tavrolin --list-cpus` with the 7950X3D's and the i7-1370P's trees
#   (tests/data/topologies) over /sys/devices;
# - this machine's level-3 cache files faked so that processor 1 alone has a
#   96 MB cache and processor 0 a 32 MB one: CPUs=LargeCache ends a stand-in
#   game on processor 1 alone.
#
#   tests/e2e/linux/presets.sh [BUILD_DIR]    (default build/native; about 15 s)
set -u
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
linux_begin "The CPUs presets on Linux" "${1:-$root/build/native}"
trees=$root/tests/data/topologies

x3d="--list-cpus on the 7950X3D tree"
i7="--list-cpus on the i7-1370P tree"
game_case="CPUs=LargeCache with processor 1's cache faked to 96 MB ends the game on processor 1"
if ! unshare -m true 2>/dev/null; then
  for name in "$x3d" "$i7" "$game_case"; do skip "$name" "no private mount namespace (not root?)"; done
  e2e_summary
fi

# list_on TREE LINE...: --list-cpus with TREE's sys/devices in place of the
# machine's prints every LINE.
list_on() {
  local listed line
  listed=$(unshare -m bash -ec '
    mount -t tmpfs none /sys/devices
    mkdir -p /sys/devices/system/cpu /sys/devices/cpu_core
    mount --bind "$1/system/cpu" /sys/devices/system/cpu
    [[ ! -d $1/cpu_core ]] || mount --bind "$1/cpu_core" /sys/devices/cpu_core
    exec "$2" --list-cpus --settings-dir "$3"' - "$trees/$1/sys/devices" "$build/tavrolin" "$work") ||
    return
  shift
  for line; do grep -q "^$line\( \|$\)" <<<"$listed" || { echo "$listed" && return 1; }; done
}
check "$x3d" list_on 7950X3D "LargeCache: 0-7,16-23" "OnePerCore: 0-15" "PerformanceCores: 0-31"
check "$i7" list_on i7-1370P "PerformanceCores: 0-11" "LargeCache: 0-19"

l3=$(grep -lx 3 /sys/devices/system/cpu/cpu0/cache/index*/level 2>/dev/null | head -n 1)
if one_processor || [[ -z $l3 ]]; then
  skip "$game_case" "no second processor, or no level-3 cache to fake"
  e2e_summary
fi
mkdir -p "$work/fake"
printf '32768K\n' >"$work/fake/size0" && printf '0\n' >"$work/fake/list0" && printf '1\n' >"$work/fake/map0"
printf '98304K\n' >"$work/fake/size1" && printf '1\n' >"$work/fake/list1" && printf '2\n' >"$work/fake/map1"
dir=$(new_program_dir InitializeDelay=1 OnlineEnabled=1 CPUs=LargeCache Game=0)
start_game "$(new_game SupremeCommander.exe)" --threads 3
game=$game_pid
start_bg "$work/prog.log" in_lock_dir "$(new_runtime_dir)" unshare -m bash -ec '
  for n in 0 1; do
    for f in size shared_cpu_list shared_cpu_map; do
      mount --bind "$1/${f/shared_cpu_/}$n" "/sys/devices/system/cpu/cpu$n/cache/$2/$f"
    done
  done
  exec "$3" --verbose --settings-dir "$4"' - "$work/fake" "$(basename "$(dirname "$l3")")" \
  "$dir/tavrolin" "$dir"
prog=$started
# The first poll 10 s after the start, the delay of 1 s, the final step 1 s later.
if wait_until 60 debug_line "$work/prog.log" "final: " &&
  debug_line "$work/prog.log" "final: SupremeCommander.exe \\(PID $game\\) on processors 1 \\(LargeCache\\)" &&
  [[ $(thread_cpus "$game") == 1 && $(reports "$dir") == 0 ]] &&
  grep -q "^tavrolin: watching .*, CPUs LargeCache: 1)" "$work/prog.log" &&
  grep -qxF "SupremeCommander.exe (PID $game): processors 1 (LargeCache)" "$work/prog.log"; then
  pass "$game_case; the startup, adjustment and final lines name the preset"
else
  fail "$game_case: threads on $(thread_cpus "$game"); $(cat "$work/prog.log")"
fi
stop_ok "$prog" "the program's end on SIGTERM"
e2e_summary
