// What the drives themselves define, whatever system carries the bytes: the
// SCSI command blocks the inventory sends (INQUIRY, ATA PASS-THROUGH (16) of
// the SCSI / ATA Translation standard), the unit serial number page, the
// IDENTIFY DEVICE words of the texts and the NVMe Identify Controller data.
// Offsets and widths in bytes, in the manner of devices/device_layouts.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devices/device_layouts.h"

namespace hdsn::layout {

// IDENTIFY DEVICE words of the firmware and model texts (the serial's are
// words 10-19: kSerialFirstWord and kSerialLastWord of app/hard_drive_info.h).
inline constexpr int kFirmwareFirstWord = 23;
inline constexpr int kFirmwareLastWord = 26;
inline constexpr int kModelFirstWord = 27;
inline constexpr int kModelLastWord = 46;

// The NVMe identify controller data structure: 4096 bytes, texts in ASCII
// padded with blanks.
struct NVME_IDENTIFY_CONTROLLER_DATA {
  static constexpr Field SN{4, 20};
  static constexpr Field MN{24, 40};
  static constexpr Field FR{64, 8};
  static constexpr std::size_t kSize = 4096;
};
static_assert(Adjacent(NVME_IDENTIFY_CONTROLLER_DATA::SN, NVME_IDENTIFY_CONTROLLER_DATA::MN));
static_assert(Adjacent(NVME_IDENTIFY_CONTROLLER_DATA::MN, NVME_IDENTIFY_CONTROLLER_DATA::FR));

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
