// HMAC-SHA256 as each system's well-kept code computes it: Windows' CNG
// (bcrypt.dll), Debian's nettle on Linux. The fingerprint of hdsn-disks asks
// for it through this interface, so that the rule runs on a simulated
// machine with nothing of a system's. Neutral: no system header is needed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace hdsn {

inline constexpr std::size_t kSha256Size = 32;
using Sha256Digest = std::array<std::uint8_t, kSha256Size>;

class HmacInterface {
 public:
  virtual ~HmacInterface() = default;
  // The HMAC-SHA256 of the message keyed by the key, of any length (none
  // included). Returns "" with the digest written, or the step that failed
  // and its code ("bcrypt.dll: 126") with the digest untouched.
  virtual std::string HmacSha256(std::span<const std::uint8_t> key,
                                 std::span<const std::uint8_t> message, Sha256Digest& digest) = 0;
};

}  // namespace hdsn
