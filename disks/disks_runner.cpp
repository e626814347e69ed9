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
    "usage: hdsn-disks [--json | --prometheus] [--output FILE]\n"
    "                  [--fingerprint [--salt TEXT]] [--help]\n"
    "\n";
constexpr char kUsageTail[] =
    "\n"
    "  --json          print one JSON document instead of the table\n"
    "  --prometheus    print the Prometheus text format instead, for the textfile\n"
    "                  collector of node_exporter or windows_exporter\n"
    "  --output FILE   write to FILE instead of standard output: to a new file\n"
    "                  beside it first, renamed over it once whole\n"
    "  --fingerprint   print the machine's fingerprint instead: hdsn-fp1: and the\n"
    "                  HMAC-SHA256 of the serial numbers of the disks that hold the\n"
    "                  system; with --json, a document with each disk's own HMAC\n"
    "  --salt TEXT     the fingerprint's key, the application's own text (empty,\n"
    "                  which is not private, when not given)\n"
    "  --help          print this text\n"
    "\n"
    "Exit status: 0 when a disk has a serial number (with --fingerprint: when\n"
    "the fingerprint is printed), 1 when none has, 2 for a usage error, 3 when\n"
    "FILE could not be written.\n";

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
  if (options.json && options.prometheus) {
    console.ErrorPrintf("hdsn-disks: --json and --prometheus exclude each other\n%s",
                        usage.c_str());
    return kDisksExitUsage;
  }
  if (options.fingerprint && options.prometheus) {
    console.ErrorPrintf("hdsn-disks: --fingerprint and --prometheus exclude each other\n%s",
                        usage.c_str());
    return kDisksExitUsage;
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

bool EmitDocument(ConsoleInterface& console, OutputFileInterface& files,
                  const DisksOptions& options, const std::string& text) {
  if (!options.output) {
    console.Printf("%s", text.c_str());
    console.Flush();
    return true;
  }
  std::string error;
  if (WriteWholeFile(files, *options.output, text, error)) return true;
  console.ErrorPrintf("hdsn-disks: cannot write %s: %s\n", options.output->c_str(), error.c_str());
  return false;
}

int PrintDisks(ConsoleInterface& console, OutputFileInterface& files,
               const DiskInventory& inventory, const DisksOptions& options) {
  if (!inventory.error.empty()) {
    console.ErrorPrintf("hdsn-disks: %s\n", inventory.error.c_str());
    return kDisksExitNone;
  }
  if (!EmitDocument(console, files, options, FormatDisks(inventory, options)))
    return kDisksExitOutput;
  for (const DiskEntry& disk : inventory.disks) {
    if (disk.serial) return kDisksExitFound;
  }
  return kDisksExitNone;
}

}  // namespace hdsn
