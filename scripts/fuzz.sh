#!/usr/bin/env bash
# Fuzzes the private-profile reader/writer and the value rules with libFuzzer
# (clang, AddressSanitizer, UndefinedBehaviorSanitizer): every input of the
# corpus in tests/fuzz/corpus is run once, then new inputs are searched for a
# bounded time.
#   scripts/fuzz.sh [SECONDS]    (default 60; the test command gives 12)
# The corpus is read, never written: what the search finds is dropped.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=build/fuzz
mkdir -p "$out"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc/core tests/fuzz/profile_fuzz.cpp src/core/config/profile_text.cpp \
  src/core/config/settings.cpp src/core/diagnostics/failure.cpp src/core/diagnostics/handler.cpp \
  src/core/diagnostics/error_log.cpp -o "$out/profile_fuzz"
# Each file given by name runs once; a crash fails the step and names the file.
corpus=(tests/fuzz/corpus/*)
if ! "$out/profile_fuzz" "${corpus[@]}" >"$out/replay.log" 2>&1; then
  cat "$out/replay.log"
  exit 1
fi
echo "The ${#corpus[@]} inputs of tests/fuzz/corpus replayed; searching for $seconds s"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$out/profile_fuzz" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
  -artifact_prefix="$out/" "$work" tests/fuzz/corpus 2>&1 | tail -n 12
