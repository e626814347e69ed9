#!/usr/bin/env bash
# Fuzzes one target for a bounded time, starting from its seed corpus. New
# inputs go to a work folder, never into the repository's seeds. A crash
# fails the test and leaves the crashing input in the work folder, shown here
# in hex as well.
set -uo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=$4
mkdir -p "$work/corpus" "$work/artifacts"
[[ -d $seeds ]] || mkdir -p "$seeds"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds" 2>"$work/log"
status=$?
grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|Done [0-9]+ runs)' "$work/log" || tail -n 3 "$work/log"
if (( status != 0 )); then
  tail -n 60 "$work/log"
  for artifact in "$work"/artifacts/*; do
    [[ -f $artifact ]] || continue
    echo "crashing input kept at $artifact:"
    od -A x -t x1z -v "$artifact" | head -n 40
  done
fi
exit $status
