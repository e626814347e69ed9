#include <cstring>

#include "app/hard_drive_info.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "platform/system_interface.h"
#include "protocol/byte_order.h"

namespace hdsn {
namespace {

// The legacy VxD does not always answer at once after start-up; it is asked
// again, at most this many times in all.
constexpr int kLegacyVxdCalls = 10;

}  // namespace

unsigned HardDriveInfo::CollectIdentifyBlocks() {
  OsVersionInfoA version;
  std::memset(version.bytes, 0, sizeof version.bytes);
  StoreLe32(version.bytes + OsVersionInfoA::kOsVersionInfoSizeOffset, OsVersionInfoA::kSize);
  // Should the call fail, the platform identifier stays 0, which is not NT.
  platform_.system.GetVersionExA(&version);
  const std::uint32_t platformId = LoadLe32(version.bytes + OsVersionInfoA::kPlatformIdOffset);

  identifyBlocks.clear();
  ConsoleInterface& console = platform_.console;
  if (platformId == kVerPlatformWin32Nt) {
    if (ReadPhysicalDriveWithSmart() != 0) console.Printf("hdd serial retrieves with method 1\n");
    if (ReadScsiMiniportIdentify() != 0) console.Printf("hdd serial retrieves with method 2\n");
    if (ReadStorageDescriptor() != 0) console.Printf("hdd serial retrieves with method 3\n");
    if (ReadSmartDirect() != 0) console.Printf("hdd serial retrieves with method 4\n");
  } else {
    std::int32_t report = 0;
    for (int calls = 0; report == 0 && calls < kLegacyVxdCalls; ++calls)
      report = ReadLegacyVxdIdentify();
    if (report != 0) console.Printf("hdd serial retrieves with method 5\n");
  }
  return static_cast<unsigned>(identifyBlocks.size());
}

}  // namespace hdsn
