// HMAC-SHA256 of Debian's nettle (nettle-dev), linked statically into the
// program and the shared library: a context on the stack, nothing kept
// between calls, so any thread may call it at any time.
#include <nettle/hmac.h>
#include <nettle/sha2.h>

#include "platform/hmac_interface.h"
#include "platform/linux_system.h"

namespace hdsn {
namespace {

static_assert(SHA256_DIGEST_SIZE == kSha256Size);

// nettle copies the key and the message with memcpy, which must not be
// handed a null pointer even for no bytes: an empty salt is a key like any
// other.
const std::uint8_t* Bytes(std::span<const std::uint8_t> bytes) {
  static constexpr std::uint8_t kNone = 0;
  return bytes.empty() ? &kNone : bytes.data();
}

class LinuxHmac final : public HmacInterface {
 public:
  std::string HmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message,
                         Sha256Digest& digest) override {
    hmac_sha256_ctx context;
    hmac_sha256_set_key(&context, key.size(), Bytes(key));
    hmac_sha256_update(&context, message.size(), Bytes(message));
    hmac_sha256_digest(&context, digest.size(), digest.data());
    return "";
  }
};

}  // namespace

HmacInterface& GetLinuxHmac() {
  static LinuxHmac hmac;
  return hmac;
}

}  // namespace hdsn
