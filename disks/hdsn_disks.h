/* hdsn_disks.dll (Windows) and libhdsn_disks.so.1 (Linux): every disk's
 * serial number, model, firmware and identity as the JSON document that
 * `hdsn-disks --json` prints, and the machine's fingerprint as
 * `hdsn-disks --fingerprint --salt SALT` prints it. Usable from C and C++.
 * On Windows the calls use the Windows calling convention (stdcall) and
 * their exported names are undecorated on both targets, so that C#'s
 * DllImport, Delphi's stdcall and Python's ctypes.WinDLL call them as they
 * are; on Linux they are plain C calls (ctypes.CDLL, cgo, Rust's extern "C").
 *
 * int hdsn_disks_json(char *buffer, size_t size, size_t *needed);
 *
 * Writes the document (UTF-8, NUL-terminated) into buffer and returns 0.
 * Returns 1 and writes nothing into buffer when size is too small for it (a
 * null buffer counts as size 0); returns 2 outside the NT family; returns 3
 * when the document could not be made (memory ran out; on Linux also when
 * /sys/block or the mount table could not be read), writing nothing.
 * needed, when not null, always receives the bytes the document takes, its
 * NUL included (0 on 2 and 3). Ask with a null buffer and size 0 for the size,
 * then call again with a buffer that large: should a disk come or go in
 * between, the second call may return 1 with the new size.
 *
 * int hdsn_disks_fingerprint(const char *salt, char *buffer, size_t size,
 *                            size_t *needed);
 *
 * Writes the fingerprint keyed by salt (a NUL-terminated text, its bytes as
 * they are: UTF-8 gives the program's value; null is the empty salt), "hdsn-fp1:" and 64 lowercase
 * hex digits, NUL-terminated, with the returns and size protocol of hdsn_disks_json (73 bytes and
 * the NUL), and two more: 4 when no disk that holds the system gives a serial number or world wide
 * name, 5 when HMAC-SHA256 is not available (Windows 2000 and XP have no bcrypt.dll); needed is
 * then 0.
 *
 * The calls are reentrant and leave the process as they found it. On
 * Windows they initialise COM on the calling thread for their own use and
 * balance that (a thread already in a single-threaded apartment is used as
 * it is), do not set the process's COM security, load bcrypt.dll for the
 * fingerprint and free it again, and release everything they opened. */
#ifndef HDSN_DISKS_H
#define HDSN_DISKS_H

#include <stddef.h>

#if defined(_WIN32)
#define HDSN_DISKS_CALL __stdcall
#if defined(HDSN_DISKS_BUILDING)
#define HDSN_DISKS_API __declspec(dllexport)
#else
#define HDSN_DISKS_API __declspec(dllimport)
#endif
#else
#define HDSN_DISKS_CALL
#define HDSN_DISKS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

HDSN_DISKS_API int HDSN_DISKS_CALL hdsn_disks_json(char *buffer, size_t size, size_t *needed);
HDSN_DISKS_API int HDSN_DISKS_CALL hdsn_disks_fingerprint(const char *salt, char *buffer,
                                                          size_t size, size_t *needed);

#ifdef __cplusplus
}
#endif

#endif
