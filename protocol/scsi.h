// SCSI as hdsn-disks speaks it: the command blocks it sends (INQUIRY of
// the unit serial number, device identification and block device
// characteristics pages, and IDENTIFY DEVICE wrapped in ATA PASS-THROUGH
// (16) of the SCSI / ATA Translation standard), the pages that come back,
// and how an answer is judged. Whatever carries the command
// (IOCTL_SCSI_PASS_THROUGH, SG_IO), the command block, the data asked for,
// the room for sense data and the judgement are the same, and so is every
// error text. Offsets and widths in bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "protocol/ata.h"
#include "protocol/layout.h"
#include "protocol/text.h"

namespace hdsn::layout {

// The 6-byte INQUIRY command block, its allocation length two bytes wide as
// the SCSI Primary Commands standard has it since SPC-3 (the driver kit's
// CDB6INQUIRY3 keeps the older one-byte field).
inline constexpr std::uint8_t kScsiopInquiry = 0x12;
struct InquiryCdb6 {
  static constexpr Field OperationCode{0, 1};
  static constexpr Field EnableVitalProductData{1, 1};  // bit 0
  static constexpr Field PageCode{2, 1};
  static constexpr Field AllocationLength{3, 2};  // big-endian
  static constexpr Field Control{5, 1};
  static constexpr std::size_t kSize = 6;
};
static_assert(InquiryCdb6::Control.end() == InquiryCdb6::kSize);

// The unit serial number page of the vital product data.
inline constexpr std::uint8_t kVpdSerialNumberPage = 0x80;
struct VPD_SERIAL_NUMBER_PAGE {
  static constexpr Field DeviceType{0, 1};  // peripheral qualifier and device type
  static constexpr Field PageCode{1, 1};
  static constexpr Field Reserved{2, 1};
  static constexpr Field PageLength{3, 1};  // bytes after this one
  static constexpr Field SerialNumber{4, 0};
};
static_assert(Adjacent(VPD_SERIAL_NUMBER_PAGE::PageLength, VPD_SERIAL_NUMBER_PAGE::SerialNumber));

// The device identification page: after its header, page length bytes of
// designation descriptors, each a 4-byte header and its designator.
inline constexpr std::uint8_t kVpdDeviceIdentificationPage = 0x83;
struct VPD_IDENTIFICATION_PAGE {
  static constexpr Field DeviceType{0, 1};
  static constexpr Field PageCode{1, 1};
  static constexpr Field PageLength{2, 2};  // big-endian: bytes after this field
  static constexpr Field Descriptors{4, 0};
};
static_assert(Adjacent(VPD_IDENTIFICATION_PAGE::PageLength, VPD_IDENTIFICATION_PAGE::Descriptors));
struct VPD_IDENTIFICATION_DESCRIPTOR {
  static constexpr Field CodeSet{0, 1};         // bits 3:0; the protocol identifier above
  static constexpr Field IdentifierType{1, 1};  // PIV (7), association (5:4), type (3:0)
  static constexpr Field Reserved{2, 1};
  static constexpr Field IdentifierLength{3, 1};
  static constexpr Field Identifier{4, 0};
};
static_assert(Adjacent(VPD_IDENTIFICATION_DESCRIPTOR::IdentifierLength,
                       VPD_IDENTIFICATION_DESCRIPTOR::Identifier));
// The values of a designator this program reads: binary, an EUI-64 or an
// NAA name, naming the logical unit (not a port or the target device).
inline constexpr std::uint8_t kDesignatorCodeSetBinary = 1;
inline constexpr std::uint8_t kDesignatorTypeEui64 = 2;
inline constexpr std::uint8_t kDesignatorTypeNaa = 3;
inline constexpr std::uint8_t kDesignatorAssociationLogicalUnit = 0;

// The block device characteristics page; its medium rotation rate as ATA's
// IDENTIFY word 217 encodes it.
inline constexpr std::uint8_t kVpdBlockDeviceCharacteristicsPage = 0xB1;
struct VPD_BLOCK_DEVICE_CHARACTERISTICS_PAGE {
  static constexpr Field DeviceType{0, 1};
  static constexpr Field PageCode{1, 1};
  static constexpr Field PageLength{2, 2};          // big-endian
  static constexpr Field MediumRotationRate{4, 2};  // big-endian
  static constexpr std::size_t kSize = 64;
};
static_assert(Adjacent(VPD_BLOCK_DEVICE_CHARACTERISTICS_PAGE::PageLength,
                       VPD_BLOCK_DEVICE_CHARACTERISTICS_PAGE::MediumRotationRate));

// ATA PASS-THROUGH (16): an ATA command wrapped in a SCSI command block,
// which most USB-to-SATA bridges pass on to the drive. Each 16-bit register
// is two bytes, the high one (the 48-bit command's) first.
inline constexpr std::uint8_t kScsiopAtaPassThrough16 = 0x85;
struct AtaPassThroughCdb16 {
  static constexpr Field OperationCode{0, 1};
  // MULTIPLE_COUNT (bits 7-5), PROTOCOL (bits 4-1), EXTEND (bit 0).
  static constexpr Field Protocol{1, 1};
  // OFF_LINE (bits 7-6), CK_COND (5), T_TYPE (4), T_DIR (3), BYT_BLOK (2),
  // T_LENGTH (bits 1-0).
  static constexpr Field Transfer{2, 1};
  static constexpr Field Features{3, 2};
  static constexpr Field Count{5, 2};
  static constexpr Field LbaLow{7, 2};
  static constexpr Field LbaMid{9, 2};
  static constexpr Field LbaHigh{11, 2};
  static constexpr Field Device{13, 1};
  static constexpr Field Command{14, 1};
  static constexpr Field Control{15, 1};
  static constexpr std::size_t kSize = 16;
};
static_assert(Adjacent(AtaPassThroughCdb16::Transfer, AtaPassThroughCdb16::Features));
static_assert(Adjacent(AtaPassThroughCdb16::Features, AtaPassThroughCdb16::Count));
static_assert(Adjacent(AtaPassThroughCdb16::Count, AtaPassThroughCdb16::LbaLow));
static_assert(Adjacent(AtaPassThroughCdb16::LbaHigh, AtaPassThroughCdb16::Device));
static_assert(Adjacent(AtaPassThroughCdb16::Device, AtaPassThroughCdb16::Command));
static_assert(AtaPassThroughCdb16::Control.end() == AtaPassThroughCdb16::kSize);
// PROTOCOL: PIO data-in, in bits 4-1.
inline constexpr std::uint8_t kSatProtocolPioDataIn = 4;
inline constexpr unsigned kSatProtocolShift = 1;
// T_DIR: from the device; BYT_BLOK: the length counts blocks; T_LENGTH: the
// length is in the count field.
inline constexpr std::uint8_t kSatTransferFromDevice = 0x08;
inline constexpr std::uint8_t kSatLengthInBlocks = 0x04;
inline constexpr std::uint8_t kSatLengthInCount = 0x02;

}  // namespace hdsn::layout

namespace hdsn {

// The status a SCSI command ends with: GOOD, or CHECK CONDITION with sense
// data.
inline constexpr std::uint8_t kScsiStatusGood = 0;
inline constexpr std::uint8_t kScsiStatusCheckCondition = 2;

// Room for the sense data of a command that fails: fixed-format sense is 18
// bytes, and 32 leave descriptor sense room for the ATA status return.
inline constexpr std::uint8_t kScsiSenseSize = 32;

// The unit serial number page asked for: room for any serial a page holds
// (255 bytes after the header) but a few, and a multiple of 4, which some USB
// bridges want.
inline constexpr std::uint16_t kVpdSerialAllocation = 252;
static_assert(kVpdSerialAllocation % 4 == 0);
// The device identification page asked for: the same room, which holds the
// logical unit's names, its ports' and the target's (a page cut short keeps
// its whole designators); the block device characteristics page is 64 bytes.
inline constexpr std::uint16_t kVpdDeviceIdAllocation = 252;
inline constexpr std::uint16_t kVpdBlockCharacteristicsAllocation =
    layout::VPD_BLOCK_DEVICE_CHARACTERISTICS_PAGE::kSize;

// INQUIRY of a vital product data page, asking for allocationLength bytes.
constexpr std::array<std::uint8_t, layout::InquiryCdb6::kSize> VpdInquiryCdb(
    std::uint8_t pageCode, std::uint16_t allocationLength) {
  using layout::InquiryCdb6;
  std::array<std::uint8_t, InquiryCdb6::kSize> cdb{};
  cdb[InquiryCdb6::OperationCode.offset] = layout::kScsiopInquiry;
  cdb[InquiryCdb6::EnableVitalProductData.offset] = 0x01;
  cdb[InquiryCdb6::PageCode.offset] = pageCode;
  cdb[InquiryCdb6::AllocationLength.offset] = static_cast<std::uint8_t>(allocationLength >> 8);
  cdb[InquiryCdb6::AllocationLength.offset + 1] = static_cast<std::uint8_t>(allocationLength);
  return cdb;
}

// ATA PASS-THROUGH (16) with IDENTIFY DEVICE: PIO data-in, one 512-byte block
// from the device, counted in the count field (high byte first).
constexpr std::array<std::uint8_t, layout::AtaPassThroughCdb16::kSize> SatIdentifyCdb() {
  using layout::AtaPassThroughCdb16;
  std::array<std::uint8_t, AtaPassThroughCdb16::kSize> cdb{};
  cdb[AtaPassThroughCdb16::OperationCode.offset] = layout::kScsiopAtaPassThrough16;
  cdb[AtaPassThroughCdb16::Protocol.offset] = layout::kSatProtocolPioDataIn
                                              << layout::kSatProtocolShift;
  cdb[AtaPassThroughCdb16::Transfer.offset] =
      layout::kSatTransferFromDevice | layout::kSatLengthInBlocks | layout::kSatLengthInCount;
  cdb[AtaPassThroughCdb16::Count.offset + 1] = 1;
  cdb[AtaPassThroughCdb16::Command.offset] = kAtaIdentifyDevice;
  return cdb;
}

inline constexpr auto kSatIdentifyCdb = SatIdentifyCdb();
inline constexpr auto kVpdSerialCdb =
    VpdInquiryCdb(layout::kVpdSerialNumberPage, kVpdSerialAllocation);

inline constexpr auto kVpdDeviceIdCdb =
    VpdInquiryCdb(layout::kVpdDeviceIdentificationPage, kVpdDeviceIdAllocation);
inline constexpr auto kVpdBlockCharacteristicsCdb =
    VpdInquiryCdb(layout::kVpdBlockDeviceCharacteristicsPage, kVpdBlockCharacteristicsAllocation);

// The serial of a unit serial number page (VPD 0x80): from byte 4 for its
// page length, cut to the data; trimmed, never decoded. None for a page of
// another code.
SourceTexts ReadVpdSerialTexts(std::span<const std::uint8_t> page);

// One designator of a device identification page, wherever it was read
// (the page itself, or a system's copy of its descriptors): an NAA name of
// 8 or 16 bytes of the logical unit is its WWN; an EUI-64 designator of 8
// bytes its EUI-64, of 16 bytes (how an NVMe namespace's NGUID is
// translated) its NGUID. Every other designator says nothing here.
void TakeScsiDesignator(DiskIdentity& identity, std::uint8_t codeSet, std::uint8_t type,
                        std::uint8_t association, std::span<const std::uint8_t> designator);
// The designators of a device identification page (VPD 0x83) that lie
// wholly inside its page length and the data. None for a page of another
// code.
DiskIdentity ReadVpdDeviceIdentification(std::span<const std::uint8_t> page);
// The rotation of a block device characteristics page (VPD 0xB1), when its
// page length and the data hold bytes 4-5. None for a page of another code.
DiskIdentity ReadVpdBlockCharacteristics(std::span<const std::uint8_t> page);

// A SCSI command the program sends, the same on every system. `step` starts
// each of its errors: "sat: 1" when the system's pass-through request itself
// failed (with the system's code), "sat-short: 20" for an answer too short
// for the system's header, "sat-host-status: 7" for a host adapter that
// failed it, "sat-status: 2" for a device that ended it with another status
// than GOOD (CHECK CONDITION from a bridge that knows no SAT), "sat-data: 0"
// for a GOOD answer without data where data is needed; and the error of
// `check`, when the query has one, for data that must not be believed.
// `read` and `identify` take what the answer holds of the drive's texts
// and of its identity; either may be none.
struct ScsiQuery {
  const char* step;
  std::span<const std::uint8_t> cdb;
  std::uint32_t dataSize;  // the bytes asked of the device
  bool needsData;
  SourceTexts (*read)(std::span<const std::uint8_t> data);
  DiskIdentity (*identify)(std::span<const std::uint8_t> data) = nullptr;
  std::string (*check)(std::span<const std::uint8_t> data) = nullptr;
};

// ata-identify's SAT step: IDENTIFY DEVICE in ATA PASS-THROUGH (16).
inline constexpr ScsiQuery kSatIdentifyQuery{"sat",
                                             kSatIdentifyCdb,
                                             kIdentifyBlockSize,
                                             /*needsData=*/true,
                                             &ReadIdentifyTexts,
                                             &ReadIdentifyIdentity,
                                             &CheckIdentifyData};
// scsi-vpd80: INQUIRY of the unit serial number page.
inline constexpr ScsiQuery kVpdSerialQuery{"scsi", kVpdSerialCdb, kVpdSerialAllocation,
                                           /*needsData=*/false, &ReadVpdSerialTexts};
// INQUIRY of the device identification and of the block device
// characteristics page; both fail as scsi-vpd80's INQUIRY does.
inline constexpr ScsiQuery kVpdDeviceIdQuery{"scsi",
                                             kVpdDeviceIdCdb,
                                             kVpdDeviceIdAllocation,
                                             /*needsData=*/false,
                                             nullptr,
                                             &ReadVpdDeviceIdentification};
inline constexpr ScsiQuery kVpdBlockCharacteristicsQuery{"scsi",
                                                         kVpdBlockCharacteristicsCdb,
                                                         kVpdBlockCharacteristicsAllocation,
                                                         /*needsData=*/false,
                                                         nullptr,
                                                         &ReadVpdBlockCharacteristics};

// The name of a step of the query: "sat" for an empty failure, "sat-status"
// for "status"; and its error with a code, "sat-status: 2".
std::string ScsiStep(const ScsiQuery& query, std::string_view failure);
std::string ScsiError(const ScsiQuery& query, std::string_view failure, long long code);

// How an answer is judged, on every system: the status the device ended the
// command with, then the data it sent (as far as it came and no further than
// was asked), checked by the query's check and read by its reader.
AnswerRead ReadScsiAnswer(const ScsiQuery& query, std::uint8_t status,
                          std::span<const std::uint8_t> data);

}  // namespace hdsn
