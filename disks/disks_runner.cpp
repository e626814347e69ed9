#include "disks/disks_runner.h"

#include <cstring>
#include <string>

#include "disks/disk_table.h"
#include "disks/json_writer.h"
#include "disks/prometheus_writer.h"
#include "disks/whole_file.h"
#include "platform/console.h"

namespace hdsn {
namespace {

// The usage around each system's paragraph on its sources.
constexpr char kUsageHead[] =
    "usage: hdsn-disks [--json | --prometheus] [--output FILE] [--help]\n"
    "\n";
constexpr char kUsageTail[] =
    "\n"
    "  --json          print one JSON document instead of the table\n"
    "  --prometheus    print the Prometheus text format instead, for the textfile\n"
    "                  collector of node_exporter or windows_exporter\n"
    "  --output FILE   write to FILE instead of standard output: to a new file\n"
    "                  beside it first, renamed over it once whole\n"
    "  --help          print this text\n"
    "\n"
    "Exit status: 0 when a disk has a serial number, 1 when none has, 2 for a\n"
    "usage error, 3 when FILE could not be written.\n";

// --output FILE, the option and its file name; the exit status of a usage
// error, or nullopt.
std::optional<int> ParseOutputOption(ConsoleInterface& console, int argc, const char* const* argv,
                                     int& at, const std::string& usage, DisksOptions& options) {
  const char* file = at + 1 < argc ? argv[at + 1] : nullptr;
  if (file == nullptr || *file == '\0') {
    console.ErrorPrintf("hdsn-disks: --output needs a file name\n%s", usage.c_str());
    return kDisksExitUsage;
  }
  options.output = file;
  ++at;
  return std::nullopt;
}

std::string FormatDisks(const DiskInventory& inventory, const DisksOptions& options) {
  if (options.json) return FormatInventoryJson(inventory);
  if (options.prometheus) return FormatInventoryPrometheus(inventory);
  return FormatDiskTable(inventory);
}

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
    } else if (std::strcmp(argument, "--prometheus") == 0) {
      options.prometheus = true;
    } else if (std::strcmp(argument, "--output") == 0) {
      if (const std::optional<int> status =
              ParseOutputOption(console, argc, argv, at, usage, options))
        return status;
    } else {
      console.ErrorPrintf("hdsn-disks: unknown option '%s'\n%s", argument, usage.c_str());
      return kDisksExitUsage;
    }
  }
  if (options.json && options.prometheus) {
    console.ErrorPrintf("hdsn-disks: --json and --prometheus exclude each other\n%s",
                        usage.c_str());
    return kDisksExitUsage;
  }
  if (!help) return std::nullopt;
  console.Printf("%s", usage.c_str());
  console.Flush();
  return kDisksExitFound;
}

int PrintDisks(ConsoleInterface& console, OutputFileInterface& files,
               const DiskInventory& inventory, const DisksOptions& options) {
  if (!inventory.error.empty()) {
    console.ErrorPrintf("hdsn-disks: %s\n", inventory.error.c_str());
    return kDisksExitNone;
  }
  const std::string text = FormatDisks(inventory, options);
  if (options.output) {
    std::string error;
    if (!WriteWholeFile(files, *options.output, text, error)) {
      console.ErrorPrintf("hdsn-disks: cannot write %s: %s\n", options.output->c_str(),
                          error.c_str());
      return kDisksExitOutput;
    }
  } else {
    console.Printf("%s", text.c_str());
    console.Flush();
  }
  for (const DiskEntry& disk : inventory.disks) {
    if (disk.serial) return kDisksExitFound;
  }
  return kDisksExitNone;
}

}  // namespace hdsn
