// What the hdsn-disks programs of both systems share: the arguments, the
// two formats and the exit status.
#pragma once

#include <optional>

#include "inventory/disk_inventory.h"

namespace hdsn {

class ConsoleInterface;

struct DisksOptions {
  bool json = false;
};

// Reads the arguments. The usage is the shared lines around `sources`, the
// system's paragraph on what it asks. nullopt: go on and list the disks; else the exit
// status, after the usage was printed (--help on standard output, an unknown
// option with it on standard error).
std::optional<int> ParseDisksArguments(ConsoleInterface& console, int argc, const char* const* argv,
                                       const char* sources, DisksOptions& options);

// Prints the inventory as asked; returns the exit status: kDisksExitFound
// when a disk has a serial number, else kDisksExitNone.
int PrintDisks(ConsoleInterface& console, const DiskInventory& inventory,
               const DisksOptions& options);

}  // namespace hdsn
