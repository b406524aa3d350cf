#!/usr/bin/env bash
# Builds the optimised Linux program and installs it with its man page and its
# systemd user unit under PREFIX (default ~/.local):
#   scripts/install.sh [PREFIX]
# systemd looks for user units under /usr and /usr/local, and in
# ${XDG_DATA_HOME:-~/.local/share}/systemd/user, but not in ~/.local/lib: for
# any other prefix the unit is linked there, so that
# `systemctl --user enable --now tavrolin` finds it.
# /usr itself is the package manager's: the .deb installs there.
# scripts/uninstall.sh [PREFIX] removes what this installs.
set -euo pipefail
prefix=$(realpath -m "${1:-$HOME/.local}")
case $prefix in
  /usr/local | /usr/local/*) ;;
  /usr | /usr/*)
    echo "scripts/install.sh: $prefix belongs to the package manager; install the .deb there (see the README), or choose another prefix, such as /usr/local" >&2
    exit 2
    ;;
esac
cd "$(dirname "$0")/.."
scripts/setup.sh run
cmake --preset release >/dev/null
cmake --build --preset release
cmake --install build/release --prefix "$prefix" --strip
case $prefix in
  /usr/local) ;;
  *)
    units=${XDG_DATA_HOME:-$HOME/.local/share}/systemd/user
    mkdir -p "$units"
    ln -sfn "$prefix/lib/systemd/user/tavrolin.service" "$units/tavrolin.service"
    echo "Linked $units/tavrolin.service to the installed unit"
    ;;
esac
echo "To run it as a user service: systemctl --user enable --now tavrolin"
