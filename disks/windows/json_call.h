// The library calls of hdsn_disks.dll (disks/hdsn_disks.h) on any Windows
// platform bundle: the exports pass the Win32 one, the tests a simulated
// machine.
#pragma once

#include <cstddef>

#include "disks/json_call.h"

namespace hdsn {

struct Platform;

// Writes the document `hdsn-disks --json` prints as CopyDisksJson does; needed
// is 0 when there is none. Never throws: outside the NT family it returns
// kDisksJsonNotNt, and a failure to make the document (memory ran out)
// kDisksJsonFailed.
int WriteDisksJson(const Platform& platform, char* buffer, std::size_t size,
                   std::size_t* needed) noexcept;

// Writes the fingerprint `hdsn-disks --fingerprint --salt SALT` prints, without
// its line feed, as CopyFingerprint does. Never throws: outside the NT family
// kDisksJsonNotNt, memory running out kDisksJsonFailed.
int WriteDisksFingerprint(const Platform& platform, const char* salt, char* buffer,
                          std::size_t size, std::size_t* needed) noexcept;

}  // namespace hdsn
