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

for preset in linux i686 x86_64; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$([[ $preset == x86_64 ]] && echo 1 || echo "$jobs")"
done

echo "== fuzz"
scripts/fuzz.sh "${HDSN_FUZZ_SECONDS:-20}"
