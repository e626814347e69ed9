#!/usr/bin/env bash
# node_exporter's textfile collector reads what hdsn-disks --prometheus
# writes: the program (as installed by the package) writes the textfile with
# --output, promtool check metrics accepts it, then Debian's node_exporter,
# started here on a free port of 127.0.0.1 with the textfile collector
# alone, serves hdsn_disk_info for each disk of this machine, with the serial
# the program gives, and node_textfile_scrape_error 0. node_exporter is
# stopped on every path.
#   node_exporter.sh HDSN_DISKS
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/engine_lib.sh"
program=$1
exporter=$(command -v prometheus-node-exporter || command -v node_exporter) ||
  { echo "node_exporter is missing (package prometheus-node-exporter)" >&2; exit 1; }
command -v promtool >/dev/null || { echo "promtool is missing (package prometheus)" >&2; exit 1; }

work=$(mktemp -d)
pid=
stop() {
  if [[ -n $pid ]]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop EXIT
# A test stopped from outside still stops node_exporter: a signal ends the
# script through its exit trap, and a kill that allows no trap (a timeout's
# SIGKILL) reaches node_exporter as its parent's death signal.
trap 'exit 143' TERM INT HUP

mkdir "$work/textfile"
"$program" --json >"$work/disks.json" || (($? == 1))
"$program" --prometheus --output "$work/textfile/hdsn_disks.prom" || (($? == 1))
[[ -z $(find "$work/textfile" -name '*.tmp') ]] || { echo "--output left its new file" >&2; exit 1; }
promtool check metrics <"$work/textfile/hdsn_disks.prom" ||
  { echo "promtool check metrics refuses the file:"; cat "$work/textfile/hdsn_disks.prom"; exit 1; }
echo "promtool check metrics accepts the file ($(wc -l <"$work/textfile/hdsn_disks.prom") lines)"

metrics=
for attempt in 1 2 3; do
  port=$(engine_free_port)
  setpriv --pdeathsig KILL "$exporter" --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
    --collector.textfile --collector.textfile.directory="$work/textfile" \
    >"$work/exporter.log" 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    if metrics=$(engine_get "$port" metrics); then break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  [[ -n $metrics ]] && break
  wait "$pid" 2>/dev/null || true
  pid=
done
[[ -n $metrics ]] || { echo "node_exporter did not serve /metrics:"; cat "$work/exporter.log"; exit 1; }
echo "node_exporter on 127.0.0.1:$port serves $(grep -c '^hdsn_' <<<"$metrics") hdsn samples"

status=0
grep -qx 'node_textfile_scrape_error 0' <<<"$metrics" ||
  { echo "FAIL: node_textfile_scrape_error is not 0"; grep textfile <<<"$metrics"; status=1; }
# Each disk's sample, its device and serial labels as the document has them
# (compared as they are: the serials of this machine's disks are ASCII).
expected=$(engine_serials "$work/disks.json" | sort)
printf '%s\n' "$metrics" >"$work/metrics"
served=$(engine_info_serials "$work/metrics" | sort)
if [[ $expected != "$served" ]]; then
  echo "FAIL: node_exporter's hdsn_disk_info differs from the program's disks"
  diff <(echo "$expected") <(echo "$served") || true
  status=1
fi
echo "disks: $(jq '.disks | length' "$work/disks.json"), each in hdsn_disk_info with its serial"
exit $status
