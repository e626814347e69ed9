#include "app/program.h"

#include <cstdint>
#include <cstring>

#include "app/hard_drive_info.h"
#include "app/system_interface.h"
#include "platform/platform.h"

namespace hdsn {

int RunProgram(const Platform& platform) {
  SystemInterface& system = platform.system;
  ConsoleInterface& console = platform.console;

  // MAX_PATH characters and the terminator. The text is cut right after its
  // first backslash, leaving the root of the system drive (C:\WINDOWS gives
  // C:\). Should the call fail and leave no backslash, the zeroed buffer
  // gives an empty root path and the report still comes out in full.
  char rootPath[261] = {};
  system.GetWindowsDirectoryA(rootPath, sizeof rootPath);
  rootPath[sizeof rootPath - 1] = '\0';
  if (char* backslash = std::strchr(rootPath, '\\')) backslash[1] = '\0';

  // A volume whose serial cannot be read is reported as 0.
  char volumeName[12] = {};
  char fileSystemName[16] = {};
  std::uint32_t volumeSerial = 0;
  system.GetVolumeInformationA(rootPath, volumeName, sizeof volumeName, &volumeSerial,
                               /*maximumComponentLength=*/nullptr, /*fileSystemFlags=*/nullptr,
                               fileSystemName, sizeof fileSystemName);

  HardDriveInfo& info = GetHardDriveInfo(platform);
  const char* masterSerial = GetMasterSerial(info);

  console.Printf("\nhdsn, master hard disk and system volume serial numbers, \xA9"
                 "2026 the hdsn authors\n");
  console.Printf("------------------------------------\n");
  console.Printf("Your master hard disk serial number is %s\n", masterSerial);
  console.Printf("Your volume number for system drive %s is %x\n", rootPath,
                 static_cast<unsigned>(volumeSerial));
  console.Printf("\n\nPress any key to exit...");

  DestroyHardDriveInfo();
  // The prompt has no line end: it must be on the console before the wait.
  console.Flush();
  console.GetChar();
  return 0;
}

}  // namespace hdsn
