#include "inventory/disks_program.h"

#include <cstring>
#include <string>

#include "app/system_interface.h"
#include "devices/byte_order.h"
#include "inventory/disk_inventory.h"
#include "inventory/disk_table.h"
#include "inventory/json_writer.h"
#include "platform/platform.h"
#include "wmi/wmi_session.h"

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

// The program owns its process, so it sets the process's COM security, once,
// as the first COM call after COM itself; ListDisks, a library call, leaves
// it alone. A thread already in the other apartment (RPC_E_CHANGED_MODE)
// still takes the security; a thread where COM failed cannot.
DiskInventory ListDisksInOwnProcess(const Platform& platform) {
  WmiInterface& wmi = platform.wmi;
  const HResult initialized = wmi.CoInitializeEx(/*reserved=*/nullptr, kCoinitMultithreaded);
  const ComApartment apartment(wmi, !Failed(initialized));
  if (!Failed(initialized) || initialized == kRpcEChangedMode) InitializeProcessComSecurity(wmi);
  return ListDisks(platform);
}

}  // namespace

bool IsNtFamily(SystemInterface& system) {
  OsVersionInfoA info{};
  StoreLe32(info.bytes + OsVersionInfoA::kOsVersionInfoSizeOffset, OsVersionInfoA::kSize);
  if (system.GetVersionExA(&info) == 0) return false;
  return LoadLe32(info.bytes + OsVersionInfoA::kPlatformIdOffset) == kVerPlatformWin32Nt;
}

int RunDisksProgram(const Platform& platform, int argc, const char* const* argv) {
  ConsoleInterface& console = platform.console;
  bool json = false;
  bool help = false;
  for (int at = 1; at < argc; ++at) {
    const char* argument = argv[at] != nullptr ? argv[at] : "";
    if (std::strcmp(argument, "--json") == 0) {
      json = true;
    } else if (std::strcmp(argument, "--help") == 0) {
      help = true;
    } else {
      console.ErrorPrintf("hdsn-disks: unknown option '%s'\n%s", argument, kUsage);
      return kDisksExitUsage;
    }
  }
  if (help) {
    console.Printf("%s", kUsage);
    console.Flush();
    return kDisksExitFound;
  }
  if (!IsNtFamily(platform.system)) {
    console.ErrorPrintf("hdsn-disks: needs Windows NT\n");
    return kDisksExitNone;
  }

  const DiskInventory inventory = ListDisksInOwnProcess(platform);
  const std::string text = json ? FormatInventoryJson(inventory) : FormatDiskTable(inventory);
  console.Printf("%s", text.c_str());
  console.Flush();
  for (const DiskEntry& disk : inventory.disks) {
    if (disk.serial) return kDisksExitFound;
  }
  return kDisksExitNone;
}

}  // namespace hdsn
