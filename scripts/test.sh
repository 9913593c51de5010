#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every suite: host,
# host-asan, the fuzz targets and the Windows tests under Wine. Fails when
# any suite fails or runs no test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh

for preset in host host-asan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
done

# The fuzz targets: a bounded libFuzzer run each from a fixed seed
# (scripts/fuzz.sh runs them far longer).
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

cmake --preset windows >/dev/null
cmake --build --preset windows
xvfb-run -a -s "-screen 0 1280x1024x24" ./scripts/windows-tests.sh
