// What the hdsn-disks programs of both systems share: the arguments, the
// usage, the two formats and the exit status. Each system's program
// (disks/<system>/program.cpp) adds its paragraph on the sources and lists
// the disks in between.
#pragma once

#include <optional>
#include <string>

#include "disks/disk_inventory.h"

namespace hdsn {

class ConsoleInterface;

// The exit status: 0 when at least one disk has a serial number, 1 when none
// has (or, on Windows, the system is not of the NT family), 2 for a usage
// error.
inline constexpr int kDisksExitFound = 0;
inline constexpr int kDisksExitNone = 1;
inline constexpr int kDisksExitUsage = 2;

struct DisksOptions {
  bool json = false;
  // --fingerprint [--salt TEXT]: the machine's fingerprint (disks/fingerprint.h)
  // instead of the disks; the salt as given, none when not.
  bool fingerprint = false;
  std::optional<std::string> salt;
};

// Reads the arguments. The usage is the shared lines around `sources`, the
// system's paragraph on what it asks. nullopt: go on and list the disks; else the exit
// status, after the usage was printed (--help on standard output, an unknown
// option with it on standard error).
std::optional<int> ParseDisksArguments(ConsoleInterface& console, int argc, const char* const* argv,
                                       const char* sources, DisksOptions& options);

// Prints the inventory as asked; returns the exit status: kDisksExitFound
// when a disk has a serial number, else kDisksExitNone. An inventory that is
// not whole prints its error on standard error, nothing on standard output,
// and is kDisksExitNone.
int PrintDisks(ConsoleInterface& console, const DiskInventory& inventory,
               const DisksOptions& options);

}  // namespace hdsn
