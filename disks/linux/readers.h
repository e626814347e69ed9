// Readers of the texts Linux publishes about its disks: the kernel's copy of
// a drive's IDENTIFY data, its numbers and identifiers in sysfs, the udev
// database, the mount table and blkid's cache. Each takes the bytes a file
// gave and reads nothing past them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/ata.h"
#include "protocol/identity.h"

namespace hdsn {

// /sys/class/ata_device/devX.Y/id: the 256 words of IDENTIFY DEVICE as
// hexadecimal text, eight to a line, each word's value as the drive meant
// it. The block holds the words as a drive sends them (low byte first), for
// the shared IDENTIFY reader; `bytes` counts the words read (two bytes
// each). Reading stops at the first token that is not 1 to 4 hex digits.
struct AtaIdWords {
  std::array<std::uint8_t, kIdentifyBlockSize> block{};
  std::size_t bytes = 0;
};
AtaIdWords ReadAtaIdFile(std::string_view text);

// A number sysfs writes in decimal, ended by at most one line feed
// ("976773168\n"); none for any other text or one past 64 bits.
std::optional<std::uint64_t> ReadSysfsNumber(std::string_view text);

// The bytes of an identifier the kernel writes in hex, two digits a byte,
// ended by at most one line feed: a blank between the bytes ("%ph": an NVMe
// namespace's eui), dashes between groups ("%pU": nguid, uuid) or nothing
// between them ("%phN": a wwid after its prefix). Empty for any other text.
std::vector<std::uint8_t> ReadSysfsHex(std::string_view text);

// The identifier a wwid attribute names, taken into the identity: "naa." a
// WWN (a SCSI device's NAA designator); "eui." an EUI-64 of 8 bytes, or of
// 16 an NGUID (an NVMe namespace's, or the SCSI translation of one);
// "uuid." an NVMe namespace's UUID. The others name no identifier: "t10."
// and "name." are texts, "nvme." is the kernel's stand-in built of the
// controller's vendor, serial and model where the namespace has none.
void TakeWwid(DiskIdentity& identity, std::string_view text);

// The value of a property of a udev database entry (lines "E:KEY=VALUE"),
// the first given; nullopt when the entry has none.
std::optional<std::string_view> UdevProperty(std::string_view database, std::string_view key);

// A text udev encoded (ID_MODEL_ENC): each "\xHH" the byte it stands for,
// every other byte as it is.
std::string DecodeUdevText(std::string_view encoded);

// A mount of a mountinfo table: the device numbers of its file system, its
// type ("ext4", "fuse.sshfs") and its source ("/dev/sda2"; may be "none", a
// label or a ZFS dataset).
struct Mount {
  unsigned major = 0;
  unsigned minor = 0;
  std::string type;
  std::string source;
};
// The file system mounted on "/" (the last such line: later mounts hide
// earlier ones).
std::optional<Mount> ReadMountedRoot(std::string_view mountinfo);
// The last mount of the file system with these device numbers.
std::optional<Mount> FindMount(std::string_view mountinfo, unsigned major, unsigned minor);

// The UUID blkid's cache gives the block device with these numbers (its
// DEVNO) or this device node (the text of its entry).
std::optional<std::string> BlkidCacheUuid(std::string_view cache, unsigned major, unsigned minor,
                                          std::string_view node);

// The kernel's names in natural order: sda < sdb < sdz < sdaa, nvme1n1 <
// nvme10n1; names of different kinds by their kind's prefix.
bool NaturalNameLess(std::string_view first, std::string_view second);

}  // namespace hdsn
