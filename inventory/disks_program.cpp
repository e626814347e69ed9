#include "inventory/disks_program.h"

#include "app/system_interface.h"
#include "devices/byte_order.h"
#include "inventory/disk_inventory.h"
#include "inventory/disks_runner.h"
#include "platform/platform.h"

namespace hdsn {
namespace {

constexpr char kUsage[] =
    "usage: hdsn-disks [--json] [--help]\n"
    "\n"
    "Lists every disk with its serial number, model and firmware, asking each\n"
    "one through its storage descriptor, its NVMe and ATA identify data, its\n"
    "SCSI unit serial number page and WMI. The first two need no administrator\n"
    "rights.\n"
    "\n"
    "  --json   print one JSON document instead of the table\n"
    "  --help   print this text\n"
    "\n"
    "Exit status: 0 when a disk has a serial number, 1 when none has, 2 for a\n"
    "usage error.\n";

bool IsNtFamily(SystemInterface& system) {
  OsVersionInfoA info{};
  StoreLe32(info.bytes + OsVersionInfoA::kOsVersionInfoSizeOffset, OsVersionInfoA::kSize);
  if (system.GetVersionExA(&info) == 0) return false;
  return LoadLe32(info.bytes + OsVersionInfoA::kPlatformIdOffset) == kVerPlatformWin32Nt;
}

}  // namespace

int RunDisksProgram(const Platform& platform, int argc, const char* const* argv) {
  ConsoleInterface& console = platform.console;
  DisksOptions options;
  if (const std::optional<int> status = ParseDisksArguments(console, argc, argv, kUsage, options))
    return *status;
  if (!IsNtFamily(platform.system)) {
    console.ErrorPrintf("hdsn-disks: needs Windows NT\n");
    return kDisksExitNone;
  }

  const DiskInventory inventory = ListDisks(platform);
  return PrintDisks(console, inventory, options);
}

}  // namespace hdsn
