#include "disks/windows/json_call.h"

#include "disks/json_writer.h"
#include "disks/windows/disk_list.h"
#include "disks/windows/program.h"
#include "platform/platform.h"

namespace hdsn {

int WriteDisksJson(const Platform& platform, char* buffer, std::size_t size,
                   std::size_t* needed) noexcept {
  if (needed) *needed = 0;
  try {
    if (!IsNtFamily(platform.system)) return kDisksJsonNotNt;
    return CopyDisksJson(FormatInventoryJson(ListDisks(platform)), buffer, size, needed);
  } catch (...) {
    // Whatever went wrong must not unwind into a caller written in C.
    return kDisksJsonFailed;
  }
}

int WriteDisksFingerprint(const Platform& platform, const char* salt, char* buffer,
                          std::size_t size, std::size_t* needed) noexcept {
  if (needed) *needed = 0;
  try {
    if (!IsNtFamily(platform.system)) return kDisksJsonNotNt;
    return CopyFingerprint(platform.hmac, ListDisks(platform), salt, buffer, size, needed);
  } catch (...) {
    return kDisksJsonFailed;
  }
}

}  // namespace hdsn
