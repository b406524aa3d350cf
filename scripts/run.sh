#!/usr/bin/env bash
# Builds the optimised Linux program and runs it. Its settings (config.ini) and
# error log live beside it, in build/release/. Ctrl+C ends it; arguments are
# passed on (scripts/run.sh --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
cmake --preset release >/dev/null
cmake --build --preset release
exec build/release/tavrolin --settings-dir build/release "$@"
