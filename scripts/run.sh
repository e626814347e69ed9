#!/usr/bin/env bash
# Builds the Windows program and runs it under Wine: the 32-bit program, the
# primary target, where 32-bit Wine works here, the 64-bit one otherwise; it
# says which on standard error. Arguments go to the program (which ignores
# them).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
source scripts/wine.sh
export WINEDEBUG=-all

if hdsn_wine32_works; then
  preset=i686
  echo "running the 32-bit program, build/$preset/hdsn.exe" >&2
elif hdsn_runs_i386; then
  preset=x86_64
  echo "running the 64-bit program, build/$preset/hdsn.exe: 32-bit Wine is not installed" >&2
else
  preset=x86_64
  echo "running the 64-bit program, build/$preset/hdsn.exe:" \
    "this machine cannot execute 32-bit x86 code" >&2
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target hdsn >/dev/null
# The Wine the build found for its tests.
wine=$(sed -n 's/^HDSN_WINE_PROGRAM:FILEPATH=//p' "build/$preset/CMakeCache.txt")

prefix=${WINEPREFIX:-$HOME/.wine}
if [[ ! -f $prefix/system.reg ]]; then
  hdsn_wine_prefix_make "$prefix"
fi
exec "${wine:-wine}" "build/$preset/hdsn.exe" "$@"
