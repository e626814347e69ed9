#include "inventory/disks_json_call.h"

#include <cstring>
#include <string>

#include "inventory/disk_inventory.h"
#include "inventory/disks_program.h"
#include "inventory/json_writer.h"
#include "platform/platform.h"

namespace hdsn {

int WriteDisksJson(const Platform& platform, char* buffer, std::size_t size,
                   std::size_t* needed) noexcept {
  if (needed) *needed = 0;
  try {
    if (!IsNtFamily(platform.system)) return kDisksJsonNotNt;
    const std::string document = FormatInventoryJson(ListDisks(platform));
    const std::size_t bytes = document.size() + 1;
    if (needed) *needed = bytes;
    if (buffer == nullptr || size < bytes) return kDisksJsonTooSmall;
    std::memcpy(buffer, document.c_str(), bytes);
    return kDisksJsonWritten;
  } catch (...) {
    // Whatever went wrong must not unwind into a caller written in C.
    return kDisksJsonFailed;
  }
}

}  // namespace hdsn
