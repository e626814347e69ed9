// hdsn-disks on Linux: the runner of disks/disks_runner.h around the Linux
// inventory; there is no check of the system. Returns the process exit
// status (kDisksExit...).
#pragma once

namespace hdsn {

struct LinuxPlatform;
class OutputFileInterface;

int RunDisksProgram(const LinuxPlatform& platform, OutputFileInterface& files, int argc,
                    const char* const* argv);

}  // namespace hdsn
