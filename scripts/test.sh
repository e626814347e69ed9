#!/usr/bin/env bash
# Builds and runs every test: the unit tests on Linux under AddressSanitizer
# and UndefinedBehaviorSanitizer (the fault sweep among them), the 32-bit
# Windows executable's image checks, the 64-bit Windows tests and end-to-end
# run under Wine, and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export WINEDEBUG=-all
jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

for preset in linux i686 x86_64; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$([[ $preset == x86_64 ]] && echo 1 || echo "$jobs")" | tee -a "$log"
done

echo "== fuzz"
scripts/fuzz.sh "${HDSN_FUZZ_SECONDS:-20}" | tee -a "$log"

# One closing line for all four test runs.
sed -n 's/.* tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1 \2/p' "$log" |
  awk '{ failed += $1; total += $2 } END { printf "%d passed, %d failed\n", total - failed, failed }'
