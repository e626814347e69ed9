#!/usr/bin/env bash
# The proof on a real kernel: boots Debian's kernel in QEMU with emulated
# disks of every kind (qemu_disks.py lists them with their serials), runs the
# static hdsn-disks inside as root and as an unprivileged user, from the
# initramfs and again from a root on two of the disks with Debian's udev
# running, and checks every disk it reports against the serial and the
# identity (world wide name, NVMe namespace identifiers, size, sector sizes,
# rotation) QEMU was given.
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
lsblk=$(command -v lsblk) || { echo "skipped: lsblk is missing (package util-linux)"; exit 77; }
qemu_fetch_kernel "$cache" || exit $?
# udev and dmsetup are unpacked, not installed: the guest runs them.
qemu_fetch_debs "$cache" udev dmsetup libdevmapper1.02.1 || exit $?

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
qemu_stage_base "$work/root"
cp "$program" "$work/root/bin/hdsn-disks"
qemu_stage_programs "$work/root" "$QEMU_DEBS/bin/udevadm" "$QEMU_DEBS/lib/udev/ata_id" \
  "$QEMU_DEBS/lib/udev/scsi_id" "$QEMU_DEBS/sbin/dmsetup" "$lsblk"
cp -r "$QEMU_DEBS/lib/udev/rules.d" "$work/root/lib/udev/"
mkdir -p "$work/root/lib/systemd"
ln -s /bin/udevadm "$work/root/lib/systemd/systemd-udevd"
for applet in mke2fs switch_root cp; do ln -sf busybox "$work/root/bin/$applet"; done
mapfile -t disk_args < <($python "$here/qemu_disks.py" args "$work")
# The block devices to wait for: one a disk, and the hidden paths of multipath.
disks=$($python -c 'import sys; sys.path.insert(0, sys.argv[1]); import qemu_disks
print(sum(1 + d.get("paths", 0) for d in qemu_disks.DISKS))' "$here")
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
# The paths of NVMe multipath, which the kernel hides.
for d in /sys/block/nvme*c*; do [ -e $d ] && echo "${d##*/} $(cat $d/hidden)"; done >/tmp/hidden-paths
for f in root.json root.err root.rc table.txt table.err table.rc user.uid user.json user.err user.rc \
  hidden.count hidden.json hidden.err hidden.rc hidden-paths; do
  echo "@@file $f"
  cat /tmp/$f 2>/dev/null
  echo
  echo "@@end"
done >&3
# Root once more with the kernel's copies of the identity's SCSI pages (the
# device identification and block device characteristics pages, the wwid
# chosen from the first) hidden as well: INQUIRY through SG_IO answers.
ids=0
for f in /sys/block/*/device/vpd_pg83 /sys/block/*/device/vpd_pgb1 /sys/block/*/device/wwid; do
  [ -e $f ] && mount -o bind /sys/bus/pci/rescan $f && ids=$((ids + 1))
done
echo $ids >/tmp/hidden-ids.count
timeout 30 /bin/hdsn-disks --json >/tmp/hidden-ids.json 2>/tmp/hidden-ids.err
echo $? >/tmp/hidden-ids.rc
for f in /sys/block/*/device/vpd_pg83 /sys/block/*/device/vpd_pgb1 /sys/block/*/device/wwid; do
  umount $f 2>/dev/null
done
for f in hidden-ids.count hidden-ids.json hidden-ids.err hidden-ids.rc; do
  echo "@@file $f"
  cat /tmp/$f 2>/dev/null
  echo
  echo "@@end"
done >&3
# The fingerprint with "/" on the initramfs: no disk holds the system.
timeout 30 /bin/hdsn-disks --fingerprint >/tmp/fp-initramfs.out 2>/tmp/fp-initramfs.err
echo $? >/tmp/fp-initramfs.rc
for f in fp-initramfs.out fp-initramfs.err fp-initramfs.rc; do
  echo "@@file $f"
  cat /tmp/$f 2>/dev/null
  echo
  echo "@@end"
done >&3
# A root on two disks, the only two of 48 MiB, made as a system's initramfs
# makes it, udev running: device-mapper joins them, an ext2 file system on
# them, this initramfs copied there; udev's database goes along with /run
# into the root switched to.
/lib/systemd/systemd-udevd --daemon --resolve-names=never >/tmp/dmsetup.log 2>&1
set -- $(for d in /sys/block/*; do [ "$(cat $d/size)" = 98304 ] && echo ${d##*/}; done)
printf '0 98304 linear /dev/%s 0\n98304 98304 linear /dev/%s 0\n' "$1" "$2" |
  timeout 20 dmsetup create hdsnroot >>/tmp/dmsetup.log 2>&1
mke2fs -q /dev/dm-0 >>/tmp/dmsetup.log 2>&1
udevadm settle --timeout=20 >>/tmp/dmsetup.log 2>&1
udevadm control --exit >>/tmp/dmsetup.log 2>&1
mkdir /newroot
if mount -t ext2 /dev/dm-0 /newroot >>/tmp/dmsetup.log 2>&1; then
  cp -a /bin /sbin /lib /lib64 /usr /etc /init2 /newroot/
  mkdir /newroot/proc /newroot/sys /newroot/dev /newroot/run /newroot/tmp
  mount --move /run /newroot/run
  exec switch_root /newroot /init2
fi
{ echo "@@file switch.log"; cat /tmp/dmsetup.log; echo; echo "@@end"; } >&3
EOF
  echo 'poweroff -f'
} >"$work/root/init"
chmod +x "$work/root/init"
# The switched root: udev started as a system starts it, then hdsn-disks and
# lsblk.
cat >"$work/root/init2" <<'EOF'
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
chmod 1777 /tmp
exec 3>/dev/ttyS1
/lib/systemd/systemd-udevd --daemon --resolve-names=never >/tmp/udevd.log 2>&1
udevadm trigger --type=subsystems --action=add
udevadm trigger --type=devices --action=add
udevadm settle --timeout=30 >>/tmp/udevd.log 2>&1
timeout 30 /bin/hdsn-disks --json >/tmp/udev-root.json 2>/tmp/udev-root.err
echo $? >/tmp/udev-root.rc
su -s /bin/sh user -c 'id -u >/tmp/udev-user.uid
timeout 30 /bin/hdsn-disks --json >/tmp/udev-user.json 2>/tmp/udev-user.err
echo $? >/tmp/udev-user.rc'
timeout 30 lsblk -J -o NAME,SERIAL,MODEL,REV,TRAN >/tmp/lsblk.json 2>&1
for f in udevd.log udev-root.json udev-root.err udev-root.rc udev-user.uid udev-user.json \
  udev-user.err udev-user.rc lsblk.json; do
  echo "@@file $f"
  cat /tmp/$f 2>/dev/null
  echo
  echo "@@end"
done >&3
# lsblk's world wide names and sizes in bytes, beside hdsn-disks's.
timeout 30 lsblk -b -J -o NAME,WWN,SIZE >/tmp/lsblk-ids.json 2>&1
{ echo "@@file lsblk-ids.json"; cat /tmp/lsblk-ids.json; echo; echo "@@end"; } >&3
# The fingerprint of the root on two disks, as root, as a user and as a
# document, keyed by the test's salt.
timeout 30 /bin/hdsn-disks --fingerprint --salt hdsn-qemu >/tmp/fp-root.out 2>/tmp/fp-root.err
echo $? >/tmp/fp-root.rc
su -s /bin/sh user -c 'timeout 30 /bin/hdsn-disks --fingerprint --salt hdsn-qemu \
  >/tmp/fp-user.out 2>/tmp/fp-user.err
echo $? >/tmp/fp-user.rc'
timeout 30 /bin/hdsn-disks --fingerprint --json --salt hdsn-qemu >/tmp/fp-json.out \
  2>/tmp/fp-json.err
echo $? >/tmp/fp-json.rc
for f in fp-root.out fp-root.err fp-root.rc fp-user.out fp-user.err fp-user.rc fp-json.out \
  fp-json.err fp-json.rc; do
  echo "@@file $f"
  cat /tmp/$f 2>/dev/null
  echo
  echo "@@end"
done >&3
poweroff -f
EOF
chmod +x "$work/root/init2"
qemu_pack "$work/root" "$work/initrd.gz"

boot=$(date +%s%N)
QEMU_TIMEOUT=100 qemu_boot "$work/initrd.gz" "$work/out.txt" "$work/console.txt" \
  "${disk_args[@]}" || echo "QEMU exited with $?" >&2
booted=$(date +%s%N)
# The last run's guest output stays beside the kernel, to be read after a failure.
mkdir -p "$cache/last-run"
cp "$work/out.txt" "$work/console.txt" "$cache/last-run/"
status=0
$python "$here/qemu_disks.py" check "$work/out.txt" "$work" $schema || status=1
if ((status)); then
  echo "--- guest console"
  tail -n 40 "$work/console.txt"
  echo "--- the guest's output is in $cache/last-run/out.txt"
fi
printf 'QEMU boot to power-off %.1f s, whole test %.1f s, initramfs %d bytes, hdsn-disks %d bytes\n' \
  "$(((booted - boot) / 1000000))e-3" "$(((booted - started) / 1000000))e-3" \
  "$(stat -c %s "$work/initrd.gz")" "$(stat -c %s "$program")"
exit $status
