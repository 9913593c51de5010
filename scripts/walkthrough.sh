#!/usr/bin/env bash
# Builds the program, starts it under Wine and Xvfb on a seeded throwaway
# prefix, walks through every tab, Info dialog and context menu, and saves
# the screenshots as docs/walkthrough/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target walkthrough
export WINEPREFIX=$PWD/build/windows/walkthrough-prefix
./scripts/wine-prefix.sh "$WINEPREFIX"
out=$PWD/build/windows/walkthrough-shots
rm -rf "$out"; mkdir -p "$out" docs/walkthrough
xvfb-run -a -s "-screen 0 1024x768x24" bash -c \
  "WINEDEBUG=-all wine build/windows/walkthrough.exe 'Z:${out//\//\\\\}'; wineserver -k"
for bmp in "$out"/*.bmp; do
  convert "$bmp" "docs/walkthrough/$(basename "${bmp%.bmp}").png"
done
ls docs/walkthrough
