#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# the machine lacks: CMake, a C++ compiler, GoogleTest, MinGW-w64, Wine (with
# its 32-bit loader where this machine executes 32-bit code), clang-format,
# jq and nlohmann/json (which the tests read JSON with), Debian's Python with
# its jsonschema (which validates every JSON document the tests read against
# the published schema); and the packages named as arguments, without
# starting the services they bring. Then replaces a Wine prefix that cannot
# start 32-bit programs.
#
# The 32-bit loader, wine32:i386, needs Debian's i386 architecture added to
# dpkg. Should that, reading the i386 indexes (a mirror in the middle of a
# sync refuses them) or the install fail, the architecture is removed again,
# leaving apt as it was, and the 32-bit tests run in a QEMU guest instead
# (tests/e2e/wine32_guest.sh); so they do with HDSN_WINE32_GUEST=1, which
# installs nothing of i386.
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
want_wine32=0
if hdsn_runs_i386 && ! hdsn_has_wine32 && [[ ${HDSN_WINE32_GUEST:-} != 1 ]]; then
  want_wine32=1
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
  # Services that come with a package (node_exporter, Prometheus) are not
  # started by its installation: the tests start the ones they need on a
  # port of their own and stop them. Debian's invoke-rc.d asks policy-rc.d,
  # which a machine may already have (containers do).
  policy=/usr/sbin/policy-rc.d
  made_policy=0
  if [[ ! -e $policy ]]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy"
    chmod 755 "$policy"
    made_policy=1
    trap 'rm -f "$policy"' EXIT
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  if ((made_policy)); then
    rm -f "$policy"
    trap - EXIT
  fi
fi

# wine32:i386, or apt and dpkg as they were: the i386 architecture is removed
# again if this added it, with any i386 package a failed install left.
install_wine32() {
  local added=0 left=()
  if ! grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; then
    dpkg --add-architecture i386 || return 1
    added=1
  fi
  if apt-get update -qq 2>/dev/null &&
    apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null 2>&1; then
    return 0
  fi
  if ((added)); then
    mapfile -t left < <(dpkg-query -W -f '${binary:Package}\n' 2>/dev/null | grep ':i386$')
    ((${#left[@]} == 0)) || apt-get purge -y -qq "${left[@]}" >/dev/null 2>&1
    dpkg --remove-architecture i386 || echo "dpkg keeps the i386 architecture: remove it by hand" >&2
    apt-get update -qq >/dev/null 2>&1
  fi
  return 1
}
if ((want_wine32)) && [[ $(id -u) == 0 ]]; then
  echo "installing: wine32:i386"
  install_wine32 ||
    echo "wine32:i386 could not be installed (apt refused the i386 indexes or the package);" \
      "dpkg and apt are as they were, and the 32-bit tests run in a QEMU guest" >&2
elif ((want_wine32)); then
  echo "wine32:i386 is not installed (only root can): the 32-bit tests run in a QEMU guest" >&2
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
