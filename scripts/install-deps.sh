#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# the machine lacks: CMake, a C++ compiler, GoogleTest, MinGW-w64 and Wine.
set -euo pipefail

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
command -v g++ >/dev/null || need+=(g++)
[[ -f /usr/src/googletest/CMakeLists.txt ]] || need+=(googletest)
[[ -f /usr/include/gtest/gtest.h ]] || need+=(libgtest-dev)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v x86_64-w64-mingw32-objdump >/dev/null || need+=(binutils-mingw-w64-x86-64)
command -v i686-w64-mingw32-objdump >/dev/null || need+=(binutils-mingw-w64-i686)
command -v wine >/dev/null || need+=(wine wine64)
for extra in "$@"; do
  dpkg -s "$extra" >/dev/null 2>&1 || need+=("$extra")
done

if (( ${#need[@]} )); then
  if [[ $(id -u) != 0 ]]; then
    echo "missing packages: ${need[*]}; install them as root" >&2
    exit 1
  fi
  echo "installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# Wine builds its prefix on first use; doing it here keeps that out of the
# tests. Its .NET and HTML engines are not needed: no attempt to install them.
export WINEDEBUG=-all
if [[ ! -f "${WINEPREFIX:-$HOME/.wine}/system.reg" ]]; then
  WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot --init >/dev/null 2>&1 || true
  wineserver --wait 2>/dev/null || true
fi
