// hdsn-disks: every disk's serial number, model and firmware, as a table or
// as JSON. Returns the process exit status: 0 when at least one disk has a
// serial number, 1 when none has (or the system is not of the NT family),
// 2 for a usage error.
#pragma once

namespace hdsn {

struct Platform;
struct LinuxPlatform;
class SystemInterface;

inline constexpr int kDisksExitFound = 0;
inline constexpr int kDisksExitNone = 1;
inline constexpr int kDisksExitUsage = 2;

// Whether GetVersionExA says the NT family (false when it fails).
bool IsNtFamily(SystemInterface& system);

int RunDisksProgram(const Platform& platform, int argc, const char* const* argv);
// The same program on Linux, which needs no check of the system.
int RunDisksProgram(const LinuxPlatform& platform, int argc, const char* const* argv);

}  // namespace hdsn
