// HMAC-SHA256 through CNG's entry points as bcrypt.dll exports them. The
// DLL is loaded at run time (Windows 2000 and XP have none), so the calls
// are a table of the addresses found in it; the tests hand in a table of
// their own to fail each step.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <span>
#include <string>

#include "platform/hmac_interface.h"

namespace hdsn {

struct CngCalls {
  decltype(&::BCryptOpenAlgorithmProvider) openAlgorithmProvider = nullptr;
  decltype(&::BCryptGetProperty) getProperty = nullptr;
  decltype(&::BCryptCreateHash) createHash = nullptr;
  decltype(&::BCryptHashData) hashData = nullptr;
  decltype(&::BCryptFinishHash) finishHash = nullptr;
  decltype(&::BCryptDestroyHash) destroyHash = nullptr;
  decltype(&::BCryptCloseAlgorithmProvider) closeAlgorithmProvider = nullptr;
};

// Opens SHA-256 as an HMAC provider, makes a hash object keyed by the key in
// a buffer of the provider's object length, hashes the message and finishes
// into the digest; destroys the hash and closes the provider on every path.
// Returns "" or the call that failed and its NTSTATUS
// ("BCryptCreateHash: 0xC000000D").
std::string CngHmacSha256(const CngCalls& cng, std::span<const std::uint8_t> key,
                          std::span<const std::uint8_t> message, Sha256Digest& digest);

}  // namespace hdsn
