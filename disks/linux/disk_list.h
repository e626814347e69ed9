// The disk inventory of Linux: every whole disk of /sys/block that sits on a
// device, in the natural order of the kernel's names, each asked through the
// eight Linux sources (sysfs, nvme-identify, ata-identify, scsi-vpd80, udev,
// then for its identity nvme-namespace, scsi-vpd83, scsi-vpdb1), whether it
// holds "/", and the UUID of the root file system.
#pragma once

#include "disks/disk_inventory.h"

namespace hdsn {

struct LinuxPlatform;

// index is null for every disk, device the node ("/dev/sda"); every source
// names the file or node it asked (via).
DiskInventory ListDisks(const LinuxPlatform& platform);

}  // namespace hdsn
