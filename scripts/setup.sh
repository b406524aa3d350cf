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
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
sudo=()
[[ $(id -u) == 0 ]] || sudo=(sudo)
missing=()
for package in "${need[@]}"; do
  installed "$package" || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# 32-bit Wine, for the 32-bit exe's tests: Debian's i386 packages, which are
# not always to be had (an index that fails to download, libraries that
# conflict). Without them the test command skips those runs by name.
if [[ ${1:-test} == test ]] && ! installed wine32:i386; then
  echo "Installing: wine32:i386"
  if ! { "${sudo[@]}" dpkg --add-architecture i386 && "${sudo[@]}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
      wine32:i386 >/dev/null; }; then
    echo "setup.sh: wine32:i386 could not be installed: the 32-bit Windows tests will be skipped"
  fi
fi
