#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests (ASan + UBSan), the
# Linux end-to-end tests, the Windows builds with their unit tests and
# end-to-end tests under Wine.
#
# The last line says "All tests passed" only when every check ran. A check
# that could not run here (one processor to run on, not root, no 32-bit Wine)
# is skipped by name: each step writes the names to $TAVROLIN_SKIPPED, and the
# last line becomes "Tests passed, N skipped: NAMES". Before it come the
# seconds each step took and the non-blank lines of src/ and tests/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
jobs=$(nproc)
mkdir -p build
export TAVROLIN_SKIPPED=$PWD/build/test-skipped.txt
: >"$TAVROLIN_SKIPPED"

# step NAME: the next part of the run; the one before it has ended.
steps=()
step_started=$SECONDS
step() {
  end_step
  step_name=$*
  printf '\n=== %s ===\n' "$*"
}
end_step() {
  [[ -n ${step_name:-} ]] && steps+=("$(printf '%5d s  %s' $((SECONDS - step_started)) "$step_name")")
  step_started=$SECONDS
}
# skip_step NAME WHY: a step that cannot run here.
skip_step() {
  printf 'SKIP %s: %s\n' "$1" "$2"
  printf 'test.sh: %s\n' "$1" >>"$TAVROLIN_SKIPPED"
}
# run_ctest PRESET [ARGS...]: the preset's tests; a test that skipped itself
# is named (the Windows presets' programs name their own skipped cases, see
# cmake/mingw-wine-run.sh).
run_ctest() {
  local log=build/ctest-$1.log
  ctest --preset "$@" --output-on-failure 2>&1 | tee "$log"
  sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \(Skipped\)$/ctest \1/p' "$log" >>"$TAVROLIN_SKIPPED"
}

# side_by_side NAME COMMAND...: each COMMAND (a script and its arguments, as
# one string) at once, each in a PID namespace of its own: the Linux program
# sees every process it may, and one script's program must not adjust
# another's games. Where no namespace can be made, one after the other. The
# scripts wait on the programs' polls far more than they work. Their output
# follows in turn; false when one failed.
side_by_side() {
  local name=$1 i failed=0
  shift
  local -a commands=("$@") pids=() isolate=()
  if unshare --pid --fork --mount-proc true 2>/dev/null; then isolate=(unshare --pid --fork --mount-proc); fi
  for i in "${!commands[@]}"; do
    # shellcheck disable=SC2086 # the script and its arguments
    "${isolate[@]}" ${commands[i]} >"build/$name-$i.log" 2>&1 &
    pids[i]=$!
    if ((${#isolate[@]} == 0)); then wait "${pids[i]}" || failed=1; fi
  done
  for i in "${!commands[@]}"; do
    if ((${#isolate[@]})); then wait "${pids[i]}" || failed=1; fi
    printf '\n--- %s\n' "${commands[i]}"
    cat "build/$name-$i.log"
  done
  ((failed == 0))
}

step "Native build and unit tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
run_ctest native -j "$jobs"

step "Unit tests once more under valgrind (no sanitizers)"
cmake -S . -B build/valgrind -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVROLIN_TESTS=ON >/dev/null
cmake --build build/valgrind -j "$jobs" --target core_tests ui_tests
for suite in build/valgrind/tests/unit/core_tests build/valgrind/tests/ui/ui_tests; do
  valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite "$suite" --gtest_brief=1
done

step "Fuzzing the settings reader and the value rules: the corpus replayed, then a short search"
scripts/fuzz.sh 12

step "Linux end-to-end tests: the program against stand-in games, bad input, taskset and cpusets, files and signals, the processor choice, the presets, among other users"
side_by_side linux-e2e \
  "tests/e2e/linux/run.sh build/native" \
  "tests/e2e/linux/bad_input.sh build/native" \
  "tests/e2e/linux/adjust_conditions.sh build/native" \
  "tests/e2e/linux/files_and_signals.sh build/native" \
  "tests/e2e/linux/selection.sh build/native" \
  "tests/e2e/linux/presets.sh build/native" \
  "tests/e2e/linux/among_others.sh build/native"

step "1000 adjustments in a row: nothing left behind"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
if (($(nproc) < 2)); then
  skip_step "1000 adjustments in a row" "only one processor to run on: there is nothing to spread"
else
  build/release/adjust_soak build/release/standin 1000
fi

step "The Linux program installed: command line, settings for a user, unit, man page, .deb, notification"
tests/e2e/linux/install.sh build/release

step "Windows builds"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"

step "The 32-bit exe needs nothing newer than Windows XP"
tests/win32/xp_imports.sh build/win32

step "Windows unit tests under Wine"
run_ctest win64
step "32-bit Windows unit tests under Wine"
if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  run_ctest win32
else
  skip_step "32-bit Windows unit tests" "wine32:i386 is not installed (scripts/setup.sh could not install it)"
fi
step "Under Wine: the Linux program against a game, the 64-bit and the 32-bit exe, Exit between the phases, the options in force, CPUs=LargeCache on a faked cache, a folder outside the ANSI code page"
side_by_side wine-e2e \
  "tests/e2e/linux/wine_game.sh build/native build/win64" \
  "tests/e2e/wine/run.sh build/win64" \
  "tests/e2e/wine/run.sh build/win32" \
  "tests/e2e/wine/exit_in_gap.sh build/win64" \
  "tests/e2e/wine/options_in_force.sh build/win64" \
  "tests/e2e/wine/presets.sh build/win64" \
  "tests/e2e/wine/non_ansi_folder.sh build/win64"

step "Seconds per step"
printf '%s\n' "${steps[@]}"
printf '%5d s  in all\n' "$SECONDS"
step "Non-blank lines (text files; the fuzzing corpus and the processor trees are data)"
for dir in src tests; do
  grep -rIc --exclude-dir=corpus --exclude-dir=data '[^[:space:]]' "$dir" | awk -F: -v dir="$dir/" '{ n += $NF } END { printf "%-7s %6d\n", dir, n }'
done

skipped=$(wc -l <"$TAVROLIN_SKIPPED")
if ((skipped == 0)); then
  step "All tests passed"
else
  step "Tests passed, $skipped skipped: $(sed 's/$/;/' "$TAVROLIN_SKIPPED" | tr '\n' ' ' | sed 's/; $//')"
fi
