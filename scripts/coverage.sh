#!/usr/bin/env bash
# Line and branch coverage of every room the unit tests run (protocol/,
# platform/, devices/, wmi/, app/, disks/), with clang's source-based
# coverage. Prints the summary per file; an HTML report goes to
# build/coverage/html.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh clang llvm libclang-rt-14-dev

tool() { command -v "$1" || command -v "$1-14" || { echo "$1 not found" >&2; exit 1; }; }
profdata=$(tool llvm-profdata)
cov=$(tool llvm-cov)

cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$(nproc)" --target hdsn_tests
rm -f build/coverage/*.profraw
LLVM_PROFILE_FILE="$PWD/build/coverage/tests-%p.profraw" build/coverage/tests/hdsn_tests >/dev/null
"$profdata" merge -sparse build/coverage/*.profraw -o build/coverage/tests.profdata

sources=(protocol platform devices wmi app disks)
"$cov" report build/coverage/tests/hdsn_tests -instr-profile=build/coverage/tests.profdata \
  -show-branch-summary "${sources[@]}"
"$cov" show build/coverage/tests/hdsn_tests -instr-profile=build/coverage/tests.profdata \
  -format=html -output-dir=build/coverage/html -show-branches=count "${sources[@]}" >/dev/null
echo "HTML report: build/coverage/html/index.html"
