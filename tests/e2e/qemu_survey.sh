#!/usr/bin/env bash
# Boots Debian's kernel in QEMU with one emulated disk of each kind and dumps
# what the kernel publishes about them: the sysfs paths and attributes, the
# ATA IDENTIFY copies, the NVMe and USB attributes, /dev and mountinfo.
#   qemu_survey.sh OUT_DIR [CACHE_DIR]
# Writes OUT_DIR/dump.txt (the guest's output) and OUT_DIR/console.txt.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/qemu_lib.sh"
out=$(mkdir -p "$1" && cd "$1" && pwd)
cache=${2:-$out/cache}
qemu_can_run
qemu_fetch_kernel "$cache"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
qemu_stage_base "$work/root"
# A program of one's own that sends the pass-through requests (optional).
[[ -n ${SURVEY_PROBE:-} ]] && cp "$SURVEY_PROBE" "$work/root/bin/probe"
{
  qemu_init_head 9
  cat <<'EOF'
dump() {
  echo "### $1"
  if [ -f "$1" ]; then
    case "$1" in
      *vpd_pg8*|*/id) od -An -tx1 "$1" ;;
      *) cat "$1" | od -c | head -20 ;;
    esac
  else
    echo "(missing)"
  fi
}
{
echo "=== uname"; cat /proc/version
echo "=== /sys/block"; ls -l /sys/block
for b in /sys/block/*; do
  x=${b##*/}
  echo
  echo "======== $x"
  echo "block: $(readlink -f $b)"
  echo "device: $(readlink -f $b/device 2>/dev/null)"
  echo "device/subsystem: $(readlink -f $b/device/subsystem 2>/dev/null)"
  echo "device/driver: $(readlink -f $b/device/driver 2>/dev/null)"
  echo "ls block:"; ls $b
  echo "ls device:"; ls $b/device 2>/dev/null
  for f in dev removable size serial ro capability; do dump $b/$f; done
  for f in vendor model rev serial vpd_pg80 vpd_pg83 vpd_pg0 type wwid firmware_rev scsi_level inquiry; do
    dump $b/device/$f
  done
  # Walk up the device path: every ancestor's serial/product/manufacturer.
  d=$(readlink -f $b/device 2>/dev/null)
  while [ -n "$d" ] && [ "$d" != "/sys/devices" ] && [ "$d" != "/" ]; do
    for f in serial product manufacturer idVendor idProduct model firmware_rev vendor subsystem_vendor; do
      [ -f $d/$f ] && echo "ancestor $d/$f: $(cat $d/$f 2>/dev/null | tr -d '\n')"
    done
    [ -e $d/subsystem ] && echo "ancestor $d subsystem: $(readlink -f $d/subsystem)"
    d=${d%/*}
  done
done
echo
echo "=== ata"
ls -l /sys/class/ata_device /sys/class/ata_link /sys/class/ata_port 2>&1
for a in /sys/class/ata_device/*; do
  echo "######## $a -> $(readlink -f $a)"
  ls $a
  for f in class dma_mode pio_mode xfer_mode spdn_cnt ering; do [ -f $a/$f ] && echo "$f: $(cat $a/$f | head -3)"; done
  echo "id (text):"; cat $a/id 2>&1
  echo "gscr:"; cat $a/gscr 2>&1 | head -3
done
for a in /sys/class/ata_port/* /sys/class/ata_link/*; do
  echo "######## $a -> $(readlink -f $a)"; ls $a
  for f in $a/sata_spd $a/hw_sata_spd_limit $a/port_no $a/nr_pmp_links; do
    [ -f $f ] && echo "${f##*/}: $(cat $f)"
  done
done
for h in /sys/class/scsi_host/*; do
  echo "$h -> $(readlink -f $h) proc_name: $(cat $h/proc_name)"
done
echo
echo "=== nvme"
ls -l /sys/class/nvme /sys/class/nvme-subsystem 2>&1
for n in /sys/class/nvme/*; do
  echo "######## $n -> $(readlink -f $n)"
  ls $n
  for f in serial model firmware_rev dev subsysnqn transport cntlid address state; do
    echo "$f: [$(cat $n/$f 2>&1)]"
  done
done
echo
echo "=== scsi_generic"; ls -l /sys/class/scsi_generic 2>&1
echo "=== scsi_disk"; ls -l /sys/class/scsi_disk 2>&1
echo "=== dev"; ls -l /dev
echo "=== /run/udev/data"; ls -l /run/udev/data 2>&1
echo "=== mountinfo"; cat /proc/self/mountinfo
echo "=== partitions"; cat /proc/partitions
echo "=== permissions of what a user reads"
for f in /sys/class/ata_device/*/id /sys/block/*/device/vpd_pg80 /sys/class/nvme/*/serial /dev/sd* /dev/nvme* /dev/vd* /dev/sg*; do
  [ -e $f ] && ls -l $f
done
echo "=== as user"
su -s /bin/sh user -c 'id; for f in /sys/class/ata_device/*/id /sys/block/*/device/vpd_pg80 /sys/block/*/serial /sys/class/nvme/*/serial; do [ -e $f ] && { head -c 16 $f >/dev/null 2>&1 && echo "read ok $f" || echo "read FAIL $f"; }; done; for f in /dev/sd? /dev/nvme0 /dev/nvme0n1 /dev/vda /dev/sg0; do [ -e $f ] && { dd if=$f of=/dev/null bs=512 count=1 2>/dev/null && echo "open ok $f" || echo "open FAIL $f"; }; done'
if [ -x /bin/probe ]; then
  nodes=$(ls /dev/sd? /dev/nvme? /dev/vd? /dev/sg* 2>/dev/null)
  echo "=== probe as root"; /bin/probe $nodes
  echo "=== probe as user"; su -s /bin/sh user -c "/bin/probe $(echo $nodes)"
fi
echo "=== dmesg (disks)"
dmesg | grep -Ei 'ata[0-9]|scsi|nvme|usb|sd[a-z]|vd[a-z]|uas' | head -120
echo "=== end"
} >&3 2>&1
EOF
  echo 'poweroff -f'
} >"$work/root/init"
chmod +x "$work/root/init"
qemu_pack "$work/root" "$work/initrd.gz"

args=()
for n in ahci0 ahci1 piix0 nvme0 vscsi0 usbstor0 uas0 vblk0 nvme1; do qemu_blockdev args $n; done
args+=(
  -device ahci,id=ahci
  -device "ide-hd,bus=ahci.0,drive=ahci0,serial=AHCI-SER-0001,model=HDSN AHCI Disk,ver=AH01"
  -device "ide-hd,bus=ahci.1,drive=ahci1,serial= AHCI-SER-0002,model=HDSN AHCI Disk Two,ver=AH02"
  -device "ide-hd,bus=ide.0,unit=0,drive=piix0,serial=PIIX-SER-0001,model=HDSN IDE Disk,ver=ID01"
  -device "nvme,drive=nvme0,serial=NVME-SER-0001"
  -device "nvme,drive=nvme1,serial=NVME-SER-0002"
  -device virtio-scsi-pci,id=vscsi
  -device "scsi-hd,bus=vscsi.0,drive=vscsi0,serial=VSCSI-SER-0001,vendor=HDSNVEND,product=HDSN SCSI Disk,ver=VS01"
  -device qemu-xhci,id=xhci
  -device "usb-storage,bus=xhci.0,drive=usbstor0,serial=USBSTOR-SER-0001"
  -device "usb-uas,bus=xhci.0,id=uas,serial=UASUSB-SER-0001"
  -device "scsi-hd,bus=uas.0,scsi-id=0,lun=0,drive=uas0,serial=UASDISK-SER-0001,vendor=HDSNUAS,product=HDSN UAS Disk,ver=UA01"
  -device "virtio-blk-pci,drive=vblk0,serial=VBLK-SER-0001"
)
printf '%q ' "${args[@]}" >"$out/qemu-args.txt"
start=$(date +%s.%N)
qemu_boot "$work/initrd.gz" "$out/dump.txt" "$out/console.txt" "${args[@]}"
echo "boot to power-off: $(awk "BEGIN{printf \"%.1f\", $(date +%s.%N) - $start}") s, initramfs $(stat -c %s "$work/initrd.gz") bytes" |
  tee "$out/timing.txt"
