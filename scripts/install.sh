#!/usr/bin/env bash
# Builds the optimised Linux program and installs it with its man page and its
# systemd user unit under PREFIX (default ~/.local):
#   scripts/install.sh [PREFIX]
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${1:-$HOME/.local}
scripts/setup.sh run
cmake --preset release >/dev/null
cmake --build --preset release
cmake --install build/release --prefix "$prefix" --strip
echo "To run it as a user service: systemctl --user enable --now $prefix/lib/systemd/user/tavrolin.service"
