#!/usr/bin/env bash
# ctest's emulator for Windows test executables: runs one under Wine in the
# test run's prefix (see wine-prefix.sh).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine's background processes must not hold ctest's output pipe open.
wine wineboot </dev/null >/dev/null 2>&1 || true
exec wine "$@"
