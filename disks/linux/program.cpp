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
    "number page and the udev database, and with its world wide name, NVMe\n"
    "namespace identifiers, size, sector sizes and rotation, asking also its\n"
    "NVMe namespace data and its SCSI device identification and block device\n"
    "characteristics pages. What the kernel publishes in sysfs is read first\n"
    "and needs no root; the device nodes, asked only when that is missing,\n"
    "need root.\n";

}  // namespace

int RunDisksProgram(const LinuxPlatform& platform, OutputFileInterface& files, int argc,
                    const char* const* argv) {
  DisksOptions options;
  if (const std::optional<int> status =
          ParseDisksArguments(platform.console, argc, argv, kSources, options))
    return *status;
  const DiskInventory inventory = ListDisks(platform);
  if (options.fingerprint)
    return PrintFingerprint(platform.console, files, platform.hmac, inventory, options);
  return PrintDisks(platform.console, files, inventory, options);
}

}  // namespace hdsn
