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
    "usage: hdsn-disks [--json] [--fingerprint [--salt TEXT]] [--help]\n"
    "\n";
constexpr char kUsageTail[] =
    "\n"
    "  --json         print one JSON document instead of the table\n"
    "  --fingerprint  print the machine's fingerprint instead: hdsn-fp1: and the\n"
    "                 HMAC-SHA256 of the serial numbers of the disks that hold the\n"
    "                 system; with --json, a document with each disk's own HMAC\n"
    "  --salt TEXT    the fingerprint's key, the application's own text (empty,\n"
    "                 which is not private, when not given)\n"
    "  --help         print this text\n"
    "\n"
    "Exit status: 0 when a disk has a serial number (with --fingerprint: when\n"
    "the fingerprint is printed), 1 when none has, 2 for a usage error.\n";

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
    } else if (std::strcmp(argument, "--fingerprint") == 0) {
      options.fingerprint = true;
    } else if (std::strcmp(argument, "--salt") == 0) {
      // The next argument whatever it holds: a salt may start with "--".
      if (at + 1 >= argc || argv[at + 1] == nullptr) {
        console.ErrorPrintf("hdsn-disks: option '--salt' needs a value\n%s", usage.c_str());
        return kDisksExitUsage;
      }
      options.salt = argv[++at];
    } else {
      console.ErrorPrintf("hdsn-disks: unknown option '%s'\n%s", argument, usage.c_str());
      return kDisksExitUsage;
    }
  }
  if (!help && options.salt && !options.fingerprint) {
    console.ErrorPrintf("hdsn-disks: option '--salt' needs '--fingerprint'\n%s", usage.c_str());
    return kDisksExitUsage;
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
