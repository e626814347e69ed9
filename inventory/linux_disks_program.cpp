#include "inventory/disks_program.h"
#include "inventory/disks_runner.h"
#include "platform/linux_system.h"

namespace hdsn {
namespace {

constexpr char kUsage[] =
    "usage: hdsn-disks [--json] [--help]\n"
    "\n"
    "Lists every disk with its serial number, model and firmware, asking each\n"
    "one through sysfs, its NVMe and ATA identify data, its SCSI unit serial\n"
    "number page and the udev database. What the kernel publishes in sysfs is\n"
    "read first and needs no root; the device nodes, asked only when that is\n"
    "missing, need root.\n"
    "\n"
    "  --json   print one JSON document instead of the table\n"
    "  --help   print this text\n"
    "\n"
    "Exit status: 0 when a disk has a serial number, 1 when none has, 2 for a\n"
    "usage error.\n";

}  // namespace

int RunDisksProgram(const LinuxPlatform& platform, int argc, const char* const* argv) {
  DisksOptions options;
  if (const std::optional<int> status =
          ParseDisksArguments(platform.console, argc, argv, kUsage, options))
    return *status;
  return PrintDisks(platform.console, ListDisks(platform), options);
}

}  // namespace hdsn
