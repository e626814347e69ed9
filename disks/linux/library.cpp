// The exports of libhdsn_disks.so.1: the library calls on the real system.
// The version script (hdsn_disks.map) exports these two and nothing else.
#include "disks/hdsn_disks.h"
#include "disks/linux/json_call.h"
#include "platform/linux_system.h"

extern "C" int hdsn_disks_json(char* buffer, size_t size, size_t* needed) {
  try {
    return hdsn::WriteDisksJson(hdsn::GetLinuxPlatform(), buffer, size, needed);
  } catch (...) {
    // The Linux services are made on first use; nothing may unwind into C.
    if (needed) *needed = 0;
    return hdsn::kDisksJsonFailed;
  }
}

extern "C" int hdsn_disks_fingerprint(const char* salt, char* buffer, size_t size, size_t* needed) {
  try {
    return hdsn::WriteDisksFingerprint(hdsn::GetLinuxPlatform(), salt, buffer, size, needed);
  } catch (...) {
    if (needed) *needed = 0;
    return hdsn::kDisksJsonFailed;
  }
}
