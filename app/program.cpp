#include "app/program.h"

#include <cstdint>

#include "app/hard_drive_info.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "platform/system_interface.h"
#include "platform/system_volume.h"

namespace hdsn {

int RunProgram(const Platform& platform) {
  SystemInterface& system = platform.system;
  ConsoleInterface& console = platform.console;

  // Should the Windows directory not be had, the empty root path still
  // gives the report in full; a volume whose serial cannot be read is
  // reported as 0.
  char rootPath[kSystemRootSize];
  std::uint32_t volumeSerial = 0;
  ReadSystemVolume(system, rootPath, volumeSerial);

  HardDriveInfo& info = GetHardDriveInfo(platform);
  const char* masterSerial = GetMasterSerial(info);

  console.Printf(
      "\nhdsn, master hard disk and system volume serial numbers, \xA9"
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
