#include "inventory/disks_runner.h"

#include <cstring>
#include <string>

#include "app/system_interface.h"
#include "inventory/disk_table.h"
#include "inventory/disks_program.h"
#include "inventory/json_writer.h"

namespace hdsn {

std::optional<int> ParseDisksArguments(ConsoleInterface& console, int argc, const char* const* argv,
                                       const char* usage, DisksOptions& options) {
  bool help = false;
  for (int at = 1; at < argc; ++at) {
    const char* argument = argv[at] != nullptr ? argv[at] : "";
    if (std::strcmp(argument, "--json") == 0) {
      options.json = true;
    } else if (std::strcmp(argument, "--help") == 0) {
      help = true;
    } else {
      console.ErrorPrintf("hdsn-disks: unknown option '%s'\n%s", argument, usage);
      return kDisksExitUsage;
    }
  }
  if (!help) return std::nullopt;
  console.Printf("%s", usage);
  console.Flush();
  return kDisksExitFound;
}

int PrintDisks(ConsoleInterface& console, const DiskInventory& inventory,
               const DisksOptions& options) {
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
