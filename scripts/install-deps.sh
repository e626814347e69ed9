#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# the machine lacks: CMake, a C++ compiler, GoogleTest, MinGW-w64, Wine (with
# its 32-bit loader where this machine executes 32-bit code), clang-format,
# jq and nlohmann/json (which the tests read JSON with), Debian's Python with
# its jsonschema (which validates every JSON document the tests read against
# the published schema); and the packages
# named as arguments. Then replaces a Wine prefix that cannot start 32-bit
# programs.
set -euo pipefail
source "$(dirname "$0")/wine.sh"

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
command -v g++ >/dev/null || need+=(g++)
command -v git >/dev/null || need+=(git)
command -v clang-format >/dev/null || need+=(clang-format)
command -v jq >/dev/null || need+=(jq)
[[ -f /usr/src/googletest/CMakeLists.txt ]] || need+=(googletest)
[[ -f /usr/include/gtest/gtest.h ]] || need+=(libgtest-dev)
[[ -f /usr/include/nlohmann/json.hpp ]] || need+=(nlohmann-json3-dev)
# Debian's own Python: a python3 earlier on PATH may be another one.
/usr/bin/python3 -c 'import jsonschema' 2>/dev/null || need+=(python3 python3-jsonschema)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v x86_64-w64-mingw32-objdump >/dev/null || need+=(binutils-mingw-w64-x86-64)
command -v i686-w64-mingw32-objdump >/dev/null || need+=(binutils-mingw-w64-i686)
command -v wine >/dev/null || need+=(wine wine64)
add_i386=0
if hdsn_runs_i386 && ! hdsn_has_wine32; then
  need+=(wine32:i386)
  dpkg --print-foreign-architectures | grep -qx i386 || add_i386=1
fi
for extra in "$@"; do
  dpkg -s "$extra" >/dev/null 2>&1 || need+=("$extra")
done

if ((${#need[@]})); then
  if [[ $(id -u) != 0 ]]; then
    echo "missing packages: ${need[*]}; install them as root" >&2
    exit 1
  fi
  echo "installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ((add_i386)); then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# A prefix made before wine32 was installed stays unable to start 32-bit
# programs: it is moved aside (it may hold the user's files) and made anew.
prefix=${WINEPREFIX:-$HOME/.wine}
if hdsn_wine_prefix_lacks_wow64 "$prefix"; then
  aside=$prefix.before-wine32.$(date +%Y%m%d%H%M%S)
  echo "the Wine prefix $prefix cannot start 32-bit programs (made before wine32):" \
    "moved to $aside, making a new one" >&2
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  mv "$prefix" "$aside"
  hdsn_wine_prefix_make "$prefix"
fi
