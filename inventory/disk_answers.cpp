#include "inventory/disk_answers.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "app/hard_drive_info.h"
#include "devices/byte_order.h"
#include "devices/device_layouts.h"
#include "inventory/disk_text.h"
#include "inventory/inventory_layouts.h"

namespace hdsn {
namespace {

using namespace layout;

// IDENTIFY words of the three texts.
constexpr int kFirmwareFirstWord = 23;
constexpr int kFirmwareLastWord = 26;
constexpr int kModelFirstWord = 27;
constexpr int kModelLastWord = 46;

// The bytes an answer holds: what the request returned, never more than the
// buffer. False, with the error, when they cannot hold the answer's header.
bool HoldsHeader(std::size_t size, std::uint32_t bytesReturned, std::size_t header,
                 std::size_t& limit, std::string& error) {
  limit = std::min<std::size_t>(size, bytesReturned);
  if (limit >= header) return true;
  error = "short: " + std::to_string(limit);
  return false;
}

// The bytes [offset, offset + width) of an answer that are inside limit.
std::string_view FieldBytes(const std::uint8_t* answer, std::size_t limit, std::uint64_t offset,
                            std::uint64_t width) {
  if (offset >= limit) return {};
  const std::size_t start = static_cast<std::size_t>(offset);
  const std::size_t length =
      static_cast<std::size_t>(std::min<std::uint64_t>(width, limit - start));
  return std::string_view(reinterpret_cast<const char*>(answer) + start, length);
}

std::string_view FieldBytes(const std::uint8_t* data, std::size_t limit, Field field) {
  return FieldBytes(data, limit, field.offset, field.width);
}

// A terminated text at an offset of the answer; an offset of 0 names none.
std::optional<std::string_view> TextAt(const std::uint8_t* answer, std::size_t limit,
                                       std::uint32_t offset) {
  if (offset == 0 || offset >= limit) return std::nullopt;
  const std::string_view rest = FieldBytes(answer, limit, offset, limit);
  return rest.substr(0, std::min(rest.find('\0'), rest.size()));
}

std::optional<std::string> Serial(std::optional<std::string_view> raw) {
  return raw ? SerialText(*raw) : std::nullopt;
}
std::optional<std::string> Plain(std::optional<std::string_view> raw) {
  return raw ? PlainText(*raw) : std::nullopt;
}

// A pointer-sized little-endian field.
std::uint64_t LoadField(const std::uint8_t* at, Field field) {
  std::uint64_t value = LoadLe32(at + field.offset);
  if (field.width == 8) value |= static_cast<std::uint64_t>(LoadLe32(at + field.offset + 4)) << 32;
  return value;
}

// The texts of the IDENTIFY data an answer holds at an offset, as far as
// it holds them.
SourceTexts IdentifyTextsAt(const std::uint8_t* answer, std::size_t limit, std::uint64_t offset) {
  const std::string_view data = FieldBytes(answer, limit, offset, kIdentifyBufferSize);
  return ReadIdentifyTexts(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

}  // namespace

DescriptorRead ReadDeviceDescriptor(const std::uint8_t* answer, std::size_t size,
                                    std::uint32_t bytesReturned) {
  DescriptorRead read;
  std::size_t limit = 0;
  if (!HoldsHeader(size, bytesReturned, STORAGE_DEVICE_DESCRIPTOR::BusType.end(), limit,
                   read.error))
    return read;
  read.busType = LoadLe32(answer + STORAGE_DEVICE_DESCRIPTOR::BusType.offset);
  read.removable = answer[STORAGE_DEVICE_DESCRIPTOR::RemovableMedia.offset] != 0;
  auto text = [&](Field offsetField) {
    return TextAt(answer, limit, LoadLe32(answer + offsetField.offset));
  };
  read.vendor = Plain(text(STORAGE_DEVICE_DESCRIPTOR::VendorIdOffset));
  read.texts.model = Plain(text(STORAGE_DEVICE_DESCRIPTOR::ProductIdOffset));
  read.texts.firmware = Plain(text(STORAGE_DEVICE_DESCRIPTOR::ProductRevisionOffset));
  read.texts.serial = Serial(text(STORAGE_DEVICE_DESCRIPTOR::SerialNumberOffset));
  return read;
}

AnswerRead ReadNvmeIdentify(const std::uint8_t* answer, std::size_t size,
                            std::uint32_t bytesReturned) {
  AnswerRead read;
  std::size_t limit = 0;
  if (!HoldsHeader(size, bytesReturned, STORAGE_PROTOCOL_DATA_DESCRIPTOR::kSize, limit, read.error))
    return read;
  const std::uint8_t* protocolData =
      answer + STORAGE_PROTOCOL_DATA_DESCRIPTOR::ProtocolSpecificData.offset;
  const std::uint64_t start =
      STORAGE_PROTOCOL_DATA_DESCRIPTOR::ProtocolSpecificData.offset +
      static_cast<std::uint64_t>(
          LoadLe32(protocolData + STORAGE_PROTOCOL_SPECIFIC_DATA::ProtocolDataOffset.offset));
  const std::uint64_t length = std::min<std::uint64_t>(
      LoadLe32(protocolData + STORAGE_PROTOCOL_SPECIFIC_DATA::ProtocolDataLength.offset),
      NVME_IDENTIFY_CONTROLLER_DATA::kSize);
  const std::string_view data = FieldBytes(answer, limit, start, length);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  read.texts.serial = SerialText(FieldBytes(bytes, data.size(), NVME_IDENTIFY_CONTROLLER_DATA::SN));
  read.texts.model = PlainText(FieldBytes(bytes, data.size(), NVME_IDENTIFY_CONTROLLER_DATA::MN));
  read.texts.firmware =
      PlainText(FieldBytes(bytes, data.size(), NVME_IDENTIFY_CONTROLLER_DATA::FR));
  return read;
}

SourceTexts ReadIdentifyTexts(const std::uint8_t* data, std::size_t length) {
  // The words that came, in a block of zeros, for the program's one IDENTIFY
  // text conversion, which reads whole blocks.
  IdentifyBlock block{};
  const std::size_t words = std::min(length, block.size()) / 2;
  if (words > 0) std::memcpy(block.data(), data, 2 * words);
  auto text = [&](int first, int last) -> std::optional<std::string_view> {
    if (static_cast<std::size_t>(first) >= words) return std::nullopt;
    return IdentifyWordsToText(block.data(), first, std::min(last, static_cast<int>(words) - 1));
  };
  SourceTexts texts;
  texts.serial = Serial(text(kSerialFirstWord, kSerialLastWord));
  texts.firmware = Plain(text(kFirmwareFirstWord, kFirmwareLastWord));
  texts.model = Plain(text(kModelFirstWord, kModelLastWord));
  return texts;
}

AnswerRead ReadAtaPassThrough(const std::uint8_t* answer, std::size_t size,
                              std::uint32_t bytesReturned) {
  AnswerRead read;
  std::size_t limit = 0;
  if (!HoldsHeader(size, bytesReturned, ATA_PASS_THROUGH_EX::kSize, limit, read.error)) return read;
  const std::uint8_t status =
      answer[ATA_PASS_THROUGH_EX::CurrentTaskFile.offset + IDEREGS::bCommandReg.offset];
  if ((status & kAtaStatusError) != 0) {
    read.error = "ata-status: " + std::to_string(status);
    return read;
  }
  read.texts =
      IdentifyTextsAt(answer, limit, LoadField(answer, ATA_PASS_THROUGH_EX::DataBufferOffset));
  return read;
}

AnswerRead ReadSmartIdentify(const std::uint8_t* answer, std::size_t size,
                             std::uint32_t bytesReturned) {
  AnswerRead read;
  std::size_t limit = 0;
  if (!HoldsHeader(size, bytesReturned, SENDCMDOUTPARAMS::kHeaderSize, limit, read.error))
    return read;
  read.texts = IdentifyTextsAt(answer, limit, SENDCMDOUTPARAMS::bBuffer.offset);
  return read;
}

AnswerRead ReadVpdSerialPage(const std::uint8_t* answer, std::size_t size,
                             std::uint32_t bytesReturned) {
  AnswerRead read;
  std::size_t limit = 0;
  if (!HoldsHeader(size, bytesReturned, SCSI_PASS_THROUGH::kSize, limit, read.error)) return read;
  const std::uint8_t status = answer[SCSI_PASS_THROUGH::ScsiStatus.offset];
  if (status != 0) {
    read.error = "scsi-status: " + std::to_string(status);
    return read;
  }
  // The page as far as it was transferred and returned.
  const std::uint32_t transferred = LoadLe32(answer + SCSI_PASS_THROUGH::DataTransferLength.offset);
  const std::string_view page =
      FieldBytes(answer, limit, ScsiVpdBuffer::kData,
                 std::min<std::uint32_t>(transferred, ScsiVpdBuffer::kDataSize));
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(page.data());
  // A device that answers with another page has not given its serial.
  if (page.size() < VPD_SERIAL_NUMBER_PAGE::SerialNumber.offset ||
      bytes[VPD_SERIAL_NUMBER_PAGE::PageCode.offset] != kVpdSerialNumberPage)
    return read;
  read.texts.serial =
      SerialText(FieldBytes(bytes, page.size(), VPD_SERIAL_NUMBER_PAGE::SerialNumber.offset,
                            bytes[VPD_SERIAL_NUMBER_PAGE::PageLength.offset]));
  return read;
}

}  // namespace hdsn
