#!/usr/bin/env bash
# Builds and runs every benchmark and prints every table: the host
# benchmarks of the logic on the memory machine (Google Benchmark), then the
# Windows benchmarks under Wine, each next to its baseline measured in the
# same run, in a throwaway prefix (build/bench-windows/prefix, made afresh).
#
#   scripts/bench.sh                     full sizes (about 7 minutes on 2 cores,
#                                        over 3 of them Wine's own rd /s /q)
#   CU_BENCH_SCALE=0.1 scripts/bench.sh  a tenth of every size, for a quick run
#   CU_BENCH_RUNS=3 scripts/bench.sh     timed rounds per Wine table (default 5)
#
# Exits non-zero only when something could not be built or run; missed
# targets are listed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
exe=$here/build/bench-windows/bench/cu_bench_windows.exe
export WINEPREFIX=$here/build/bench-windows/prefix
# Without winemenubuilder: Wine starts one per saved shortcut (to make desktop
# menu entries), and hundreds of them would run during the measurements.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
runs=${CU_BENCH_RUNS:-5}

# Inside the display: the Wine steps, one process each, in one wineserver.
if [ "${1:-}" = "--wine-steps" ]; then
  wineserver -p </dev/null >/dev/null 2>&1
  # Wine's background processes start here, detached, so that none of them
  # holds the output pipe of a step open.
  wine wineboot </dev/null >/dev/null 2>&1 || true
  missed=()
  out=$(mktemp)
  trap 'wineserver -k >/dev/null 2>&1 || true; rm -f "$out"' EXIT
  # Runs one step and shows its output without Wine's CR. The output goes
  # through a file: a pipe could be held open by a Wine background process.
  # Exit code 2 is a missed target.
  step() {
    local status=0
    wine "$exe" "$@" </dev/null >"$out" 2>&1 || status=$?
    tr -d '\r' <"$out"
    if [ "$status" -eq 2 ]; then
      missed+=("$1")
    elif [ "$status" -ne 0 ]; then
      echo "bench: step '$*' failed with status $status" >&2
      exit 1
    fi
  }
  step seed-startup
  step startup --runs="$runs"
  step services --runs="$runs"
  step memory
  step seed-report
  step report --runs="$runs"
  step seed-signatures
  step signatures --runs="$runs"

  # Clearing: one tree seeded through Win32, three identical copies made on
  # the Linux side (cp -a keeps names, sizes, times and Wine's attribute
  # marks), everything written out, then the floor `rm -rf` timed here, the
  # tab's count of the tree against a raw counting loop, and the tab's Clear,
  # the raw Win32 loop and `rd /s /q` timed by the benchmark.
  seed_start=$(date +%s%N)
  wine "$exe" seed-tree clear-ours </dev/null >"$out" 2>/dev/null
  tree=$(tr -d '\r' <"$out" | tail -n 1)
  unix_tree=$(winepath -u "$tree" 2>/dev/null)
  case "$unix_tree" in
    "$WINEPREFIX"/*/clear-ours) ;;
    *) echo "bench: unexpected tree path '$unix_tree'" >&2; exit 1 ;;
  esac
  seed_end=$(date +%s%N)
  sandbox=$(dirname "$unix_tree")
  rm -rf -- "$sandbox/clear-rd" "$sandbox/clear-raw" "$sandbox/rm-floor"
  cp -a -- "$unix_tree" "$sandbox/clear-rd"
  cp -a -- "$unix_tree" "$sandbox/clear-raw"
  cp -a -- "$unix_tree" "$sandbox/rm-floor"
  sync
  start=$(date +%s%N)
  rm -rf -- "$sandbox/rm-floor"
  end=$(date +%s%N)
  floor_ms=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.1f", ns / 1e6 }')
  step count --runs="$runs"
  echo
  echo "(seeding the tree through Win32 took $(awk -v ns=$((seed_end - seed_start)) 'BEGIN { printf "%.1f s", ns / 1e9 }'))"
  step clear --floor-ms="$floor_ms" --seeded=yes

  echo
  if [ ${#missed[@]} -eq 0 ]; then
    echo "Every Wine target met."
  else
    echo "Targets missed in: ${missed[*]}"
  fi
  exit 0
fi

./scripts/bootstrap.sh

echo "bench: building (host preset 'bench' and the Windows benchmark)" >&2
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target cu_bench >/dev/null
cmake --preset windows -B build/bench-windows -DCU_BUILD_BENCH=ON -DCU_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench-windows -j2 --target cu_bench_windows >/dev/null

echo
echo "Machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p'), $(free -h | awk '/^Mem:/ { print $2 }') memory"
echo "Sizes scaled by CU_BENCH_SCALE=${CU_BENCH_SCALE:-1}"
echo
echo "Host: the logic on the memory machine (Google Benchmark)"
echo "========================================================="
./build/bench/bench/cu_bench --benchmark_counters_tabular=false 2>/dev/null

echo
title="Windows: the real platform layer under $(wine --version 2>/dev/null), Xvfb"
echo "$title"
echo "${title//?/=}"
echo "bench: creating the throwaway prefix $WINEPREFIX" >&2
./scripts/wine-prefix.sh "$WINEPREFIX"
xvfb-run -a "$0" --wine-steps
