#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time from its seed
# corpus, two at a time. Usage: scripts/fuzz.sh [seconds per target] [target regex]
# A crash fails the run and leaves its input in build/fuzz/fuzz-work/<target>/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
only=${2:-.}
scripts/install-deps.sh clang libclang-rt-14-dev

cmake --preset fuzz -DHDSN_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
ctest --preset fuzz -j "$(nproc)" -R "$only" --timeout $((seconds * 3 + 120))
