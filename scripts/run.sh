#!/usr/bin/env bash
# Builds the 64-bit Windows program and runs it under Wine. Arguments go to
# the program (which ignores them).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export WINEDEBUG=-all
cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64 -j "$(nproc)" --target hdsn >/dev/null
exec wine build/x86_64/hdsn.exe "$@"
