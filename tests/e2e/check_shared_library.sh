#!/usr/bin/env bash
# libhdsn_disks.so.1 as other programs meet it: its soname and its exports
# (the two calls, under the soname's version node, and nothing else), the
# calls from C (so_calls.c, linked against it) and from Python's ctypes, each
# giving what hdsn-disks prints on this machine, and the fingerprint made
# again from hdsn-disks --json by the README's rule (fingerprint_of.py).
# Usage: check_shared_library.sh libhdsn_disks.so.1 so_calls hdsn-disks
set -uo pipefail
library=$1 caller=$2 program=$3
here=$(dirname "$0")
fail=0
check() {  # check <description> <command...>: the command must succeed
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    fail=1
  fi
}

soname=$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
check "the soname is libhdsn_disks.so.1 (got '$soname')" test "$soname" = libhdsn_disks.so.1
exports=$(nm -D --defined-only "$library" | awk '$2 != "A" {print $3}' | sort | tr '\n' ' ')
check "it exports the two calls alone, versioned (got '$exports')" \
  test "$exports" = "hdsn_disks_fingerprint@@HDSN_DISKS_1 hdsn_disks_json@@HDSN_DISKS_1 "

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$program" --json >"$work/document.json"
"$caller" --json >"$work/from_c.json"
check "C: hdsn_disks_json gives hdsn-disks --json's document" \
  python3 -c 'import json, sys; sys.exit(json.load(open(sys.argv[1])) != json.load(open(sys.argv[2])))' \
  "$work/document.json" "$work/from_c.json"

for salt in "" "Vendor Ü"; do
  expected=$("$program" --fingerprint --salt "$salt" 2>/dev/null)
  program_status=$?
  rebuilt=$(python3 "$here/fingerprint_of.py" "$work/document.json" "$salt")
  from_c=$("$caller" --fingerprint "$salt")
  c_status=$?
  from_ctypes=$(python3 - "$library" "$salt" <<'PYTHON'
import ctypes, sys
library = ctypes.CDLL(sys.argv[1])
call = library.hdsn_disks_fingerprint
call.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t,
                 ctypes.POINTER(ctypes.c_size_t)]
call.restype = ctypes.c_int
salt = sys.argv[2].encode("utf-8")
needed = ctypes.c_size_t(0)
status = call(salt, None, 0, ctypes.byref(needed))
if status == 4:
    print("no input")
    sys.exit(0)
assert status == 1 and needed.value == 74, (status, needed.value)
buffer = ctypes.create_string_buffer(needed.value)
assert call(salt, buffer, needed.value, None) == 0
print(buffer.value.decode("ascii"))
PYTHON
)
  label="salt '$salt'"
  if ((program_status == 1)); then
    echo "this machine has no system disk that counts: the calls must say so"
    check "$label: the rule gives no value either" test -z "$rebuilt"
    check "$label: C: the call returns 4 (got $c_status)" test "$c_status" = 4
    check "$label: ctypes: the call returns 4 (got '$from_ctypes')" test "$from_ctypes" = "no input"
  else
    check "$label: hdsn-disks prints a value (got '$expected')" \
      grep -Eqx 'hdsn-fp1:[0-9a-f]{64}' <<<"$expected"
    check "$label: the README's rule in Python gives it (got '$rebuilt')" \
      test "$rebuilt" = "$expected"
    check "$label: C: hdsn_disks_fingerprint gives it (got '$from_c')" test "$from_c" = "$expected"
    check "$label: ctypes: hdsn_disks_fingerprint gives it (got '$from_ctypes')" \
      test "$from_ctypes" = "$expected"
  fi
done
exit $fail
