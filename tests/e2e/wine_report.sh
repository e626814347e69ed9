#!/usr/bin/env bash
# Runs the Windows program under Wine with standard input at end of file and
# compares every byte of its standard output with the report expected on
# Wine's machine. Wine's own messages go to standard error and are ignored.
set -uo pipefail
wine=$1 exe=$2
export WINEDEBUG=-all

# The volume serial as Wine's own command interpreter reports it for C:,
# "Volume Serial Number is 4300-0000", printed by the program as %x.
vol=$("$wine" cmd /c vol c: 2>/dev/null | tr -d '\r' | sed -n 's/.*Serial Number is \([0-9A-Fa-f]\{4\}\)-\([0-9A-Fa-f]\{4\}\).*/\1\2/p')
if [[ -z $vol ]]; then
  echo "could not read the volume serial of C: from Wine's vol command"; exit 1
fi
serial=$(printf '%x' "0x$vol")

actual=$(mktemp) expected=$(mktemp)
trap 'rm -f "$actual" "$expected"' EXIT
"$wine" "$exe" </dev/null >"$actual" 2>/dev/null
status=$?

# The C runtime writes standard output in text mode: every line feed arrives
# as a carriage return and a line feed.
{
  printf 'hdd serial retrieves with method 0: \r\n'
  printf '\r\nhdsn, master hard disk and system volume serial numbers, \xa9'
  printf '2026 the hdsn authors\r\n'
  printf -- '------------------------------------\r\n'
  printf 'Your master hard disk serial number is unknown\r\n'
  printf 'Your volume number for system drive C:\\ is %s\r\n' "$serial"
  printf '\r\n\r\nPress any key to exit...'
} >"$expected"

fail=0
if (( status != 0 )); then
  echo "exit status $status, expected 0"; fail=1
fi
if ! cmp -s "$expected" "$actual"; then
  echo "standard output differs from the expected report"
  echo "--- expected"; od -c "$expected"
  echo "--- actual"; od -c "$actual"
  fail=1
fi
exit $fail
