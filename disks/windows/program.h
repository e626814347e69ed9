// hdsn-disks on Windows: the runner of disks/disks_runner.h around the
// Windows inventory, after a check of the system and with the process's COM
// started as a program that owns its process starts it. Returns the process
// exit status (kDisksExit...); outside the NT family, kDisksExitNone.
#pragma once

namespace hdsn {

struct Platform;
class SystemInterface;
class OutputFileInterface;

// Whether GetVersionExA says the NT family (false when it fails).
bool IsNtFamily(SystemInterface& system);

int RunDisksProgram(const Platform& platform, OutputFileInterface& files, int argc,
                    const char* const* argv);

}  // namespace hdsn
