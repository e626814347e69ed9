# Shared by the QEMU runs (qemu_disks.sh, qemu_survey.sh, scripts/bench.sh):
# Debian's own kernel unpacked into a cache, an initramfs of busybox, the
# kernel's disk modules and whatever a run adds, and the QEMU arguments of
# the emulated disks. Sourced, not run.

# The kernel modules a run loads, in the order insmod needs them.
QEMU_MODULES=(ata_piix ahci sd_mod sg nvme virtio_pci virtio_scsi virtio_blk xhci_pci ehci_pci
  usb_storage uas)
# qemu_disks.sh's root on two disks: device-mapper joins them, ext4 mounts the
# ext2 file system made on them.
QEMU_MODULES+=(dm_mod ext4)
# Those of the 32-bit Windows guest (wine32_guest.sh): its ext4 images, the
# build tree it mounts over 9p and the overlays of its prefix. ext4 asks the
# crypto API for crc32c, which nothing loads for it without modprobe.
QEMU_WINE32_MODULES=(virtio_pci virtio_blk crc32c_generic ext4 9p 9pnet_virtio overlay)
# The cache keeps both sets, so both runs share one kernel.
QEMU_KERNEL_MODULES=("${QEMU_MODULES[@]}" "${QEMU_WINE32_MODULES[@]}")

# Returns 77 with the reason on standard error when this machine cannot boot
# the guest: no QEMU, no busybox-static, no kernel package to download.
qemu_can_run() {
  local tool
  for tool in qemu-system-x86_64 cpio depmod modprobe readelf; do
    command -v "$tool" >/dev/null || {
      echo "skipped: $tool is missing (packages qemu-system-x86, cpio, kmod)"
      return 77
    }
  done
  [[ -x /bin/busybox ]] && ! readelf -l /bin/busybox 2>/dev/null | grep -q 'program interpreter' || {
    echo "skipped: /bin/busybox is missing or not static (package busybox-static)"
    return 77
  }
}

# Unpacks Debian's kernel into $1 (a cache kept between runs) and sets
# QEMU_KVER, QEMU_KROOT (the unpacked package) and QEMU_VMLINUZ. The package
# is downloaded only when the cache has no kernel with the modules of
# QEMU_KERNEL_MODULES yet; the other modules are deleted (400 MB of them). Returns
# 77 when it cannot be downloaded.
qemu_fetch_kernel() {
  local cache deb meta keep
  # Without its folder, every path below would name the root's.
  cache=$(mkdir -p "$1" && cd "$1" && pwd) || {
    echo "skipped: cannot make the kernel cache $1"
    return 77
  }
  QEMU_KROOT=$cache/kernel
  if [[ $(cat "$QEMU_KROOT/.modules" 2>/dev/null) != "${QEMU_KERNEL_MODULES[*]}" ]]; then
    # The metapackage names the kernel it stands for; the kernel itself is a
    # plain package of about 70 MB, unpacked without installing it.
    meta=$(apt-cache depends linux-image-amd64 2>/dev/null |
      sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
    if [[ -z $meta ]]; then
      echo "skipped: apt-cache knows no linux-image-amd64 (run apt-get update)"
      return 77
    fi
    rm -f "$cache"/linux-image-*.deb
    if ! (cd "$cache" && apt-get download -q "$meta" >/dev/null 2>"$cache/download.log"); then
      echo "skipped: cannot download $meta: $(grep -v unsandboxed "$cache/download.log" | tail -n 1)"
      return 77
    fi
    deb=$(ls "$cache"/linux-image-*.deb | head -n 1)
    rm -rf "$QEMU_KROOT"
    mkdir -p "$QEMU_KROOT"
    dpkg-deb -x "$deb" "$QEMU_KROOT"
    rm -f "$deb"
    QEMU_KVER=$(ls "$QEMU_KROOT/lib/modules" | head -n 1)
    # The package ships no modules.dep: the dependency order comes from depmod.
    depmod -b "$QEMU_KROOT" "$QEMU_KVER"
    keep=$(modprobe -a -d "$QEMU_KROOT" -S "$QEMU_KVER" --show-depends "${QEMU_KERNEL_MODULES[@]}" |
      awk '{ print $2 }' | sort -u)
    find "$QEMU_KROOT/lib/modules" -name '*.ko*' | grep -vxF -e "$keep" | xargs -r rm -f
    rm -rf "$QEMU_KROOT/usr"
    echo "${QEMU_KERNEL_MODULES[*]}" >"$QEMU_KROOT/.modules"
  fi
  QEMU_KVER=$(ls "$QEMU_KROOT/lib/modules" | head -n 1)
  QEMU_VMLINUZ=$QEMU_KROOT/boot/vmlinuz-$QEMU_KVER
}

# Puts busybox, the modules (and a file listing them in load order), a user
# and the directories init needs into the staging tree $1. The modules are
# the arguments after it, QEMU_MODULES without.
qemu_stage_base() {
  local root=$1 module seen=" "
  shift
  (($#)) || set -- "${QEMU_MODULES[@]}"
  mkdir -p "$root"/{bin,sbin,etc,proc,sys,dev,run,tmp,mods}
  cp /bin/busybox "$root/bin/busybox"
  for applet in sh mount umount insmod ls cat readlink od sleep poweroff su id \
    find sed grep head stat printf echo mkdir stty timeout tr wc date cut sort dd dmesg; do
    ln -sf busybox "$root/bin/$applet"
  done
  : >"$root/mods/order"
  # --show-depends prints a module's dependencies before it; one load each.
  while read -r _ module _; do
    [[ $seen == *" $module "* ]] && continue
    seen+="$module "
    cp "$module" "$root/mods/"
    echo "${module##*/}" >>"$root/mods/order"
  done < <(modprobe -a -d "$QEMU_KROOT" -S "$QEMU_KVER" --show-depends "$@")
  printf 'root:x:0:0:root:/:/bin/sh\nuser:x:1000:1000:user:/tmp:/bin/sh\n' >"$root/etc/passwd"
  printf 'root:x:0:\nuser:x:1000:\n' >"$root/etc/group"
}

# The init script's first lines: file systems, modules, then a wait until
# $1 block devices are there (or 40 seconds passed). Output to the second
# serial port, raw, so that the host reads it byte for byte.
qemu_init_head() {
  cat <<EOF
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
chmod 1777 /tmp
for m in \$(cat /mods/order); do insmod /mods/\$m; done
want=$1
i=0
while [ \$i -lt 400 ]; do
  n=\$(ls -d /sys/block/sd* /sys/block/nvme* /sys/block/vd* 2>/dev/null | wc -l)
  [ \$n -ge \$want ] && break
  sleep 0.1
  i=\$((i + 1))
done
stty -F /dev/ttyS1 raw -echo 2>/dev/null
exec 3>/dev/ttyS1
EOF
}

# Packs the staging tree $1 into the gzip'd newc archive $2.
qemu_pack() {
  (cd "$1" && find . | cpio -o -H newc --quiet) | gzip -1 >"$2"
}

# Boots the kernel with initramfs $1, writing the guest's second serial port
# to $2 and its console to $3; the disks' QEMU arguments follow. Gives up
# after QEMU_TIMEOUT seconds (90).
qemu_boot() {
  local initrd=$1 out=$2 console=$3
  shift 3
  timeout "${QEMU_TIMEOUT:-90}" qemu-system-x86_64 -M pc -accel tcg -m 512 -smp 1 -nodefaults \
    -no-reboot -nographic -kernel "$QEMU_VMLINUZ" -initrd "$initrd" \
    -append "console=ttyS0 panic=-1 quiet loglevel=3 rdinit=/init" \
    -serial "file:$console" -serial "file:$out" -monitor none "$@"
}

# Appends to the array named $1 a zero-filled 64 MiB disk backend named $2.
qemu_blockdev() {
  local -n qemu_blockdev_args=$1
  qemu_blockdev_args+=(-blockdev "driver=null-co,node-name=$2,size=67108864,read-zeroes=on")
}

# Unpacks Debian's packages $2... into $1/debs/root (a cache kept between
# runs) without installing them, and sets QEMU_DEBS to that tree. They are
# downloaded only when the cache holds another list; their documentation,
# manuals and udev's hardware database (10 MB, which no run reads) are
# deleted. Returns 77 when they cannot be downloaded.
qemu_fetch_debs() {
  local cache deb
  cache=$(mkdir -p "$1/debs" && cd "$1/debs" && pwd)
  shift
  QEMU_DEBS=$cache/root
  [[ $(cat "$cache/.packages" 2>/dev/null) == "$*" ]] && return 0
  rm -rf "$cache"/*.deb "$QEMU_DEBS" "$cache/.packages"
  if ! (cd "$cache" && apt-get download -q "$@" >/dev/null 2>"$cache/download.log"); then
    echo "skipped: cannot download $*: $(grep -v unsandboxed "$cache/download.log" | tail -n 1)"
    return 77
  fi
  mkdir -p "$QEMU_DEBS"
  for deb in "$cache"/*.deb; do dpkg-deb -x "$deb" "$QEMU_DEBS"; done
  rm -rf "$cache"/*.deb "$QEMU_DEBS"/usr/share "$QEMU_DEBS"/lib/udev/hwdb.d
  echo "$*" >"$cache/.packages"
}

# Copies the programs $2... (paths on this machine, or in QEMU_DEBS) into the
# staging tree $1 at the paths they have there, with every library they
# load: the unpacked packages' first, then this machine's. Returns 1, naming
# it, when a library is missing.
qemu_stage_programs() {
  local root=$1 debs=${QEMU_DEBS-} file library target libraries
  shift
  libraries=$debs/lib/x86_64-linux-gnu:$debs/usr/lib/x86_64-linux-gnu
  for file in "$@"; do
    if LD_LIBRARY_PATH=$libraries ldd "$file" | grep 'not found'; then
      echo "$file needs a library this machine lacks" >&2
      return 1
    fi
    for library in "$file" $(LD_LIBRARY_PATH=$libraries ldd "$file" | grep -o '/[^ ]*'); do
      target=${library#"$debs"}
      mkdir -p "$root$(dirname "$target")"
      cp -L "$library" "$root$target"
    done
  done
}
