#!/usr/bin/env bash
# The proof on a real kernel: boots Debian's kernel in QEMU with emulated
# disks of every kind (qemu_disks.py lists them with their serials), runs the
# static hdsn-disks inside as root and as an unprivileged user, and checks
# every disk it reports against the serial QEMU was given.
#   qemu_disks.sh HDSN_DISKS CACHE_DIR [SCHEMA]
# CACHE_DIR keeps the unpacked kernel between runs. Exits 77 (skipped) with
# the reason where the machine cannot boot the guest.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/qemu_lib.sh"
program=$1 cache=$2 schema=${3:-}
python=/usr/bin/python3
started=$(date +%s%N)

qemu_can_run || exit 77
[[ -x $python ]] || { echo "skipped: $python is missing"; exit 77; }
if [[ -n $schema ]] && ! $python -c 'import jsonschema' 2>/dev/null; then
  echo "$python has no jsonschema module (package python3-jsonschema)" >&2
  exit 1
fi
# The guest has no C library: a program that needs one cannot start there.
if readelf -l "$program" 2>/dev/null | grep -q 'Requesting program interpreter'; then
  echo "$program is linked dynamically: build it with the linux-static preset" >&2
  exit 1
fi
qemu_fetch_kernel "$cache" || exit $?

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
qemu_stage_base "$work/root"
cp "$program" "$work/root/bin/hdsn-disks"
mapfile -t disk_args < <($python "$here/qemu_disks.py" args)
disks=$($python -c 'import sys; sys.path.insert(0, sys.argv[1]); import qemu_disks
print(len(qemu_disks.DISKS))' "$here")
{
  qemu_init_head "$disks"
  cat <<'EOF'
# A hung run must not hold the guest: each has 30 seconds.
timeout 30 /bin/hdsn-disks --json >/tmp/root.json 2>/tmp/root.err
echo $? >/tmp/root.rc
timeout 30 /bin/hdsn-disks >/tmp/table.txt 2>/tmp/table.err
echo $? >/tmp/table.rc
su -s /bin/sh user -c 'id -u >/tmp/user.uid
timeout 30 /bin/hdsn-disks --json >/tmp/user.json 2>/tmp/user.err
echo $? >/tmp/user.rc'
# Root once more with the kernel's copies (IDENTIFY, VPD page, NVMe texts)
# hidden under a sysfs attribute that cannot be read, not even by root: the
# answers then come through the device nodes, SG_IO and the NVMe ioctl.
hidden=0
for f in /sys/class/ata_device/*/id /sys/block/*/device/vpd_pg80 /sys/class/nvme/*/serial; do
  [ -e $f ] && mount -o bind /sys/bus/pci/rescan $f && hidden=$((hidden + 1))
done
echo $hidden >/tmp/hidden.count
timeout 30 /bin/hdsn-disks --json >/tmp/hidden.json 2>/tmp/hidden.err
echo $? >/tmp/hidden.rc
for f in root.json root.err root.rc table.txt table.err table.rc user.uid user.json user.err user.rc \
  hidden.count hidden.json hidden.err hidden.rc; do
  echo "@@file $f"
  cat /tmp/$f 2>/dev/null
  echo
  echo "@@end"
done >&3
EOF
  echo 'poweroff -f'
} >"$work/root/init"
chmod +x "$work/root/init"
qemu_pack "$work/root" "$work/initrd.gz"

boot=$(date +%s%N)
QEMU_TIMEOUT=100 qemu_boot "$work/initrd.gz" "$work/out.txt" "$work/console.txt" \
  "${disk_args[@]}" || echo "QEMU exited with $?" >&2
booted=$(date +%s%N)
# The last run's guest output stays beside the kernel, to be read after a failure.
mkdir -p "$cache/last-run"
cp "$work/out.txt" "$work/console.txt" "$cache/last-run/"
status=0
$python "$here/qemu_disks.py" check "$work/out.txt" $schema || status=1
if ((status)); then
  echo "--- guest console"
  tail -n 40 "$work/console.txt"
  echo "--- the guest's output is in $cache/last-run/out.txt"
fi
printf 'QEMU boot to power-off %.1f s, whole test %.1f s, initramfs %d bytes, hdsn-disks %d bytes\n' \
  "$(((booted - boot) / 1000000))e-3" "$(((booted - started) / 1000000))e-3" \
  "$(stat -c %s "$work/initrd.gz")" "$(stat -c %s "$program")"
exit $status
