#!/usr/bin/env bash
# Installs with apt-get whatever the build and the tests need and is missing.
#   scripts/setup.sh [run|test]    (default: test, which needs more)
set -euo pipefail
need=(cmake ninja-build g++ make pkg-config libsystemd-dev procps python3)
if [[ ${1:-test} == test ]]; then
  need+=(libgtest-dev googletest g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64
         fonts-wine xvfb xauth xdotool imagemagick clang libclang-rt-14-dev valgrind libbenchmark-dev
         zip unzip dpkg-dev lintian man-db dbus-daemon dbus-bin python3-dbus python3-gi)
fi
missing=()
for package in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=()
  [[ $(id -u) == 0 ]] || sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
