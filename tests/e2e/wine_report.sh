#!/usr/bin/env bash
# Runs the Windows program under Wine with standard input at end of file and
# compares every byte of its standard output with the report expected on
# Wine's machine, once per volume serial of C: in the table below. Wine's own
# messages go to standard error and are ignored. Usage: wine_report.sh hdsn.exe
set -uo pipefail
source "$(dirname "$0")/wine_prefix.sh"
exe=$1
hdsn_wine_setup

# One row per volume serial: a name, the hex text Wine is given for C: (none:
# Wine's own serial), the serial as the program prints it with %x (none: the
# one Wine's command interpreter reports), and C:'s label (none: Wine's own).
# Wine's own comes last, so the prefix is left as Wine made it.
rows=(
  "letters|1234abcd|1234abcd|"
  "leading-zeros|0000000d|d|"
  "label-of-32-characters|2468ace0|2468ace0|HDSN_SYSTEM_VOLUME_LABEL_32CHARS"
  "wine-default|||"
)

actual=$(mktemp) expected=$(mktemp)
trap 'rm -f "$actual" "$expected"' EXIT

# The report, with the serial as printed. The C runtime writes standard
# output in text mode: every line feed arrives as a carriage return and a
# line feed.
expected_report() {
  printf 'hdd serial retrieves with method 0: \r\n'
  printf '\r\nhdsn, master hard disk and system volume serial numbers, \xa9'
  printf '2026 the hdsn authors\r\n'
  printf -- '------------------------------------\r\n'
  printf 'Your master hard disk serial number is unknown\r\n'
  printf 'Your volume number for system drive C:\\ is %s\r\n' "$1"
  printf '\r\n\r\nPress any key to exit...'
}

fail=0
for row in "${rows[@]}"; do
  IFS='|' read -r name given printed label <<<"$row"
  hdsn_wine_volume_serial "$given" "$label"
  if [[ -z $printed ]]; then
    # "Volume Serial Number is 4300-0000", printed by the program as 43000000.
    vol=$(hdsn_wine cmd /c vol c: 2>/dev/null | tr -d '\r' |
      sed -n 's/.*Serial Number is \([0-9A-Fa-f]\{4\}\)-\([0-9A-Fa-f]\{4\}\).*/\1\2/p')
    if [[ -z $vol ]]; then
      echo "$name: could not read the volume serial of C: from Wine's vol command"
      fail=1
      continue
    fi
    printed=$(printf '%x' "0x$vol")
  fi

  hdsn_wine "$exe" </dev/null >"$actual" 2>/dev/null
  status=$?
  expected_report "$printed" >"$expected"
  if ((status != 0)); then
    echo "$name: exit status $status, expected 0"
    fail=1
  fi
  if cmp -s "$expected" "$actual"; then
    echo "$name: the report of volume serial $printed, byte for byte"
  else
    echo "$name: standard output differs from the expected report"
    echo "--- expected"; od -c "$expected"
    echo "--- actual"; od -c "$actual"
    fail=1
  fi
done
exit $fail
