#!/usr/bin/env bash
# Builds both Windows exes and packs them with the user README into
# dist/Tavrolin-VERSION.zip:
#   Tavrolin.exe      the 32-bit build (runs on every Windows the game runs on)
#   Tavrolin-x64.exe  the 64-bit build
#   README.txt
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test >/dev/null
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
version=$(sed -n 's/^project(Tavrolin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp build/win32/Tavrolin.exe "$stage/Tavrolin.exe"
cp build/win64/Tavrolin.exe "$stage/Tavrolin-x64.exe"
sed 's/$/\r/' docs/README.txt >"$stage/README.txt"
mkdir -p dist
rm -f "dist/Tavrolin-$version.zip"
(cd "$stage" && zip -q -9 "$OLDPWD/dist/Tavrolin-$version.zip" Tavrolin.exe Tavrolin-x64.exe README.txt)
unzip -l "dist/Tavrolin-$version.zip"
