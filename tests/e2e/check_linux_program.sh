#!/usr/bin/env bash
# Checks the Linux hdsn-disks: it links the protocol, the disks core, the
# Linux room and the Linux platform only. So it holds none of hdsn.exe's
# report texts, no Windows device path (narrow or UTF-16) and no WMI class,
# and, where its symbols were kept, no function of hdsn.exe's rooms, of
# Windows' device I/O and WMI, or of the Windows disks room.
set -euo pipefail
program=$1 nm=${2:-}

status=0
refuse() { echo "$program: $1"; status=1; }

for text in "Your master hard disk serial number" "hdd serial retrieves with method" \
            "PhysicalDrive" "Win32_DiskDrive" "ROOT\\CIMV2"; do
  if LC_ALL=C grep -aqF -- "$text" "$program"; then refuse "holds \"$text\""; fi
done
# The device path templates are UTF-16.
if LC_ALL=C grep -aqP 'P\x00h\x00y\x00s\x00i\x00c\x00a\x00l\x00D\x00r\x00i\x00v\x00e\x00' \
    "$program"; then
  refuse "holds \"PhysicalDrive\" in UTF-16"
fi

symbols=""
if [[ -n $nm ]]; then symbols=$("$nm" -C "$program" 2>/dev/null || true); fi
if [[ -n $symbols ]]; then
  for name in "hdsn::HardDriveInfo::" "hdsn::RunProgram(" "hdsn::OpenIndexedDevice(" \
              "hdsn::WmiSession::" "hdsn::QueryWmiSerial(" "hdsn::AskDevice(" \
              "hdsn::ListDisks(hdsn::Platform const&)" "hdsn::ReadSystemVolume("; do
    if grep -qF -- "$name" <<<"$symbols"; then refuse "links $name"; fi
  done
  kept="symbols checked"
else
  kept="no symbols to check"
fi
if (( status == 0 )); then
  echo "$program: no text of hdsn.exe or Windows, $kept, $(stat -c %s "$program") bytes"
fi
exit $status
