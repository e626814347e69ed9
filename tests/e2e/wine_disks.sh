#!/usr/bin/env bash
# Runs hdsn-disks under Wine: the JSON document (read with jq), the table,
# --help, a usage error and the Prometheus format written with --output. On Wine's machine \\.\PhysicalDrive0 answers only
# the storage descriptor (bus type SCSI, no texts) and the drive geometry;
# every other request fails with 50 (ERROR_NOT_SUPPORTED). WMI names disk 0
# "WINEHDISK", and every other disk it lists the same; how many it lists
# follows Wine's drive letters and is not checked. Usage: wine_disks.sh
# hdsn-disks.exe
set -uo pipefail
source "$(dirname "$0")/wine_prefix.sh"
exe=$1
hdsn_wine_setup
command -v jq >/dev/null || { echo "jq is needed (scripts/install-deps.sh installs it)"; exit 1; }

out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"; hdsn_wine_volume_serial ""' EXIT
fail=0
check() {  # check <description> <command...>: the command must succeed
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    fail=1
  fi
}
json() { jq -e "$1" "$out" >/dev/null 2>&1; }  # json <filter>: whether the last output passes it
json_documents() { jq -e -s "length == $1" "$out" >/dev/null 2>&1; }
run() {  # run <arguments...>: standard output and error to the files, CRs dropped
  hdsn_wine "$exe" "$@" </dev/null >"$out" 2>"$err"
  status=$?
  sed -i 's/\r$//' "$out" "$err"
  if [[ ${1:-} == --json ]]; then
    check "the document is valid against the schema" hdsn_validate_json "$out"
  fi
}

# A volume serial of our choosing for C:, as Wine's own vol command reports it.
# The checks below expect the chosen serial, not vol's word for it.
# (Once, in a fresh clone's first run, cmd printed no volume line at all; it
# is asked again then, and what it said is shown.)
hdsn_wine_volume_serial 5c1d2e3f
serial=5c1d2e3f
for attempt in 1 2 3; do
  hdsn_wine cmd /c vol c: </dev/null >"$out" 2>"$err"
  vol=$(tr -d '\r' <"$out" |
    sed -n 's/.*Serial Number is \([0-9A-Fa-f]\{4\}\)-\([0-9A-Fa-f]\{4\}\).*/\1\2/p')
  [[ -n $vol ]] && break
  echo "note: vol said nothing of a serial (attempt $attempt): $(head -c 300 "$out") $(head -c 300 "$err")"
done
check "Wine's vol command reports the chosen serial 5c1d2e3f (got '$vol')" \
  test "$(printf '%x' "0x${vol:-0}")" = "$serial"

run --json
check "--json exits 0 (got $status)" test "$status" = 0
check "--json prints one JSON document" json_documents 1
disk0='.disks[] | select(.index == 0)'
check "the document is version 3" json '.schema_version == 3'
check "disk 0 is on the SCSI bus" json "$disk0 | .bus == \"SCSI\""
check "disk 0 is \\\\.\\PhysicalDrive0" json "$disk0 | .device == \"\\\\\\\\.\\\\PhysicalDrive0\""
check "disk 0 holds the system volume (its device number under Wine)" json "$disk0 | .system == true"
check "every other disk does not" json '[.disks[] | select(.index != 0) | .system] | all(. == false)'
check "no source names its via" json '[.disks[].sources[] | has("via")] | any | not'
check "disk 0 has the serial WINEHDISK from wmi" \
  json "$disk0 | .serial == \"WINEHDISK\" and .serial_source == \"wmi\""
check "disk 0 has its ten sources in order" json "[$disk0 | .sources[].name] ==
  [\"storage-descriptor\", \"nvme-identify\", \"ata-identify\", \"scsi-vpd80\", \"wmi\",
   \"nvme-namespace\", \"scsi-vpd83\", \"access-alignment\", \"seek-penalty\", \"disk-geometry\"]"
check "disk 0's descriptor answered" \
  json "$disk0 | .sources[0].ok == true and .removable == false"
check "disk 0's identity requests that Wine does not answer fail with 50, each in its source" \
  json "[$disk0 | .sources[5:9][] | .error] == [\"address: 50\", \"query: 50\", \"query: 50\", \"query: 50\"]"
check "disk 0's size and logical sector size come from the drive geometry Wine answers" \
  json "$disk0 | .size > 0 and .size_source == \"disk-geometry\" and .logical_sector_size == 512
    and .sources[9].size == .size"
check "disk 0 has no identifier, physical sector size or rotation, nor their sources" \
  json "$disk0 | [.wwn, .eui64, .nguid, .uuid, .physical_sector_size, .rotational, .rotation_rate,
    .wwn_source, .eui64_source, .nguid_source, .uuid_source, .physical_sector_size_source,
    .rotational_source, .rotation_rate_source] | all(. == null)"
check "disk 0 shares its serial with exactly the other disks WMI names WINEHDISK" \
  json "[.disks[] | select(.index != 0 and .serial == \"WINEHDISK\") | .device] as \$others |
    $disk0 | (.shared_with.serial // []) == \$others and .serial_kind == \"serial\""
check "the disks come by ascending index" json '[.disks[].index] | . == sort'
check "system_volume is C:\\ with serial $serial" \
  json ".system_volume == {\"root\": \"C:\\\\\", \"serial\": \"$serial\"}"

# A label longer than the 11 characters a 12-byte buffer holds.
hdsn_wine_volume_serial 7e57ab1e HDSN_SYSTEM_VOLUME_LABEL_32CHARS
run --json
check "with C: labelled in 32 characters, system_volume has the serial 7e57ab1e" \
  json '.system_volume == {"root": "C:\\", "serial": "7e57ab1e"}'
hdsn_wine_volume_serial 5c1d2e3f

run
check "the table exits 0 (got $status)" test "$status" = 0
# Seen once under heavy load: no disk had a serial. What the run said, for the next time.
((status == 0)) || { echo "--- the table's standard output"; cat "$out"; echo "--- its standard error"; cat "$err"; }
check "the table's heading" grep -Eq '^Disk +Bus +Size +Serial +Model +Firmware +Source$' "$out"
check "the table's row of disk 0, the system disk, with its size as lsblk writes one" \
  grep -Eq '^0\* +SCSI +[0-9]+(\.[1-9])?[KMGTPE] +WINEHDISK +Wine Disk Drive +- +wmi$' "$out"
check "the table's note on the system disk" grep -Fxq '* holds the system volume C:\' "$out"
check "the table's volume line" grep -Fxq "System volume C:\\ serial $serial" "$out"

run --help
check "--help exits 0 (got $status)" test "$status" = 0
check "--help prints the usage" grep -q '^usage: hdsn-disks' "$out"

run --bogus
check "an unknown option exits 2 (got $status)" test "$status" = 2
check "an unknown option prints nothing on standard output" test ! -s "$out"
check "an unknown option is named on standard error" \
  grep -Fxq "hdsn-disks: unknown option '--bogus'" "$err"
check "an unknown option prints the usage on standard error" grep -q '^usage: hdsn-disks' "$err"

# --output: the file holds the program's own bytes, LF line ends and no byte
# order mark, where the C runtime writes CR LF to standard output. The file
# goes to C:, which the 32-bit guest has too; cmd's type prints its bytes.
run --prometheus
shown=$(cat "$out")
file='C:\hdsn_disks.prom'
hdsn_wine "$exe" --prometheus --output "$file" </dev/null >"$out" 2>"$err"
status=$?
check "--prometheus --output exits 0 (got $status)" test "$status" = 0
check "--output prints nothing on standard output" test ! -s "$out"
hdsn_wine cmd /c type "$file" </dev/null >"$out" 2>/dev/null
no_cr() { ! grep -q $'\r' "$out"; }
check "the file has LF line ends" no_cr
check "the file starts with its first HELP line, no byte order mark" \
  test "$(head -c 13 "$out")" = "# HELP hdsn_d"
check "the file holds what standard output showed" test "$(cat "$out")" = "$shown"
hdsn_wine cmd /c del "$file" </dev/null >/dev/null 2>&1
# The fingerprint: disk 0 alone holds the system, by WMI's serial WINEHDISK.
run --json
document=$(mktemp)
trap 'rm -f "$out" "$err" "$document"; hdsn_wine_volume_serial ""' EXIT
cp "$out" "$document"
run --fingerprint --salt "vendor-salt"
check "--fingerprint exits 0 (got $status)" test "$status" = 0
check "--fingerprint prints hdsn-fp1: and 64 hex digits" grep -Eqx 'hdsn-fp1:[0-9a-f]{64}' "$out"
value=$(cat "$out")
rebuilt=$(python3 "$(dirname "$0")/fingerprint_of.py" "$document" "vendor-salt")
check "the README's rule in Python gives the same value from the document (got '$rebuilt')" \
  test "$rebuilt" = "$value"
check "the input is disk 0's serial alone" test "$value" = "hdsn-fp1:$(python3 -c '
import hashlib, hmac
print(hmac.new(b"vendor-salt", b"hdsn-fp1\nserial\tWINEHDISK\n", hashlib.sha256).hexdigest())')"
run --fingerprint --json --salt "vendor-salt"
check "--fingerprint --json exits 0 (got $status)" test "$status" = 0
check "--fingerprint --json gives the value and one serial component" \
  jq -e --arg value "$value" '.value == $value and .version == "hdsn-fp1" and
    [.components[] | .kind] == ["serial"]' "$out"
check "--fingerprint --json carries no serial" bash -c '! grep -q WINEHDISK "$1"' - "$out"
# A salt outside ASCII reaches the program in the ANSI code page and is keyed
# as UTF-8, as on Linux. (Not through the 32-bit guest's command channel.)
if [[ -z ${HDSN_WINE_GUEST:-} ]]; then
  LANG=C.UTF-8 run --fingerprint --salt "Société"
  rebuilt=$(python3 "$(dirname "$0")/fingerprint_of.py" "$document" "Société")
  check "the salt Société is keyed as UTF-8 (got '$(cat "$out")', the rule gives '$rebuilt')" \
    test "$(cat "$out")" = "$rebuilt"
fi
run --fingerprint --salt "another-salt"
check "another salt gives another value" bash -c '[[ $(cat "$1") != "$2" ]]' - "$out" "$value"

if ((fail)); then
  echo "--- last standard output"; cat "$out"
  echo "--- last standard error"; cat "$err"
fi
exit $fail
