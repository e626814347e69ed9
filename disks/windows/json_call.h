// The library call of hdsn_disks.dll (hdsn_disks.h) on any platform bundle:
// the export passes the Win32 one, the tests a simulated machine.
#pragma once

#include <cstddef>

namespace hdsn {

struct Platform;

inline constexpr int kDisksJsonWritten = 0;
inline constexpr int kDisksJsonTooSmall = 1;
inline constexpr int kDisksJsonNotNt = 2;
inline constexpr int kDisksJsonFailed = 3;

// Writes the document `hdsn-disks --json` prints, NUL-terminated, into
// buffer when its size holds it all; otherwise writes nothing into it. needed
// (when not null) receives the document's size, NUL included, 0 when there is
// none. Never throws: a failure to make the document (memory ran out) returns
// kDisksJsonFailed.
int WriteDisksJson(const Platform& platform, char* buffer, std::size_t size,
                   std::size_t* needed) noexcept;

}  // namespace hdsn
