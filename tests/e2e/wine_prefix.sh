# Sourced by the tests that run Windows programs under Wine. CTest's
# environment gives the build's Wine (HDSN_WINE), the programs' bitness
# (HDSN_WINE_BITS, 32 or 64), the tests' own prefix (HDSN_WINE_PREFIX) and the
# status CTest reports as skipped (HDSN_SKIP_STATUS); and, where the 32-bit
# programs run in the QEMU guest of wine32_guest.sh, that guest's folder
# (HDSN_WINE_GUEST): its Wine and prefix then stand for the host's.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine.sh"
source "$(dirname "${BASH_SOURCE[0]}")/wine32_guest.sh"

hdsn_skip() {
  echo "skipped: $*"
  exit "${HDSN_SKIP_STATUS:-77}"
}

# Skips the test where its programs cannot run; otherwise takes the prefix's
# lock for the rest of the test (other tests restart its server and change
# its volume serial) and makes the prefix if it is missing, half made, or was
# made before wine32 was installed.
hdsn_wine_setup() {
  if [[ -n ${HDSN_WINE_GUEST:-} ]]; then
    wine32_guest_alive "$HDSN_WINE_GUEST" && return
    echo "the 32-bit Windows guest is not running: its start (test wine32_guest_start) failed"
    exit 1
  fi
  [[ -n ${HDSN_WINE:-} ]] || hdsn_skip "no Wine was found when the build was configured"
  if [[ ${HDSN_WINE_BITS:-64} == 32 ]] && ! hdsn_runs_i386; then
    hdsn_skip "this machine cannot execute 32-bit x86 code, so 32-bit Wine cannot run here"
  fi
  if [[ ${HDSN_WINE_BITS:-64} == 32 ]] && ! hdsn_has_wine32; then
    echo "Debian's 32-bit Wine (wine32:i386) is not installed: scripts/install-deps.sh installs it"
  fi
  export WINEPREFIX=$HDSN_WINE_PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [[ ! -f $WINEPREFIX/.made ]] || hdsn_wine_prefix_lacks_wow64 "$WINEPREFIX"; then
    wineserver -k 9>&- 2>/dev/null
    rm -rf "$WINEPREFIX"
    hdsn_wine_prefix_make "$WINEPREFIX" 9>&- || { echo "could not make the prefix $WINEPREFIX"; exit 1; }
    touch "$WINEPREFIX/.made"
  fi
}

# Runs the build's Wine. The children do not inherit the lock: Wine's server
# outlives the test by a few seconds.
hdsn_wine() {
  if [[ -n ${HDSN_WINE_GUEST:-} ]]; then
    wine32_guest_wine "$HDSN_WINE_GUEST" "$@"
  else
    "$HDSN_WINE" "$@" 9>&-
  fi
}

# The volume serial Wine reports for C: becomes the given hex text, and its
# label the optional second argument (none: Wine's own). Wine reads
# drive_c/.windows-serial and drive_c/.windows-label when its server starts,
# so the prefix's server is stopped; the next program starts a new one. (The
# guest keeps a prefix per serial and label instead: wine32_guest.sh.)
hdsn_wine_volume_serial() {
  if [[ -n ${HDSN_WINE_GUEST:-} ]]; then
    wine32_guest_run "$HDSN_WINE_GUEST" "$(wine32_guest_volume_script "$1" "${2:-}")"
    return
  fi
  if [[ -n $1 ]]; then
    printf '%s\n' "$1" >"$WINEPREFIX/drive_c/.windows-serial"
  else
    rm -f "$WINEPREFIX/drive_c/.windows-serial"
  fi
  if [[ -n ${2:-} ]]; then
    printf '%s\n' "$2" >"$WINEPREFIX/drive_c/.windows-label"
  else
    rm -f "$WINEPREFIX/drive_c/.windows-label"
  fi
  wineserver -k 9>&- 2>/dev/null
  wineserver -w 9>&- 2>/dev/null
  return 0
}

# A Linux path as Windows programs under Wine name it (Wine's Z: is /).
hdsn_wine_path() { printf 'Z:%s' "${1//\//\\}"; }

# Validates JSON files against the published schema of hdsn-disks' document.
hdsn_validate_json() {
  local here
  here=$(dirname "${BASH_SOURCE[0]}")
  /usr/bin/python3 "$here/../validate_json.py" "$here/../../schema/hdsn-disks.schema.json" "$@"
}
