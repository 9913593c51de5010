#!/usr/bin/env bash
# Runs the Windows suites under Wine in a prefix made for this run. Expects
# a display (scripts/test.sh runs it inside xvfb-run).
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX=$PWD/build/windows/wineprefix
./scripts/wine-prefix.sh "$WINEPREFIX"
# Drive E: is a folder of its own, for the tests of clearing a drive's root.
mkdir -p "$WINEPREFIX/drive_e"
ln -sfn "$WINEPREFIX/drive_e" "$WINEPREFIX/dosdevices/e:"
status=0
ctest --preset windows "$@" || status=$?
wineserver -k || true
exit $status
