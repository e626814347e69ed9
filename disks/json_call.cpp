#include "disks/json_call.h"

#include <cstring>

namespace hdsn {

int CopyDisksJson(const std::string& document, char* buffer, std::size_t size,
                  std::size_t* needed) noexcept {
  const std::size_t bytes = document.size() + 1;
  if (needed) *needed = bytes;
  if (buffer == nullptr || size < bytes) return kDisksJsonTooSmall;
  std::memcpy(buffer, document.c_str(), bytes);
  return kDisksJsonWritten;
}

}  // namespace hdsn
