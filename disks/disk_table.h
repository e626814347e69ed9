// The inventory as a table for people: one row per disk, a line per disk
// whose sources disagree, then the system volume.
#pragma once

#include <cstdint>
#include <string>

#include "disks/disk_inventory.h"

namespace hdsn {

// Columns Disk, Bus, Size, Serial, Model, Firmware and Source, as wide as
// their contents, the size aligned to the right; "-" for what is missing,
// '?' for every byte that is not printable ASCII. Each line ends in a line
// feed.
std::string FormatDiskTable(const DiskInventory& inventory);

// A size as lsblk writes it: in powers of 1024 with one of the suffixes
// B, K, M, G, T, P, E, one decimal rounded half up, and no ".0" ("512B",
// "238.5G", "2T").
std::string HumanSize(std::uint64_t bytes);

}  // namespace hdsn
