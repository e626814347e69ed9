// The library calls of libhdsn_disks.so.1 (disks/hdsn_disks.h) on any Linux
// platform bundle: the exports pass the real one, the tests a simulated
// machine.
#pragma once

#include <cstddef>

#include "disks/json_call.h"

namespace hdsn {

struct LinuxPlatform;

// The document `hdsn-disks --json` prints, as CopyDisksJson hands it on;
// needed is 0 when there is none. Never throws: an inventory that is not
// whole (/sys/block or the mount table unread) and memory running out are
// kDisksJsonFailed.
int WriteDisksJson(const LinuxPlatform& platform, char* buffer, std::size_t size,
                   std::size_t* needed) noexcept;

// The fingerprint `hdsn-disks --fingerprint --salt SALT` prints, without its
// line feed, as CopyFingerprint hands it on. Never throws: memory running
// out is kDisksJsonFailed.
int WriteDisksFingerprint(const LinuxPlatform& platform, const char* salt, char* buffer,
                          std::size_t size, std::size_t* needed) noexcept;

}  // namespace hdsn
