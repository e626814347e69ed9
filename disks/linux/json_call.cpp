#include "disks/linux/json_call.h"

#include "disks/json_writer.h"
#include "disks/linux/disk_list.h"
#include "platform/linux_system.h"

namespace hdsn {

int WriteDisksJson(const LinuxPlatform& platform, char* buffer, std::size_t size,
                   std::size_t* needed) noexcept {
  if (needed) *needed = 0;
  try {
    const DiskInventory inventory = ListDisks(platform);
    if (!inventory.error.empty()) return kDisksJsonFailed;
    return CopyDisksJson(FormatInventoryJson(inventory), buffer, size, needed);
  } catch (...) {
    // Whatever went wrong must not unwind into a caller written in C.
    return kDisksJsonFailed;
  }
}

int WriteDisksFingerprint(const LinuxPlatform& platform, const char* salt, char* buffer,
                          std::size_t size, std::size_t* needed) noexcept {
  if (needed) *needed = 0;
  try {
    return CopyFingerprint(platform.hmac, ListDisks(platform), salt, buffer, size, needed);
  } catch (...) {
    return kDisksJsonFailed;
  }
}

}  // namespace hdsn
