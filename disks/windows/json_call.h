// The library call of hdsn_disks.dll (disks/hdsn_disks.h) on any Windows
// platform bundle: the export passes the Win32 one, the tests a simulated
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

}  // namespace hdsn
