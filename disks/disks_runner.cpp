#include "disks/disks_runner.h"

#include <cstring>
#include <string>

#include "disks/disk_table.h"
#include "disks/json_writer.h"
#include "platform/console.h"

namespace hdsn {
namespace {

// The usage around each system's paragraph on its sources.
constexpr char kUsageHead[] =
    "usage: hdsn-disks [--json] [--help]\n"
    "\n";
constexpr char kUsageTail[] =
    "\n"
    "  --json   print one JSON document instead of the table\n"
    "  --help   print this text\n"
    "\n"
    "Exit status: 0 when a disk has a serial number, 1 when none has, 2 for a\n"
    "usage error.\n";

}  // namespace

std::optional<int> ParseDisksArguments(ConsoleInterface& console, int argc, const char* const* argv,
                                       const char* sources, DisksOptions& options) {
  const std::string usage = std::string(kUsageHead) + sources + kUsageTail;
  bool help = false;
  for (int at = 1; at < argc; ++at) {
    const char* argument = argv[at] != nullptr ? argv[at] : "";
    if (std::strcmp(argument, "--json") == 0) {
      options.json = true;
    } else if (std::strcmp(argument, "--help") == 0) {
      help = true;
    } else {
      console.ErrorPrintf("hdsn-disks: unknown option '%s'\n%s", argument, usage.c_str());
      return kDisksExitUsage;
    }
  }
  if (!help) return std::nullopt;
  console.Printf("%s", usage.c_str());
  console.Flush();
  return kDisksExitFound;
}

int PrintDisks(ConsoleInterface& console, const DiskInventory& inventory,
               const DisksOptions& options) {
  if (!inventory.error.empty()) {
    console.ErrorPrintf("hdsn-disks: %s\n", inventory.error.c_str());
    return kDisksExitNone;
  }
  const std::string text =
      options.json ? FormatInventoryJson(inventory) : FormatDiskTable(inventory);
  console.Printf("%s", text.c_str());
  console.Flush();
  for (const DiskEntry& disk : inventory.disks) {
    if (disk.serial) return kDisksExitFound;
  }
  return kDisksExitNone;
}

}  // namespace hdsn
