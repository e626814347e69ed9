// The size protocol of the C call hdsn_disks_json (disks/hdsn_disks.h),
// whatever system made the document: its return values, and how the
// document is handed to a caller's buffer.
#pragma once

#include <cstddef>
#include <string>

namespace hdsn {

inline constexpr int kDisksJsonWritten = 0;
inline constexpr int kDisksJsonTooSmall = 1;
inline constexpr int kDisksJsonNotNt = 2;
inline constexpr int kDisksJsonFailed = 3;

// Writes the document, NUL-terminated, into buffer when its size holds it
// all and returns kDisksJsonWritten; otherwise writes nothing into it and
// returns kDisksJsonTooSmall. needed (when not null) receives the document's
// size, NUL included.
int CopyDisksJson(const std::string& document, char* buffer, std::size_t size,
                  std::size_t* needed) noexcept;

}  // namespace hdsn
