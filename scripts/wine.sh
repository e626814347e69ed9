# Wine helpers shared by the scripts and the end-to-end tests; sourced, not
# run.

# Whether this machine executes 32-bit x86 code, found by running some: a
# 96-byte ELF32 i386 program that only calls exit(0) through int 0x80. A
# kernel without IA-32 emulation refuses to start it.
hdsn_runs_i386() {
  local elf=(
    7f454c46 01 01 01 00 0000000000000000 # ELF, 32-bit, little-endian, version 1
    0200 0300 01000000                    # an executable, for i386, version 1
    54800408 34000000 00000000 00000000   # entry 0x08048054, program headers at 52, no sections
    3400 2000 0100 0000 0000 0000         # header sizes, one program header
    01000000 00000000 00800408 00800408   # PT_LOAD of the whole file at 0x08048000
    60000000 60000000 05000000 00100000   # 96 bytes, read and execute
    b801000000 bb00000000 cd80            # mov eax, 1 (exit); mov ebx, 0; int 0x80
  )
  local hex probe status
  hex=$(printf '%s' "${elf[@]}")
  probe=$(mktemp) || return 1
  # shellcheck disable=SC2059 # the format is the bytes, written as \xHH escapes
  printf "$(sed 's/../\\x&/g' <<<"$hex")" >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  return $status
}

# Whether Debian's 32-bit Wine loader (package wine32:i386) is installed: the
# wine command starts it for every program when it is.
hdsn_has_wine32() { [[ -x /usr/lib/wine/wine ]]; }

# Whether 32-bit Windows programs can run here.
hdsn_wine32_works() { hdsn_has_wine32 && hdsn_runs_i386; }

# Whether a prefix was made by wine64 alone, before wine32 was installed: a
# 64-bit prefix whose drive_c/windows/syswow64 is missing or empty. 32-bit
# programs then fail with "could not load kernel32.dll, status c0000135", and
# wineboot -u does not mend it; only a new prefix does.
hdsn_wine_prefix_lacks_wow64() {
  local prefix=$1
  [[ -f $prefix/system.reg ]] && hdsn_has_wine32 || return 1
  grep -q '^#arch=win32' "$prefix/system.reg" && return 1
  [[ -z $(ls -A "$prefix/drive_c/windows/syswow64" 2>/dev/null) ]]
}

# Makes a prefix, without Wine's .NET and HTML engines: the programs need
# neither, and no attempt is made to download them.
hdsn_wine_prefix_make() {
  local prefix=$1
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" \
    wineboot --init >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver --wait 2>/dev/null
  [[ -f $prefix/system.reg ]]
}
