#include "disks/linux/program.h"

#include "disks/disks_runner.h"
#include "disks/fingerprint.h"
#include "disks/linux/disk_list.h"
#include "platform/linux_system.h"

namespace hdsn {
namespace {

// The usage's paragraph on the sources.
constexpr char kSources[] =
    "Lists every disk with its serial number, model and firmware, asking each\n"
    "one through sysfs, its NVMe and ATA identify data, its SCSI unit serial\n"
    "number page and the udev database. What the kernel publishes in sysfs is\n"
    "read first and needs no root; the device nodes, asked only when that is\n"
    "missing, need root.\n";

}  // namespace

int RunDisksProgram(const LinuxPlatform& platform, int argc, const char* const* argv) {
  DisksOptions options;
  if (const std::optional<int> status =
          ParseDisksArguments(platform.console, argc, argv, kSources, options))
    return *status;
  const DiskInventory inventory = ListDisks(platform);
  if (options.fingerprint)
    return PrintFingerprint(platform.console, platform.hmac, inventory, options);
  return PrintDisks(platform.console, inventory, options);
}

}  // namespace hdsn
