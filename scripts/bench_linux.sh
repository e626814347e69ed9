#!/usr/bin/env bash
# The Linux part of scripts/bench.sh: whole runs of `hdsn-disks --json` and
# `lsblk -J -o NAME,SERIAL,WWN,SIZE,MODEL,REV,TRAN`, alternated, on this
# machine's own disks and in QEMU (Debian's kernel, as the QEMU test boots
# it) over 1, 8 and 64 emulated disks; prints each median, the ratio and the
# cost per disk. A benchmark, not a test.
#
# Usage: scripts/bench.sh linux [runs] [hdsn-disks]
#   runs: timed runs of each program (default 15), after one untimed run each
#   hdsn-disks: the statically linked program (default build/linux-static/
#   hdsn-disks, as `cmake --workflow --preset linux-static` builds it)
# HDSN_BENCH_DISKS: the guest's disk counts (default "1 8 64"); empty: host only.
#
# The guest's one disk is a virtio-blk disk, as a small virtual server has;
# more are a mix, per 8 disks: 4 scsi-hd on virtio-scsi, 3 SATA disks on
# AHCI, 1 NVMe. The guest times its runs with the kernel's
# monotonic clock as /proc/timer_list shows it, read by the shell without
# starting a process, so both programs carry the same small overhead.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/e2e/qemu_lib.sh
runs=${1:-15}
program=${2:-build/linux-static/hdsn-disks}
counts=${HDSN_BENCH_DISKS-1 8 64}
lsblk_args=(-J -o NAME,SERIAL,WWN,SIZE,MODEL,REV,TRAN)
lsblk=$(command -v lsblk) || { echo "lsblk is missing (package util-linux)" >&2; exit 1; }
if [[ ! -x $program ]]; then
  echo "$program is missing: cmake --workflow --preset linux-static" >&2
  exit 1
fi

median() { sort -n | awk '{ v[NR] = $1 } END {
  print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Prints the medians of "hdsn <µs>" and "lsblk <µs>" lines read from $1, for
# $2 disks, with the ratio and the cost per disk; keeps the medians of the
# last guest in last_hdsn, last_lsblk and last_n.
report() {
  local hdsn lsblk_median
  hdsn=$(awk '$1 == "hdsn" { print $2 }' "$1" | median)
  lsblk_median=$(awk '$1 == "lsblk" { print $2 }' "$1" | median)
  last_hdsn=$hdsn last_lsblk=$lsblk_median last_n=$2
  awk -v h="$hdsn" -v l="$lsblk_median" -v n="$2" -v where="$3" 'BEGIN {
    printf "  %-52s hdsn-disks %8.1f ms  lsblk %8.1f ms  ratio %.2f  per disk: hdsn-disks %.2f ms, lsblk %.2f ms\n",
      where, h / 1000, l / 1000, h / l, h / 1000 / n, l / 1000 / n }'
}

echo "Median of $runs runs each, alternated; hdsn-disks $(stat -c %s "$program") bytes;" \
  "load average $(cut -d ' ' -f 1-3 /proc/loadavg) on $(nproc) cores"

# This machine: its own disks, as whoever runs the bench.
host_times=$(mktemp)
trap 'rm -f "$host_times"' EXIT
"$program" --json >/dev/null 2>&1 || true
"$lsblk" "${lsblk_args[@]}" >/dev/null 2>&1 || true
# EPOCHREALTIME (seconds.microseconds) is read without starting a process.
for ((run = 1; run <= runs; run++)); do
  start=${EPOCHREALTIME/[.,]/}
  "$program" --json >/dev/null 2>&1 || true
  middle=${EPOCHREALTIME/[.,]/}
  "$lsblk" "${lsblk_args[@]}" >/dev/null 2>&1 || true
  end=${EPOCHREALTIME/[.,]/}
  echo "hdsn $((10#$middle - 10#$start))" >>"$host_times"
  echo "lsblk $((10#$end - 10#$middle))" >>"$host_times"
done
host_disks=$("$program" --json 2>/dev/null | grep -o '"device": "/dev/[^"]*"' | wc -l)
report "$host_times" "$((host_disks > 0 ? host_disks : 1))" "this machine ($host_disks disks)"
last_n=
# The fingerprint against the same lsblk: the inventory and an HMAC or two.
fp_times=$(mktemp)
trap 'rm -f "$host_times" "$fp_times"' EXIT
for ((run = 1; run <= runs; run++)); do
  start=${EPOCHREALTIME/[.,]/}
  "$program" --fingerprint >/dev/null 2>&1 || true
  middle=${EPOCHREALTIME/[.,]/}
  "$lsblk" "${lsblk_args[@]}" >/dev/null 2>&1 || true
  end=${EPOCHREALTIME/[.,]/}
  echo "hdsn $((10#$middle - 10#$start))" >>"$fp_times"
  echo "lsblk $((10#$end - 10#$middle))" >>"$fp_times"
done
report "$fp_times" "$((host_disks > 0 ? host_disks : 1))" "this machine, hdsn-disks --fingerprint"
last_n=

[[ -n $counts ]] || exit 0
if ! qemu_can_run >/dev/null || ! qemu_fetch_kernel build/qemu-cache >/dev/null; then
  echo "  no guest runs: $(qemu_can_run; qemu_fetch_kernel build/qemu-cache)"
  exit 0
fi

# Appends the QEMU arguments of $2 disks to the array named $1.
disk_mix() {
  local -n mix=$1
  local n=$2 scsi=$(($2 / 2)) nvme=$(($2 / 8)) ata i
  if ((n == 1)); then
    qemu_blockdev mix d0
    mix+=(-device virtio-blk-pci,drive=d0,serial=BENCH-VBLK-0)
    return
  fi
  ata=$((n - scsi - nvme))
  mix+=(-device virtio-scsi-pci,id=vscsi)
  for ((i = 0; i < (ata + 5) / 6; i++)); do mix+=(-device "ahci,id=ahci$i"); done
  for ((i = 0; i < n; i++)); do qemu_blockdev mix "d$i"; done
  for ((i = 0; i < scsi; i++)); do
    mix+=(-device "scsi-hd,bus=vscsi.0,scsi-id=$i,lun=0,drive=d$i,serial=BENCH-SCSI-$i")
  done
  for ((i = 0; i < ata; i++)); do
    mix+=(-device "ide-hd,bus=ahci$((i / 6)).$((i % 6)),drive=d$((scsi + i)),serial=BENCH-ATA-$i")
  done
  for ((i = 0; i < nvme; i++)); do
    mix+=(-device "nvme,drive=d$((scsi + ata + i)),serial=BENCH-NVME-$i")
  done
}

work=$(mktemp -d)
trap 'rm -rf "$work" "$host_times"' EXIT
qemu_stage_base "$work/root"
cp "$program" "$work/root/bin/hdsn-disks"
# lsblk is linked dynamically: it goes in with its libraries and loader.
qemu_stage_programs "$work/root" "$lsblk"
ln -sf "$lsblk" "$work/root/bin/lsblk"
for n in $counts; do
  {
    qemu_init_head "$n"
    cat <<EOF
now() { { read -r _; read -r _; read -r _ _ t _; } </proc/timer_list; }
echo "count kernel \$(ls -d /sys/block/sd* /sys/block/nvme* /sys/block/vd* 2>/dev/null | wc -l)" >&3
echo "count hdsn-disks \$(/bin/hdsn-disks --json 2>/dev/null | grep -c '"device": ')" >&3
echo "count lsblk \$(/bin/lsblk -J -o NAME 2>/dev/null | grep -c '"name": ')" >&3
i=0
while [ \$i -le $runs ]; do
  now; a=\$t; /bin/hdsn-disks --json >/dev/null 2>&1; now; echo "hdsn \$(((t - a) / 1000))" >&3
  now; a=\$t; /bin/lsblk ${lsblk_args[*]} >/dev/null 2>&1; now; echo "lsblk \$(((t - a) / 1000))" >&3
  i=\$((i + 1))
done
poweroff -f
EOF
  } >"$work/root/init"
  chmod +x "$work/root/init"
  qemu_pack "$work/root" "$work/initrd.gz"
  args=()
  disk_mix args "$n"
  QEMU_TIMEOUT=600 qemu_boot "$work/initrd.gz" "$work/out-$n.txt" "$work/console-$n.txt" "${args[@]}" ||
    true
  if ! grep -q '^lsblk [0-9]' "$work/out-$n.txt"; then
    echo "  guest with $n disks: no timings; its console:"
    tail -n 20 "$work/console-$n.txt"
    continue
  fi
  # The first run of each is untimed: caches warm up.
  grep -E '^(hdsn|lsblk) ' "$work/out-$n.txt" | tail -n +3 >"$work/times-$n.txt"
  previous=${last_n:+$last_n $last_hdsn $last_lsblk}
  report "$work/times-$n.txt" "$n" \
    "QEMU, $n disks (listed: $(grep '^count ' "$work/out-$n.txt" |
      awk '{ printf "%s%s %s", (NR > 1 ? ", " : ""), $2, $3 }'))"
  # What each disk added from the previous guest to this one.
  if [[ -n $previous ]]; then
    read -r n0 h0 l0 <<<"$previous"
    awk -v n0="$n0" -v h0="$h0" -v l0="$l0" -v n="$n" -v h="$last_hdsn" -v l="$last_lsblk" 'BEGIN {
      printf "  each disk from %d to %d disks added: hdsn-disks %.2f ms, lsblk %.2f ms\n",
        n0, n, (h - h0) / 1000 / (n - n0), (l - l0) / 1000 / (n - n0) }'
  fi
done
