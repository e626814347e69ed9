// The disk inventory of Windows: every disk Windows numbers
// (\\.\PhysicalDrive0 to 63, gaps included) and every disk WMI names, each
// asked through the ten Windows sources, and the disks that hold the system
// volume.
#pragma once

#include "disks/disk_inventory.h"

namespace hdsn {

struct Platform;

// Needs the NT family (the caller checks); opens and releases everything it
// uses before it returns, and leaves the process's COM security alone.
DiskInventory ListDisks(const Platform& platform);

}  // namespace hdsn
