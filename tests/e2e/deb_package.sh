#!/usr/bin/env bash
# The Debian package: made by CPack in the build folder, checked by lintian,
# installed by dpkg into a scratch root (ROOT, kept for the engines' tests),
# and the installed program run. Its files are the program, the manual page
# (which mandoc checks), the systemd units (which systemd-analyze checks
# against the scratch root), Ansible's fact and, where the build makes it,
# the shared library with its header.
#   deb_package.sh BUILD_DIR ROOT SCHEMA LIBRARY(0|1)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1 root=$2 schema=$3 library=$4

for tool in cpack:cmake lintian:lintian mandoc:mandoc dpkg:dpkg; do
  command -v "${tool%%:*}" >/dev/null ||
    { echo "${tool%%:*} is missing (package ${tool#*:}; scripts/test.sh installs it)" >&2; exit 1; }
done

rm -rf "$build/package" "$root"
(cd "$build" && cpack -G DEB) >"$build/cpack.log" 2>&1 ||
  { cat "$build/cpack.log"; exit 1; }
debs=("$build"/package/hdsn-disks_*.deb)
[[ -f ${debs[0]} && ${#debs[@]} == 1 ]] || { echo "cpack made no single package" >&2; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Architecture\|Depends\|Suggests\):/  &/p'

status=0
fail() { echo "FAIL: $*"; status=1; }

# lintian runs as root with a complaint about that, which is no tag.
report=$(lintian --no-cfg --fail-on none --display-info "$deb" 2>&1 | grep -v 'running with root' || true)
[[ -z $report ]] || printf 'lintian:\n%s\n' "$report"
grep -q '^[EW]: ' <<<"$report" && fail "lintian reports errors or warnings"

# dpkg's own install into an empty root, its database made first. The
# maintainer scripts run here, not in the root (which has no shell), and
# know it by DPKG_ROOT: they leave this machine's systemd alone.
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg --root="$root" --log=/dev/null --force-not-root --force-script-chrootless \
  --no-triggers --force-depends -i "$deb" >/dev/null || fail "dpkg could not install the package"
dpkg-query --admindir="$root/var/lib/dpkg" -W -f '${Status}\n' hdsn-disks 2>/dev/null |
  grep -qx 'install ok installed' || fail "dpkg does not hold the package as installed"

expect=(usr/bin/hdsn-disks usr/share/man/man1/hdsn-disks.1.gz
  lib/systemd/system/hdsn-disks-textfile.service lib/systemd/system/hdsn-disks-textfile.timer
  etc/ansible/facts.d/hdsn_disks.fact usr/share/doc/hdsn-disks/copyright
  usr/share/doc/hdsn-disks/changelog.gz)
for file in "${expect[@]}"; do
  [[ -f $root/$file ]] || fail "the package does not install /$file"
done
[[ -x $root/etc/ansible/facts.d/hdsn_disks.fact ]] || fail "the fact is not executable"
grep -qx /etc/ansible/facts.d/hdsn_disks.fact "$root/var/lib/dpkg/info/hdsn-disks.conffiles" ||
  fail "the fact is not a conffile"
if [[ $library == 1 ]]; then
  compgen -G "$root/usr/lib/*/libhdsn_disks.so.1" >/dev/null ||
    fail "the package does not install libhdsn_disks.so.1"
  [[ -f $root/usr/include/hdsn_disks.h ]] || fail "the package does not install hdsn_disks.h"
fi

# The installed program, as the service runs it: a user, no privilege. The
# user may not reach the build folder (a checkout under /root): it runs a
# copy from a folder of its own.
as_user=() installed=$root/usr/bin/hdsn-disks
if [[ $(id -u) == 0 ]] && command -v setpriv >/dev/null; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  user_dir=$(mktemp -d)
  trap 'rm -rf "$user_dir"' EXIT
  chmod 755 "$user_dir"
  cp "$installed" "$user_dir/"
  installed=$user_dir/hdsn-disks
fi
"${as_user[@]}" "$installed" --json >"$build/installed.json" && code=0 || code=$?
((code <= 1)) || fail "the installed program exits with $code"
/usr/bin/python3 "$here/../validate_json.py" "$schema" "$build/installed.json" >/dev/null ||
  fail "the installed program's document is not valid"
echo "installed program: $(jq '.disks | length' "$build/installed.json") disks, exit status $code"

# The service's two commands as systemd would run them, with its runtime
# folder and node_exporter's in scratch folders: the program as the user,
# then the copy as this script's user. systemd-analyze checks the units'
# syntax, not what their commands do.
unit=$root/lib/systemd/system/hdsn-disks-textfile.service
service=$(mktemp -d)
chmod 755 "$service"
mkdir -p "$service/run/hdsn-disks" "$service/textfile"
[[ ${#as_user[@]} == 0 ]] || chown 65534:65534 "$service/run/hdsn-disks"
command_of() {
  sed -n "s/^$1=!\{0,1\}//p" "$unit" |
    sed -e "s|%t|$service/run|g" -e "s|/var/lib/prometheus/node-exporter|$service/textfile|g" \
      -e "s|^/usr/bin/hdsn-disks|$installed|"
}
eval "${as_user[*]} $(command_of ExecStart)" && code=0 || code=$?
((code <= 1)) || fail "the service's program exits with $code"
eval "$(command_of ExecStartPost)" || fail "the service's copy fails"
if [[ $(ls "$service/textfile") != hdsn_disks.prom ]] ||
  ! grep -q '^hdsn_disk_info{' "$service/textfile/hdsn_disks.prom"; then
  fail "the service leaves no hdsn_disks.prom with hdsn_disk_info in the collector's folder"
fi
rm -rf "$service"

# Cross references are looked up in the machine's manual database, which
# may predate the pages it names: a stale database is not the page's fault.
lint=$(zcat "$root/usr/share/man/man1/hdsn-disks.1.gz" | mandoc -T lint 2>&1 |
  grep -v 'outdated mandoc.db lacks .* entry, run makewhatis' || true)
[[ -z $lint ]] || { printf 'mandoc:\n%s\n' "$lint"; fail "mandoc -T lint reports the manual page"; }

# The units checked against a root that holds the package and what the units
# name of the system: its units (the targets the timer and service need)
# and the shell of the service's last step.
if command -v systemd-analyze >/dev/null; then
  system=$(mktemp -d)
  trap 'rm -rf "$system" "${user_dir:-}"' EXIT
  cp -a "$root/." "$system/"
  mkdir -p "$system/bin"
  cp -an /lib/systemd/system/. "$system/lib/systemd/system/"
  cp /bin/sh "$system/bin/sh"
  verify=$(systemd-analyze verify --root="$system" --man=no \
    "$system/lib/systemd/system/hdsn-disks-textfile.service" \
    "$system/lib/systemd/system/hdsn-disks-textfile.timer" 2>&1) ||
    fail "systemd-analyze verify refuses the units"
  [[ -z $verify ]] || { printf 'systemd-analyze verify:\n%s\n' "$verify"; fail "systemd-analyze verify reports the units"; }
else
  echo "systemd-analyze is missing (package systemd): the units are not verified"
fi

((status == 0)) && echo "the package installs into $root and its program runs"
exit $status
