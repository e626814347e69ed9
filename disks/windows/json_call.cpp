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

}  // namespace hdsn
