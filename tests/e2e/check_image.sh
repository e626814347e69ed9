#!/usr/bin/env bash
# Checks a Windows executable: its image format, its size, and that it needs
# no DLL but the system's own.
set -euo pipefail
exe=$1 format=$2 objdump=$3

headers=$("$objdump" -p "$exe")
if ! grep -q "file format $format" <<<"$headers"; then
  echo "$exe: not a $format image"; exit 1
fi

size=$(stat -c %s "$exe")
limit=$((600 * 1024))
if (( size >= limit )); then
  echo "$exe: $size bytes, the limit is $limit"; exit 1
fi

allowed='^(kernel32|msvcrt|ole32|oleaut32|shlwapi|advapi32|user32|ntdll)\.dll$'
status=0
while read -r dll; do
  lower=${dll,,}
  if ! [[ $lower =~ $allowed ]]; then
    echo "$exe imports $dll, which a clean Windows does not have"; status=1
  fi
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
echo "$exe: $format, $size bytes, imports: $(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr '\n' ' ')"
exit $status
