#!/usr/bin/env bash
# 32-bit Windows programs where this machine cannot run them (its kernel
# executes no 32-bit code, or Debian's wine32 is not installed): a QEMU guest
# of Debian's amd64 kernel, whose IA-32 emulation is on, and an all-i386 root
# with Debian's wine32. Both come from Debian's packages, unpacked, never
# installed here. The guest mounts the build tree over 9p at the same path,
# so that Wine's Z: names the same files, and runs each request the host
# drops into the tree, handing back its standard output, standard error and
# exit status.
#
#   wine32_guest.sh start BUILD_DIR QEMU_CACHE   makes the images where missing, boots, waits for Wine
#   wine32_guest.sh stop BUILD_DIR               powers the guest off
#
# Sourced, wine32_guest_run and wine32_guest_wine run commands in it.
# BUILD_DIR/wine32-guest keeps root.img (the i386 root) and prefix.img (a Wine
# prefix made once in the guest), both attached copy-on-write: a run changes
# neither. QEMU_CACHE is the Linux proof's kernel cache (qemu_lib.sh).

WINE32_GUEST_ROOT_MB=1000   # the root's unpacked packages take about 700 MB
WINE32_GUEST_PREFIX_MB=1200 # the prefix about 600 MB
WINE32_GUEST_REQUEST_SECONDS=300
WINE32_GUEST_LIFETIME=3600        # a guest serving a test run; it also stops after 5 idle minutes
WINE32_GUEST_PREFIX_SECONDS=900   # the guest making the prefix

# The guest's folder of the build tree $1.
wine32_guest_dir() { printf '%s/wine32-guest' "$1"; }

# The process id of the guest of folder $1 while it runs: the one recorded,
# if that process is still this guest's (ids are reused).
wine32_guest_pid() {
  local pid cmdline
  pid=$(cat "$1/qemu.pid" 2>/dev/null) && [[ -n $pid ]] &&
    cmdline=$(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline") &&
    [[ $cmdline == *"$1/initrd.gz"* ]] && echo "$pid"
}

# Whether the guest of folder $1 runs and serves.
wine32_guest_alive() { wine32_guest_pid "$1" >/dev/null && [[ -f $1/run/ready ]]; }

# $1 as a single-quoted word of the guest's shell.
wine32_guest_quote() { printf "'%s'" "${1//\'/\'\\\'\'}"; }

# Runs the shell text $2 in the guest of folder $1, standard input at end of
# file: prints what it wrote to standard output and to standard error there,
# byte for byte, and returns its exit status (124 when it ran out of time).
wine32_guest_run() {
  local run=$1/run request status ticks=0
  request=$(mktemp -u -p "$run" request.XXXXXXXX)
  printf '%s\n' "$2" >"$request.tmp" && mv "$request.tmp" "$request.req" || return 1
  until [[ -f $request.rc ]]; do
    if ((ticks % 20 == 0)) && ! wine32_guest_alive "$1"; then
      echo "the 32-bit Windows guest stopped (its console: $1/console.txt)" >&2
      return 1
    fi
    if ((ticks++ > (WINE32_GUEST_REQUEST_SECONDS + 30) * 20)); then
      echo "the 32-bit Windows guest did not answer in $((WINE32_GUEST_REQUEST_SECONDS + 30)) s" >&2
      return 1
    fi
    sleep 0.05
  done
  cat "$request.out"
  cat "$request.err" >&2
  status=$(<"$request.rc")
  rm -f "$request".*
  return "$status"
}

# The guest's Wine with these arguments, in the prefix of the volume serial
# last chosen, the host's current folder (the guest's root where the guest
# does not share it) and with HDSN_JSON_OUT when set:
# wine32_guest_wine DIR ARGUMENTS...
wine32_guest_wine() {
  local dir=$1 script word
  shift
  script="export WINEPREFIX=\$(cat /tmp/prefix)"
  script+=$'\n'"cd $(wine32_guest_quote "$PWD") 2>/dev/null || cd /"
  if [[ -n ${HDSN_JSON_OUT:-} ]]; then
    script+=$'\n'"export HDSN_JSON_OUT=$(wine32_guest_quote "$HDSN_JSON_OUT")"
  fi
  script+=$'\n'"exec wine"
  for word; do script+=" $(wine32_guest_quote "$word")"; done
  wine32_guest_run "$dir" "$script"
}

# The guest's shell text that makes its Wine report C:'s volume serial $1 and
# label $2 (none: Wine's own). Wine reads drive_c/.windows-serial and
# .windows-label when its server starts, and a new server's first program
# takes 10 s or more here: so each pair has a prefix of its own, an overlay of
# the prefix image whose server stays up, and going back to a pair costs
# nothing.
wine32_guest_volume_script() {
  local name
  name=$(printf 'c-%s-%s' "$1" "$2" | tr -c 'A-Za-z0-9_-' '_')
  cat <<EOF
p=/tmp/prefixes/$name layer=/tmp/layers/$name
if [ ! -d \$p ]; then
  mkdir -p \$p \$layer/upper \$layer/work &&
    busybox mount -t overlay overlay \\
      -o lowerdir=/prefix/wine,upperdir=\$layer/upper,workdir=\$layer/work \$p &&
    cd \$p/drive_c && rm -f .windows-serial .windows-label || exit 1
  ${1:+printf '%s\n' $(wine32_guest_quote "$1") >.windows-serial}
  ${2:+printf '%s\n' $(wine32_guest_quote "$2") >.windows-label}
  WINEPREFIX=\$p wineserver -p
fi
echo \$p >/tmp/prefix
EOF
}

# A one-line error naming what apt could not have, from apt's output in $1.
wine32_guest_apt_error() {
  local line name
  line=$(grep -m 1 '^E: ' "$1" || tail -n 1 "$1")
  name=$(sed -n "s/.*Failed to fetch .*\/\([^/_]*\)_[^/]*\.deb .*/\1/p; s/.*[Pp]ackage '\?\([^' ]*\)'\? has no installation candidate.*/\1/p; s/.*Unable to locate package \(.*\)/\1/p" <<<"$line")
  if [[ -n $name ]]; then
    echo "the 32-bit Windows guest: cannot have Debian's package $name:i386 (${line#E: })"
  else
    echo "the 32-bit Windows guest: apt failed for its i386 packages (${line#E: })"
  fi
}

# Makes the guest's root image $1/root.img from Debian 12's main archive for
# i386 alone, through an apt configuration of its own: the host's dpkg and
# its sources are not involved.
wine32_guest_make_root() {
  local dir=$1 apt=$1/apt root=$1/root debs deb in out tool
  rm -rf "$apt" "$root"
  mkdir -p "$apt"/{lists/partial,archives/partial,etc/apt.conf.d,etc/preferences.d,etc/sources.list.d}
  : >"$apt/status"
  echo 'deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main' \
    >"$apt/etc/sources.list"
  cat >"$apt/apt.conf" <<EOF
APT::Architecture "i386";
APT::Architectures { "i386"; };
APT::Install-Recommends "false";
Acquire::Languages "none";
Dir::State "$apt";
Dir::State::Lists "$apt/lists";
Dir::State::status "$apt/status";
Dir::Cache "$apt";
Dir::Cache::archives "$apt/archives";
Dir::Etc "$apt/etc";
Dir::Etc::Parts "$apt/etc/apt.conf.d";
Dir::Etc::PreferencesParts "$apt/etc/preferences.d";
Dir::Etc::SourceParts "$apt/etc/sources.list.d";
Dir::Etc::TrustedParts "/etc/apt/trusted.gpg.d";
EOF
  # wine32 and what it depends on; libz-mingw-w64 holds the zlib1.dll Wine's
  # own DLLs load.
  if ! APT_CONFIG=$apt/apt.conf apt-get update -q >"$apt/log" 2>&1 ||
    ! APT_CONFIG=$apt/apt.conf apt-get install -q -y -d wine32 libz-mingw-w64 >"$apt/log" 2>&1; then
    wine32_guest_apt_error "$apt/log"
    return 1
  fi
  mkdir -p "$root"
  debs=("$apt"/archives/*.deb)
  for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$root" || { echo "cannot unpack $deb"; return 1; }
  done
  echo "root: ${#debs[@]} packages, $(du -sm "$apt/archives" | cut -f1) MB"
  rm -rf "$apt"
  # What the packages' maintainer scripts would have done. libwine's makes
  # Wine's zlib1.dll from MinGW's: without it no program starts ("could not
  # load kernel32.dll").
  in=$root/usr/i686-w64-mingw32/lib/zlib1.dll
  out=$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
  { head -c 64 "$in" && printf 'Wine builtin DLL' && head -c 16 /dev/zero && tail -c +97 "$in"; } >"$out"
  # /bin/sh (Wine's wineserver is a script) and the few tools the guest's
  # scripts use: the host's static busybox, which the amd64 kernel runs.
  mkdir -p "$root"/{bin,proc,sys,dev,tmp,run,root,prefix}
  cp /bin/busybox "$root/bin/busybox"
  for tool in sh cat mv rm mkdir sleep timeout sync poweroff; do
    [[ -e $root/bin/$tool || -e $root/usr/bin/$tool ]] || ln -s busybox "$root/bin/$tool"
  done
  printf 'root:x:0:0:root:/root:/bin/sh\n' >"$root/etc/passwd"
  printf 'root:x:0:\n' >"$root/etc/group"
  rm -rf "$root"/usr/share/{doc,man,locale}
  mkfs.ext4 -q -F -L hdsn-root -d "$root" "$dir/root.img.tmp" "${WINE32_GUEST_ROOT_MB}M" >/dev/null ||
    { echo "mkfs.ext4 could not make the root image"; return 1; }
  rm -rf "$root"
  mv "$dir/root.img.tmp" "$dir/root.img"
}

# The initramfs $1/initrd.gz: busybox and the modules, then the root image,
# the prefix image and the build tree $2 mounted, and the guest's own script
# $1/run/boot.sh run in the root.
wine32_guest_make_initrd() {
  local dir=$1 share=$2 stage=$1/initrd
  rm -rf "$stage"
  qemu_stage_base "$stage" "${QEMU_WINE32_MODULES[@]}"
  ln -s busybox "$stage/bin/chroot"
  ln -s busybox "$stage/bin/sync"
  cat >"$stage/init" <<EOF
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for m in \$(cat /mods/order); do insmod /mods/\$m 2>/dev/null; done
i=0
while [ ! -e /dev/vdb ] && [ \$i -lt 300 ]; do sleep 0.1; i=\$((i + 1)); done
mkdir -p /r
mount -t ext4 /dev/vda /r && mount -t ext4 /dev/vdb /r/prefix || echo "cannot mount the images"
mount -t proc proc /r/proc
mount -t sysfs sysfs /r/sys
mount -t devtmpfs devtmpfs /r/dev
mount -t tmpfs tmpfs /r/tmp
mkdir -p /r/dev/shm /r/dev/pts
mount -t tmpfs tmpfs /r/dev/shm
mount -t devpts devpts /r/dev/pts
# The build tree through the page cache: Wine's server opens files
# non-blocking, and a non-blocking read of 9p without cache returns one
# message (under 512 KB), which Wine takes for the whole section of a larger
# program. Writes there reach the host at the sync after each request. The
# requests' folder has no cache, so that each side sees the other's files.
mkdir -p /r$share
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose build /r$share &&
  mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 run /r$dir/run ||
  echo "cannot mount $share"
chroot /r /bin/sh $dir/run/boot.sh
sync
poweroff -f
EOF
  chmod +x "$stage/init"
  qemu_pack "$stage" "$dir/initrd.gz"
  rm -rf "$stage"
}

# Boots the guest of folder $1 sharing the build tree $2 in the background,
# for $3 seconds at most: the prefix image copy-on-write unless $4 is
# "writable".
wine32_guest_boot() {
  local dir=$1 share=$2 seconds=$3 snapshot=,snapshot=on
  [[ ${4:-} == writable ]] && snapshot=
  wine32_guest_make_initrd "$dir" "$share"
  # setsid and no inherited output: CTest waits for every process holding
  # its pipes, and the guest outlives the test that starts it.
  setsid timeout "$seconds" qemu-system-x86_64 -M pc -accel tcg -m 2048 -smp 1 \
    -nodefaults -no-reboot -nographic -kernel "$QEMU_VMLINUZ" -initrd "$dir/initrd.gz" \
    -append "console=ttyS0 panic=-1 quiet loglevel=3 rdinit=/init" \
    -serial "file:$dir/console.txt" -monitor none \
    -drive "file=$dir/root.img,if=virtio,format=raw,snapshot=on" \
    -drive "file=$dir/prefix.img,if=virtio,format=raw$snapshot" \
    -virtfs "local,path=$share,mount_tag=build,security_model=none" \
    -virtfs "local,path=$dir/run,mount_tag=run,security_model=none" \
    </dev/null >"$dir/qemu.log" 2>&1 9>&- &
  echo $! >"$dir/qemu.pid"
}

# The guest's environment: Wine's commands first, the prefix on its image.
wine32_guest_environment() {
  cat <<'EOF'
export PATH=/usr/lib/wine:/usr/bin:/bin HOME=/root USER=root WINEPREFIX=/prefix/wine
export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml='
EOF
}

# Makes the prefix image in a guest of its own, booted with it writable.
wine32_guest_make_prefix() {
  local dir=$1 share=$2 pid
  rm -f "$dir/prefix.img"
  truncate -s "${WINE32_GUEST_PREFIX_MB}M" "$dir/prefix.img"
  mkfs.ext4 -q -F -L hdsn-prefix "$dir/prefix.img" || return 1
  rm -rf "$dir/run" && mkdir -p "$dir/run"
  {
    wine32_guest_environment
    echo "timeout 600 wine wineboot --init && wineserver -w && [ -f /prefix/wine/system.reg ]"
    echo "echo \$? >$dir/run/prefix.status"
  } >"$dir/run/boot.sh"
  wine32_guest_boot "$dir" "$share" "$WINE32_GUEST_PREFIX_SECONDS" writable
  pid=$(<"$dir/qemu.pid")
  wait "$pid"
  if [[ $(cat "$dir/run/prefix.status" 2>/dev/null) != 0 ]]; then
    echo "the 32-bit Windows guest could not make its Wine prefix; its console:"
    tail -n 20 "$dir/console.txt"
    rm -f "$dir/prefix.img"
    return 1
  fi
}

# Boots the guest to serve requests: the Wine server kept alive, and Wine's
# services started by a first program, which takes the longest.
wine32_guest_serve() {
  local dir=$1 share=$2 ticks=0 run=$1/run pid
  rm -rf "$run" && mkdir -p "$run"
  {
    wine32_guest_environment
    cat <<EOF
run=$run
$(wine32_guest_volume_script "" "")
export WINEPREFIX=\$(cat /tmp/prefix)
timeout 120 wine cmd /c exit 0 >/dev/null 2>&1
echo \$? >\$run/ready.tmp
mv \$run/ready.tmp \$run/ready
# Requests one at a time, as the host wrote them; the guest powers off when
# told to, or after five idle minutes should the host be gone.
idle=0
while [ ! -e \$run/poweroff ] && [ \$idle -lt 3000 ]; do
  for request in \$run/*.req; do
    [ -e "\$request" ] || continue
    name=\${request%.req}
    mv "\$request" "\$name.sh"
    timeout $WINE32_GUEST_REQUEST_SECONDS sh "\$name.sh" </dev/null >"\$name.out" 2>"\$name.err"
    echo \$? >"\$name.tmp"
    sync
    mv "\$name.tmp" "\$name.rc"
    idle=0
  done
  sleep 0.1
  idle=\$((idle + 1))
done
for p in /tmp/prefixes/*; do WINEPREFIX=\$p wineserver -k; done
EOF
  } >"$run/boot.sh"
  wine32_guest_boot "$dir" "$share" "$WINE32_GUEST_LIFETIME"
  # Our own child, whose id no other process takes while it is not waited
  # for; its command line is QEMU's only once it has been executed.
  pid=$(<"$dir/qemu.pid")
  until [[ -f $run/ready ]]; do
    if ! kill -0 "$pid" 2>/dev/null || ((ticks++ > 240 * 10)); then
      echo "the 32-bit Windows guest did not start; its console:"
      tail -n 20 "$dir/console.txt"
      wine32_guest_stop "$dir"
      return 1
    fi
    sleep 0.1
  done
  if [[ $(<"$run/ready") != 0 ]]; then
    echo "Wine did not start a program in the 32-bit Windows guest (status $(<"$run/ready"))"
    wine32_guest_stop "$dir"
    return 1
  fi
}

# Powers the guest of folder $1 off: asks it, then ends its QEMU.
wine32_guest_stop() {
  local dir=$1 pid ticks=0
  pid=$(wine32_guest_pid "$dir") || { rm -f "$dir/qemu.pid"; return 0; }
  touch "$dir/run/poweroff" 2>/dev/null
  while wine32_guest_pid "$dir" >/dev/null && ((ticks++ < 300)); do sleep 0.1; done
  if wine32_guest_pid "$dir" >/dev/null; then kill "$pid"; fi
  rm -f "$dir/qemu.pid"
}

# start: the images, made where missing or made by another version of this
# script, then the guest, booted and serving.
wine32_guest_start() {
  local build=$1 dir started now stamp missing tool
  dir=$(wine32_guest_dir "$build")
  started=$(date +%s)
  # What the Linux proof skips without is a failure here: the 32-bit tests
  # have no other place to run.
  if ! missing=$(qemu_can_run); then
    echo "the 32-bit Windows guest: ${missing#skipped: }"
    return 1
  fi
  for tool in mkfs.ext4 apt-get dpkg-deb; do
    command -v "$tool" >/dev/null ||
      { echo "the 32-bit Windows guest needs $tool (scripts/install-deps.sh installs it)"; return 1; }
  done
  mkdir -p "$dir"
  exec 9>"$dir/lock"
  flock 9
  wine32_guest_alive "$dir" && wine32_guest_stop "$dir"
  if ! qemu_fetch_kernel "$2" >"$dir/kernel.log"; then
    echo "the 32-bit Windows guest: $(sed 's/^skipped: //' "$dir/kernel.log")"
    return 1
  fi
  stamp=$(declare -f wine32_guest_make_root wine32_guest_environment | sha256sum | cut -c 1-16)
  if [[ ! -f $dir/root.img || $(cat "$dir/root.stamp" 2>/dev/null) != "$stamp" ]]; then
    rm -f "$dir/root.img" "$dir/prefix.img"
    wine32_guest_make_root "$dir" || return 1
    echo "$stamp" >"$dir/root.stamp"
    now=$(date +%s)
    echo "root image made in $((now - started)) s"
  fi
  if [[ ! -f $dir/prefix.img ]]; then
    now=$(date +%s)
    wine32_guest_make_prefix "$dir" "$build" || return 1
    echo "prefix image made in $(($(date +%s) - now)) s"
  fi
  now=$(date +%s)
  wine32_guest_serve "$dir" "$build" || return 1
  echo "guest booted and Wine started in $(($(date +%s) - now)) s (all: $(($(date +%s) - started)) s)"
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -uo pipefail
  source "$(dirname "$0")/qemu_lib.sh"
  case ${1:-} in
    start) wine32_guest_start "$(cd "$2" && pwd)" "$3" ;;
    stop) wine32_guest_stop "$(wine32_guest_dir "$2")" ;;
    *) echo "usage: wine32_guest.sh start BUILD_DIR QEMU_CACHE | stop BUILD_DIR" >&2; exit 2 ;;
  esac
fi
