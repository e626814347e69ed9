#!/usr/bin/env bash
# Times whole runs of hdsn.exe, hdsn-disks.exe --json and Wine's own
# "wmic diskdrive get serialnumber", taken in turn, under one Wine server
# kept running for all of them, and prints each one's median and the ratios.
# A benchmark, not a test: it always exits 0 once the runs are made.
#
# Usage: scripts/bench.sh [runs] [64-bit build dir] [32-bit build dir]
#        scripts/bench.sh linux [runs] [hdsn-disks]
#   linux: the Linux part instead, scripts/bench_linux.sh: hdsn-disks against
#   lsblk on this machine and in QEMU over 8 and 64 emulated disks
#   runs: timed runs of each program (default 15), after one untimed run each
#   build dirs: where hdsn.exe and hdsn-disks.exe are (default build/x86_64
#   and build/i686, as the presets build them); a 32-bit dir without the
#   programs, or a machine without 32-bit Wine, leaves the 32-bit rows out.
#
# 64-bit programs run through Wine's 64-bit loader directly: with wine32
# installed, the wine command starts the 32-bit loader first, which would be
# timed as well.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${1:-} == linux ]]; then
  shift
  exec scripts/bench_linux.sh "$@"
fi
source scripts/wine.sh
runs=${1:-15}
dir64=${2:-build/x86_64}
dir32=${3:-build/i686}

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
wine64=/usr/lib/wine/wine64
[[ -x $wine64 ]] || wine64=$(command -v wine64 || true)
if [[ -z $wine64 ]]; then
  echo "Wine's 64-bit loader is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
for exe in hdsn.exe hdsn-disks.exe; do
  if [[ ! -f $dir64/$exe ]]; then
    echo "$dir64/$exe is missing: cmake --preset x86_64 && cmake --build --preset x86_64" >&2
    exit 1
  fi
done

# name|loader|program and arguments; hdsn.exe reads its key from /dev/null.
programs=(
  "hdsn.exe (64-bit)|$wine64|$dir64/hdsn.exe"
  "hdsn-disks.exe --json (64-bit)|$wine64|$dir64/hdsn-disks.exe --json"
  "wmic diskdrive get serialnumber|$wine64|wmic diskdrive get serialnumber"
  "hdsn-disks.exe --fingerprint (64-bit)|$wine64|$dir64/hdsn-disks.exe --fingerprint"
)
if [[ -f $dir32/hdsn.exe && -f $dir32/hdsn-disks.exe ]] && hdsn_wine32_works; then
  programs+=(
    "hdsn.exe (32-bit)|wine|$dir32/hdsn.exe"
    "hdsn-disks.exe --json (32-bit)|wine|$dir32/hdsn-disks.exe --json"
  )
fi

# One server for every run, kept after its last client is gone; it is
# stopped on the way out.
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT

# Milliseconds of one whole run, start of the loader to its exit.
time_run() {
  local loader=$1
  shift
  local start end
  start=$(date +%s%N)
  "$loader" "$@" </dev/null >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}

declare -A times
for row in "${programs[@]}"; do  # one untimed run each: the server and the caches warm up
  IFS='|' read -r name loader command <<<"$row"
  # shellcheck disable=SC2086 # the command's words are its arguments
  time_run "$loader" $command >/dev/null
done
for ((run = 1; run <= runs; run++)); do
  for row in "${programs[@]}"; do
    IFS='|' read -r name loader command <<<"$row"
    # shellcheck disable=SC2086
    times[$name]+="$(time_run "$loader" $command) "
  done
done

median() { tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -n | awk '{ v[NR] = $1 } END {
  print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A medians
echo "Median of $runs runs each, one warm Wine server ($(wine --version 2>/dev/null || echo Wine)):"
for row in "${programs[@]}"; do
  IFS='|' read -r name _ <<<"$row"
  medians[$name]=$(median "${times[$name]}")
  printf '  %-34s %7s ms\n' "$name" "${medians[$name]}"
done

ratio() { awk -v a="${medians[$1]}" -v b="${medians[$2]}" 'BEGIN { printf "%.2f", a / b }'; }
wmic="wmic diskdrive get serialnumber"
echo "Ratios:"
for bits in 64 32; do
  disks="hdsn-disks.exe --json ($bits-bit)" hdsn="hdsn.exe ($bits-bit)"
  [[ -n ${medians[$disks]:-} ]] || continue
  printf '  hdsn-disks / wmic (%s-bit): %s\n' "$bits" "$(ratio "$disks" "$wmic")"
  printf '  hdsn-disks / hdsn (%s-bit): %s\n' "$bits" "$(ratio "$disks" "$hdsn")"
done
printf '  hdsn-disks --fingerprint / wmic (64-bit): %s\n' \
  "$(ratio "hdsn-disks.exe --fingerprint (64-bit)" "$wmic")"
disks64="hdsn-disks.exe --json (64-bit)"
if awk -v a="${medians[$disks64]}" -v b="${medians[$wmic]}" 'BEGIN { exit !(a <= b) }'; then
  echo "hdsn-disks takes no longer than wmic."
else
  echo "hdsn-disks takes longer than wmic."
fi
