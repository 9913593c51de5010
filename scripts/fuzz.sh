#!/usr/bin/env bash
# Fuzzes far longer than CI does: installs what is missing, builds the `fuzz`
# preset (clang, libFuzzer, AddressSanitizer and UBSan) and runs every fuzz
# target for a million inputs, each on its own corpus, kept and grown across
# runs in build/fuzz-corpus/<target>/. Fails when a target crashes, a
# sanitizer reports or a check fails; the input that did it is then in
# build/fuzz-artifacts/<target>/, with the run's log.
#
#   scripts/fuzz.sh                       10^6 inputs per target
#   CU_FUZZ_RUNS=100000 scripts/fuzz.sh   another number of inputs per target
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh

runs=${CU_FUZZ_RUNS:-1000000}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# Each target with the longest input that still reaches something new: the
# StartUp command fuzzer ignores commands past 512 bytes, and the registry
# fuzzer's key, edits and TMP/TEMP values fit well within 4096.
for entry in "startup_fuzzer 512" "registry_fuzzer 4096"; do
  read -r target max_len <<<"$entry"
  corpus=build/fuzz-corpus/$target
  artifacts=build/fuzz-artifacts/$target
  log=$artifacts/last-run.log
  mkdir -p "$corpus" "$artifacts"
  kept=$(find "$corpus" -type f | wc -l)
  echo "fuzz: $target: $runs inputs on $corpus ($kept kept from earlier runs)"
  start=$(date +%s.%N)
  # nice: the machine stays usable for other work while this runs.
  if ! nice ./build/fuzz/tests/fuzz/"$target" -runs="$runs" -max_len="$max_len" \
      -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
    grep -av "^    #" "$log" | tail -n 30 >&2
    echo "fuzz: $target FAILED; the input and the full log are in $artifacts/" >&2
    exit 1
  fi
  end=$(date +%s.%N)
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  seed=$(sed -n 's/^INFO: Seed: *//p' "$log")
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(du -sb "$corpus" | cut -f1)
  awk -v t="$target" -v n="$executed" -v s="$start" -v e="$end" -v f="$files" -v b="$bytes" -v seed="$seed" \
    'BEGIN { printf "fuzz: %s: %d inputs in %.0f s (seed %s), no crash; corpus %d inputs, %.1f KiB\n", t, n, e - s, seed, f, b / 1024 }'
done
