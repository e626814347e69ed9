// The exports of hdsn_disks.dll: the library calls on the real Windows services.
#include "disks/hdsn_disks.h"
#include "disks/windows/json_call.h"
#include "platform/platform.h"

extern "C" int HDSN_DISKS_CALL hdsn_disks_json(char* buffer, size_t size, size_t* needed) {
  try {
    return hdsn::WriteDisksJson(hdsn::GetWin32Platform(), buffer, size, needed);
  } catch (...) {
    // The Win32 services are made on first use; nothing may unwind into C.
    if (needed) *needed = 0;
    return hdsn::kDisksJsonFailed;
  }
}

extern "C" int HDSN_DISKS_CALL hdsn_disks_fingerprint(const char* salt, char* buffer, size_t size,
                                                      size_t* needed) {
  try {
    return hdsn::WriteDisksFingerprint(hdsn::GetWin32Platform(), salt, buffer, size, needed);
  } catch (...) {
    if (needed) *needed = 0;
    return hdsn::kDisksJsonFailed;
  }
}
