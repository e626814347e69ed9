// What the hdsn-disks programs of both systems share: the arguments, the
// usage, the formats, the output file and the exit status. Each system's program
// (disks/<system>/program.cpp) adds its paragraph on the sources and lists
// the disks in between.
#pragma once

#include <optional>
#include <string>

#include "disks/disk_inventory.h"

namespace hdsn {

class ConsoleInterface;
class OutputFileInterface;

// The exit status: 0 when at least one disk has a serial number, 1 when none
// has (or, on Windows, the system is not of the NT family), 2 for a usage
// error, 3 when the output file could not be written.
inline constexpr int kDisksExitFound = 0;
inline constexpr int kDisksExitNone = 1;
inline constexpr int kDisksExitUsage = 2;
inline constexpr int kDisksExitOutput = 3;

struct DisksOptions {
  bool json = false;
  bool prometheus = false;
  // --output FILE: the document goes there whole (disks/whole_file.h), not
  // to standard output.
  std::optional<std::string> output;
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

// Writes a whole document where the options say: into the output file, or
// on standard output. false when the file could not be written, which is
// said on standard error.
bool EmitDocument(ConsoleInterface& console, OutputFileInterface& files,
                  const DisksOptions& options, const std::string& text);

// Prints the inventory as asked, on standard output or into the output
// file; returns the exit status: kDisksExitFound when a disk has a serial
// number, else kDisksExitNone. An inventory that is not whole prints its
// error on standard error, nothing on standard output nor into a file, and
// is kDisksExitNone. A file that could not be written is said on standard
// error and is kDisksExitOutput.
int PrintDisks(ConsoleInterface& console, OutputFileInterface& files,
               const DiskInventory& inventory, const DisksOptions& options);

}  // namespace hdsn
