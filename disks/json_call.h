// The size protocol of the C calls hdsn_disks_json and
// hdsn_disks_fingerprint (disks/hdsn_disks.h), whatever system made their
// text: their return values, and how a text is handed to a caller's buffer.
#pragma once

#include <cstddef>
#include <string>

namespace hdsn {

class HmacInterface;
struct DiskInventory;

inline constexpr int kDisksJsonWritten = 0;
inline constexpr int kDisksJsonTooSmall = 1;
inline constexpr int kDisksJsonNotNt = 2;
// Memory ran out, or (Linux) the disks could not be listed.
inline constexpr int kDisksJsonFailed = 3;
// hdsn_disks_fingerprint only: no disk that holds the system gives a
// serial number or world wide name; HMAC-SHA256 is not available.
inline constexpr int kDisksCallNoInput = 4;
inline constexpr int kDisksCallNoHmac = 5;

// Writes the document, NUL-terminated, into buffer when its size holds it
// all and returns kDisksJsonWritten; otherwise writes nothing into it and
// returns kDisksJsonTooSmall. needed (when not null) receives the document's
// size, NUL included.
int CopyDisksJson(const std::string& document, char* buffer, std::size_t size,
                  std::size_t* needed) noexcept;

// The inventory's fingerprint keyed by the salt (null: empty) as
// CopyDisksJson hands a document on: "hdsn-fp1:" and 64 hex digits. An
// inventory that is not whole is kDisksJsonFailed; no input
// kDisksCallNoInput; no HMAC kDisksCallNoHmac; needed is then 0 and buffer
// untouched.
int CopyFingerprint(HmacInterface& hmac, const DiskInventory& inventory, const char* salt,
                    char* buffer, std::size_t size, std::size_t* needed);

}  // namespace hdsn
