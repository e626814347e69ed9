#!/usr/bin/env bash
# Calls hdsn_disks.dll under Wine from a C program (dll_json.c) and checks that
# the document it gives is hdsn-disks --json's, byte for byte apart from the
# carriage returns the C runtime adds, and valid against the schema; then
# hdsn_disks_fingerprint, whose value must be hdsn-disks --fingerprint's and
# the one the README's rule gives in Python (fingerprint_of.py).
# Usage: wine_dll.sh dll_json.exe hdsn_disks.dll hdsn-disks.exe
set -uo pipefail
source "$(dirname "$0")/wine_prefix.sh"
loader=$1 dll=$2 exe=$3
hdsn_wine_setup
command -v jq >/dev/null || { echo "jq is needed (scripts/install-deps.sh installs it)"; exit 1; }

from_dll=$(mktemp --suffix=.json) from_exe=$(mktemp --suffix=.json)
trap 'rm -f "$from_dll" "$from_exe"; hdsn_wine_volume_serial ""' EXIT
hdsn_wine_volume_serial 5c1d2e3f

fail=0
hdsn_wine "$loader" "$(hdsn_wine_path "$dll")" </dev/null 2>&1 >"$from_dll" | tr -d '\r' | grep -v '^$'
status=${PIPESTATUS[0]}
hdsn_wine "$exe" --json </dev/null >"$from_exe" 2>/dev/null
sed -i 's/\r$//' "$from_dll" "$from_exe"
if ((status != 0)); then
  echo "FAILED: the loader exited $status"; fail=1
fi
if cmp -s "$from_exe" "$from_dll"; then
  echo "ok: the DLL's document is hdsn-disks --json's ($(stat -c %s "$from_dll") bytes)"
else
  echo "FAILED: the DLL's document differs from hdsn-disks --json's"
  diff "$from_exe" "$from_dll" | head -20; fail=1
fi
if jq -e '.system_volume.serial == "5c1d2e3f"' "$from_dll" >/dev/null 2>&1; then
  echo "ok: jq reads it, with C:'s serial 5c1d2e3f"
else
  echo "FAILED: jq does not read it, or it lacks C:'s serial"; fail=1
fi
hdsn_validate_json "$from_dll" || fail=1

salt="vendor-salt"
value_dll=$(hdsn_wine "$loader" "$(hdsn_wine_path "$dll")" --fingerprint "$salt" </dev/null |
  tr -d '\r')
value_exe=$(hdsn_wine "$exe" --fingerprint --salt "$salt" </dev/null 2>/dev/null | tr -d '\r')
rebuilt=$(python3 "$(dirname "$0")/fingerprint_of.py" "$from_exe" "$salt")
if [[ $value_exe =~ ^hdsn-fp1:[0-9a-f]{64}$ && $value_dll == "$value_exe" ]]; then
  echo "ok: hdsn_disks_fingerprint gives hdsn-disks --fingerprint's value $value_dll"
else
  echo "FAILED: hdsn_disks_fingerprint gave '$value_dll', hdsn-disks --fingerprint '$value_exe'"
  fail=1
fi
if [[ $rebuilt == "$value_exe" ]]; then
  echo "ok: the README's rule in Python gives the same value from the document"
else
  echo "FAILED: the README's rule in Python gives '$rebuilt'"; fail=1
fi
exit $fail
