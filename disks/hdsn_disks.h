/* hdsn_disks.dll: every disk's serial number, model and firmware as the JSON
 * document that `hdsn-disks --json` prints. Usable from C and C++; the call
 * uses the Windows calling convention (stdcall) and its exported name is
 * undecorated on both targets, so that C#'s DllImport, Delphi's stdcall and
 * Python's ctypes.WinDLL call it as they are.
 *
 * int hdsn_disks_json(char *buffer, size_t size, size_t *needed);
 *
 * Writes the document (UTF-8, NUL-terminated) into buffer and returns 0.
 * Returns 1 and writes nothing into buffer when size is too small for it (a
 * null buffer counts as size 0); returns 2 outside the NT family; returns 3
 * when the document could not be made (memory ran out), writing nothing.
 * needed, when not null, always receives the bytes the document takes, its
 * NUL included (0 on 2 and 3). Ask with a null buffer and size 0 for the size,
 * then call again with a buffer that large: should a disk come or go in
 * between, the second call may return 1 with the new size.
 *
 * The call is reentrant and leaves the process as it found it: it initialises
 * COM on the calling thread for its own use and balances that (a thread
 * already in a single-threaded apartment is used as it is), does not set the
 * process's COM security, and releases everything it opened. */
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

#ifdef __cplusplus
}
#endif

#endif
