// The inventory as a table for people: one row per disk, a line per disk
// whose sources disagree, then the system volume.
#pragma once

#include <string>

#include "disks/disk_inventory.h"

namespace hdsn {

// Columns Disk, Bus, Serial, Model, Firmware and Source, as wide as their
// contents; "-" for what is missing, '?' for every byte that is not
// printable ASCII. Each line ends in a line feed.
std::string FormatDiskTable(const DiskInventory& inventory);

}  // namespace hdsn
