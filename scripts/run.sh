#!/usr/bin/env bash
# Shows this machine's disks, then the Windows program: first builds the
# Linux hdsn-disks (release, build/deb) and prints its table of this
# machine's disks; then builds the Windows program and runs it under Wine:
# the 32-bit program, the primary target, under this machine's Wine where it
# runs 32-bit programs, else in the QEMU guest of the 32-bit tests
# (tests/e2e/wine32_guest.sh, booted for the run; HDSN_WINE32_GUEST=1
# chooses it anyway). What each shows, and where the Windows program runs,
# goes to standard error. Arguments go to the Windows program (which ignores
# them).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
source scripts/wine.sh
export WINEDEBUG=-all

cmake --preset deb >/dev/null
cmake --build --preset deb -j "$(nproc)" --target hdsn-disks >/dev/null
if [[ $(id -u) == 0 ]]; then
  rights="as root: what sysfs and udev publish, and the device nodes"
else
  rights="as $(id -un): what sysfs and udev publish to every user (root also asks the device nodes)"
fi
echo "== this machine's disks, by the Linux program build/deb/hdsn-disks, $rights:" >&2
build/deb/hdsn-disks || true
echo >&2
echo "== the Windows program hdsn.exe under Wine: Wine makes up the disk and the volume it" \
  "sees, so what it prints is Wine's, not this machine's" >&2
preset=i686

if hdsn_wine32_works && [[ ${HDSN_WINE32_GUEST:-} != 1 ]]; then
  echo "running the 32-bit program, build/$preset/hdsn.exe" >&2
  guest=
else
  if [[ ${HDSN_WINE32_GUEST:-} == 1 ]]; then
    why="HDSN_WINE32_GUEST=1"
  elif hdsn_runs_i386; then
    why="32-bit Wine is not installed here"
  else
    why="this machine cannot execute 32-bit x86 code"
  fi
  echo "running the 32-bit program, build/$preset/hdsn.exe, in a QEMU guest ($why);" \
    "its standard input is at end of file there" >&2
  scripts/install-deps.sh qemu-system-x86 busybox-static kmod cpio e2fsprogs >&2
  guest=1
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target hdsn >/dev/null
build=$PWD/build/$preset

if [[ -n $guest ]]; then
  source tests/e2e/qemu_lib.sh
  source tests/e2e/wine32_guest.sh
  dir=$(wine32_guest_dir "$build")
  # A guest that a test run keeps is used as it is, and left to it.
  if ! wine32_guest_alive "$dir"; then
    wine32_guest_start "$build" "$PWD/build/qemu-cache" >&2 || exit 1
    trap 'wine32_guest_stop "$dir"' EXIT
  fi
  wine32_guest_wine "$dir" "$build/hdsn.exe" "$@"
  exit
fi

# The Wine the build found for its tests.
wine=$(sed -n 's/^HDSN_WINE_PROGRAM:FILEPATH=//p' "build/$preset/CMakeCache.txt")
prefix=${WINEPREFIX:-$HOME/.wine}
if [[ ! -f $prefix/system.reg ]]; then
  hdsn_wine_prefix_make "$prefix"
fi
exec "${wine:-wine}" "build/$preset/hdsn.exe" "$@"
