// The machine's fingerprint for licences, the same on every system: the
// HMAC-SHA256, keyed by an application's salt, of a canonical, versioned
// input made of the identifiers of the disks that hold the system. The rule
// is the README's ("The fingerprint"); a change of it is a new version
// (hdsn-fp2), never a new value under the old one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "disks/disk_inventory.h"

namespace hdsn {

class ConsoleInterface;
class HmacInterface;
class OutputFileInterface;
struct DisksOptions;

inline constexpr char kFingerprintVersion[] = "hdsn-fp1";

// The identifier that stands for one disk in the input.
struct FingerprintComponent {
  std::string kind;    // "serial", "wwn", "eui64", "nguid"
  std::string source;  // the source it was settled from
  std::string line;    // its line of the input: kind, TAB, the value escaped, LF
  std::string hmac;    // 64 lowercase hex digits, once made
};

// The components of the inventory, by the bytes of their lines, each line
// once: one per disk that holds the system (system true), is not removable
// and is not on USB, represented by the drive's own serial (never an NVMe
// namespace's identifier that the system gives in its place), else its WWN,
// else its EUI-64, else its NGUID; a disk with none of them has none.
std::vector<FingerprintComponent> FingerprintComponents(const DiskInventory& inventory);

// The version's line, then each component's line.
std::string FingerprintInput(const std::vector<FingerprintComponent>& components);

struct Fingerprint {
  enum class Status { kMade, kNoInput, kNoHmac };
  Status status = Status::kNoInput;
  std::string value;  // "hdsn-fp1:" and 64 lowercase hex digits, when made
  std::vector<FingerprintComponent> components;  // each with its own HMAC, when made
  std::string error;  // kNoHmac: the HMAC's failed step ("bcrypt.dll: 126")
};

// The fingerprint of the inventory keyed by the salt's bytes: the HMAC of
// FingerprintInput, and each component's of the version's line and its own.
// No HMAC is asked for when there is no component.
Fingerprint MakeFingerprint(HmacInterface& hmac, const DiskInventory& inventory,
                            std::string_view salt);

// {"schema_version": 1, "version": "hdsn-fp1", "value": ..., "components": [{"kind": ...,
//  "source": ..., "hmac": ...}, ...]}, ending in a line feed.
std::string FormatFingerprintJson(const Fingerprint& fingerprint);

// hdsn-disks --fingerprint: the value on one line, or with --json the
// document, on standard output or into the output file; returns
// kDisksExitFound. Without an input, or without HMAC, or with an inventory
// that is not whole, the reason on standard error, nothing written, and
// kDisksExitNone. A file that could not be written is kDisksExitOutput.
int PrintFingerprint(ConsoleInterface& console, OutputFileInterface& files, HmacInterface& hmac,
                     const DiskInventory& inventory, const DisksOptions& options);

}  // namespace hdsn
