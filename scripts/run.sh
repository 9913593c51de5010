#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it under Wine in a
# prefix of its own (build/windows/run-prefix, kept between runs).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target clear-utility
export WINEPREFIX=$PWD/build/windows/run-prefix
[ -f "$WINEPREFIX/system.reg" ] || ./scripts/wine-prefix.sh "$WINEPREFIX"
export WINEDEBUG=-all
if [ -z "${DISPLAY:-}" ]; then
  echo "run: no display; starting under xvfb-run" >&2
  exec xvfb-run -a wine build/windows/clear-utility.exe
fi
exec wine build/windows/clear-utility.exe
