#include "disks/json_call.h"

#include <cstring>

#include "disks/disk_inventory.h"
#include "disks/fingerprint.h"

namespace hdsn {

int CopyDisksJson(const std::string& document, char* buffer, std::size_t size,
                  std::size_t* needed) noexcept {
  const std::size_t bytes = document.size() + 1;
  if (needed) *needed = bytes;
  if (buffer == nullptr || size < bytes) return kDisksJsonTooSmall;
  std::memcpy(buffer, document.c_str(), bytes);
  return kDisksJsonWritten;
}

int CopyFingerprint(HmacInterface& hmac, const DiskInventory& inventory, const char* salt,
                    char* buffer, std::size_t size, std::size_t* needed) {
  if (needed) *needed = 0;
  if (!inventory.error.empty()) return kDisksJsonFailed;
  const Fingerprint fingerprint = MakeFingerprint(hmac, inventory, salt ? salt : "");
  switch (fingerprint.status) {
    case Fingerprint::Status::kNoInput:
      return kDisksCallNoInput;
    case Fingerprint::Status::kNoHmac:
      return kDisksCallNoHmac;
    case Fingerprint::Status::kMade:
      break;
  }
  return CopyDisksJson(fingerprint.value, buffer, size, needed);
}

}  // namespace hdsn
