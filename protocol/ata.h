// What a drive is asked and how its answer is read, whatever system carries
// the bytes: the SCSI command blocks the inventory sends, and readers of the
// raw data that comes back (an ATA IDENTIFY block, NVMe Identify Controller
// data, the SCSI unit serial number page). Each reader takes the bytes that
// came, as many as they are, and reads nothing past them. Texts follow the
// inventory's rules (inventory/disk_text.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "inventory/protocol_layouts.h"

namespace hdsn {

struct SourceTexts {
  std::optional<std::string> serial;
  std::optional<std::string> model;
  std::optional<std::string> firmware;
};

// Each reader trims its texts and decodes nothing: only Windows reports
// serial numbers hex-encoded, and its answer readers decode them.
//
// The texts of ATA IDENTIFY data (at most 512 bytes are read): serial words
// 10-19, firmware 23-26, model 27-46, high byte of each word first; only
// words wholly inside the data.
SourceTexts ReadIdentifyTexts(std::span<const std::uint8_t> data);

// The texts of NVMe Identify Controller data (at most 4096 bytes are read).
SourceTexts ReadNvmeControllerTexts(std::span<const std::uint8_t> data);

// The serial of a unit serial number page (VPD 0x80): from byte 4 for its
// page length, cut to the data. None for a page of another code.
SourceTexts ReadVpdSerialTexts(std::span<const std::uint8_t> page);

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
  cdb[AtaPassThroughCdb16::Command.offset] = layout::kIdCmd;
  return cdb;
}

}  // namespace hdsn
