// What a drive, or a system on its behalf, says a disk is besides its
// texts: the identifiers inventories key on (the world wide name and an
// NVMe namespace's EUI-64, NGUID and UUID), its size and sector sizes, and
// whether its media rotates. Every reader of protocol/ that finds one of
// them fills this; nothing here knows a system.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hdsn {

// An identifier a drive gave that names nothing: all its bytes 00h ("all
// zero") or FFh ("all FFh"), as drives and bridges write where they have
// none. The identifier is then none, and this says why.
struct Placeholder {
  std::string field;   // "wwn", "eui64", "nguid", "uuid"
  std::string reason;  // "all zero", "all FFh"
};

// Each nullopt when not given.
struct DiskIdentity {
  // "0x" and 16 lowercase hex digits, 32 for an NAA 6 name: lsblk's WWN
  // and udev's ID_WWN_WITH_EXTENSION.
  std::optional<std::string> wwn;
  std::optional<std::string> eui64;   // 16 lowercase hex digits
  std::optional<std::string> nguid;   // 32 lowercase hex digits
  std::optional<std::string> uuid;    // 8-4-4-4-12, lowercase
  std::optional<std::uint64_t> size;  // bytes
  std::optional<std::uint32_t> logicalSectorSize;
  std::optional<std::uint32_t> physicalSectorSize;
  std::optional<bool> rotational;
  std::optional<std::uint32_t> rotationRate;  // revolutions per minute
  std::vector<Placeholder> placeholders;

  // Out of line: copies and moves of the texts are made in one place, not
  // at every answer read and source kept, which would grow the Windows
  // images by tens of kilobytes.
  DiskIdentity();
  DiskIdentity(const DiskIdentity& other);
  DiskIdentity(DiskIdentity&& other) noexcept;
  DiskIdentity& operator=(const DiskIdentity& other);
  DiskIdentity& operator=(DiskIdentity&& other) noexcept;
  ~DiskIdentity();
};

enum class IdentifierKind { kWwn, kEui64, kNguid, kUuid };

// "wwn", "eui64", "nguid", "uuid": the identifier's name in the document.
const char* IdentifierName(IdentifierKind kind);

// The identifier of these bytes, in its kind's form; a placeholder is noted
// instead. Where the identity already holds one of the kind, the first
// given stays.
void TakeIdentifier(DiskIdentity& identity, IdentifierKind kind,
                    std::span<const std::uint8_t> bytes);

// A nominal media rotation rate as ATA (IDENTIFY word 217) and SCSI (VPD
// page B1h, bytes 4-5) both encode it: 1 for media that do not rotate,
// 0401h to FFFEh the rate itself; 0 (not reported) and the reserved values
// say nothing.
void TakeRotationRate(DiskIdentity& identity, std::uint16_t nominal);

// Lowercase hexadecimal digits of the bytes, two a byte.
std::string HexDigits(std::span<const std::uint8_t> bytes);

// The product of a block count and a block size in bytes; none when it
// does not fit in 64 bits or either is 0.
std::optional<std::uint64_t> BlocksToBytes(std::uint64_t blocks, std::uint64_t blockSize);

}  // namespace hdsn
