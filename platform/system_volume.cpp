#include "platform/system_volume.h"

#include <cstring>

#include "platform/system_interface.h"

namespace hdsn {

bool ReadSystemVolume(SystemInterface& system, char (&rootPath)[kSystemRootSize],
                      std::uint32_t& serial) {
  std::memset(rootPath, 0, sizeof rootPath);
  system.GetWindowsDirectoryA(rootPath, sizeof rootPath);
  rootPath[sizeof rootPath - 1] = '\0';
  if (char* backslash = std::strchr(rootPath, '\\')) backslash[1] = '\0';

  // The volume's label and file system name are asked for and not used. The
  // label buffer must hold the whole label (32 characters on NTFS): a buffer
  // too small fails the whole call with ERROR_BAD_LENGTH, serial included.
  char volumeName[kVolumeNameSize] = {};
  char fileSystemName[16] = {};
  serial = 0;
  return system.GetVolumeInformationA(rootPath, volumeName, sizeof volumeName, &serial,
                                      /*maximumComponentLength=*/nullptr,
                                      /*fileSystemFlags=*/nullptr, fileSystemName,
                                      sizeof fileSystemName) != 0;
}

}  // namespace hdsn
