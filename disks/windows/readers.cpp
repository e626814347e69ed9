#include "inventory/disk_answers.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "app/hard_drive_info.h"
#include "devices/byte_order.h"
#include "devices/device_layouts.h"
#include "inventory/disk_text.h"
#include "inventory/inventory_layouts.h"

namespace hdsn {
namespace {

using namespace layout;

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

// Some Windows versions hand every source's serial on hex-encoded.
SourceTexts Decoded(SourceTexts texts) {
  if (texts.serial) texts.serial = SerialText(*texts.serial);
  return texts;
}

// A pointer-sized little-endian field.
std::uint64_t LoadField(const std::uint8_t* at, Field field) {
  std::uint64_t value = LoadLe32(at + field.offset);
  if (field.width == 8) value |= static_cast<std::uint64_t>(LoadLe32(at + field.offset + 4)) << 32;
  return value;
}

std::span<const std::uint8_t> AsBytes(std::string_view bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// The texts of the IDENTIFY data an answer holds at an offset, as far as
// it holds them.
SourceTexts IdentifyTextsAt(const std::uint8_t* answer, std::size_t limit, std::uint64_t offset) {
  return Decoded(
      ReadIdentifyTexts(AsBytes(FieldBytes(answer, limit, offset, kIdentifyBufferSize))));
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
  read.texts = Decoded(ReadNvmeControllerTexts(AsBytes(FieldBytes(answer, limit, start, length))));
  return read;
}

AnswerRead ReadAtaPassThrough(const std::uint8_t* answer, std::size_t size,
                              std::uint32_t bytesReturned) {
  AnswerRead read;
  std::size_t limit = 0;
  if (!HoldsHeader(size, bytesReturned, ATA_PASS_THROUGH_EX::kSize, limit, read.error)) return read;
  const std::uint8_t status =
      answer[ATA_PASS_THROUGH_EX::CurrentTaskFile.offset + IDEREGS::bCommandReg.offset];
  if ((status & kAtaStatusError) != 0) {
    char text[32];
    std::snprintf(text, sizeof text, "ata-status: 0x%02x", static_cast<unsigned>(status));
    read.error = text;
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
  // The driver reports a command the drive refused (SMART_IDE_ERROR) or
  // could not send here, while the request itself succeeds.
  const std::uint8_t driverError =
      answer[SENDCMDOUTPARAMS::DriverStatus.offset + DRIVERSTATUS::bDriverError.offset];
  if (driverError != 0) {
    read.error = "smart-driver-error: " + std::to_string(driverError);
    return read;
  }
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
  read.texts = Decoded(ReadVpdSerialTexts(AsBytes(page)));
  return read;
}

AnswerRead ReadSatIdentify(const std::uint8_t* answer, std::size_t size,
                           std::uint32_t bytesReturned) {
  AnswerRead read;
  std::size_t limit = 0;
  if (!HoldsHeader(size, bytesReturned, SCSI_PASS_THROUGH::kSize, limit, read.error)) {
    read.error = "sat-" + read.error;
    return read;
  }
  const std::uint8_t status = answer[SCSI_PASS_THROUGH::ScsiStatus.offset];
  if (status != 0) {
    read.error = "sat-status: " + std::to_string(status);
    return read;
  }
  const std::uint32_t transferred = LoadLe32(answer + SCSI_PASS_THROUGH::DataTransferLength.offset);
  const std::string_view data =
      FieldBytes(answer, limit, ScsiSatBuffer::kData,
                 std::min<std::uint32_t>(transferred, ScsiSatBuffer::kDataSize));
  if (data.empty()) {
    read.error = "sat-data: 0";
    return read;
  }
  read.texts = Decoded(ReadIdentifyTexts(AsBytes(data)));
  return read;
}

std::vector<std::uint32_t> ReadVolumeDiskNumbers(const std::uint8_t* answer, std::size_t size,
                                                 std::uint32_t bytesReturned) {
  std::vector<std::uint32_t> disks;
  const std::size_t limit = std::min<std::size_t>(size, bytesReturned);
  if (limit < VOLUME_DISK_EXTENTS::Extents.offset) return disks;
  const std::size_t whole = (limit - VOLUME_DISK_EXTENTS::Extents.offset) / DISK_EXTENT::kSize;
  const std::size_t count = std::min<std::size_t>(
      LoadLe32(answer + VOLUME_DISK_EXTENTS::NumberOfDiskExtents.offset), whole);
  for (std::size_t at = 0; at < count; ++at) {
    const std::uint8_t* extent =
        answer + VOLUME_DISK_EXTENTS::Extents.offset + at * DISK_EXTENT::kSize;
    disks.push_back(LoadLe32(extent + DISK_EXTENT::DiskNumber.offset));
  }
  return disks;
}

std::optional<std::uint32_t> ReadDiskDeviceNumber(const std::uint8_t* answer, std::size_t size,
                                                  std::uint32_t bytesReturned) {
  if (std::min<std::size_t>(size, bytesReturned) < STORAGE_DEVICE_NUMBER::DeviceNumber.end() ||
      LoadLe32(answer + STORAGE_DEVICE_NUMBER::DeviceType.offset) != kFileDeviceDisk)
    return std::nullopt;
  return LoadLe32(answer + STORAGE_DEVICE_NUMBER::DeviceNumber.offset);
}

}  // namespace hdsn
