#include "disks/windows/readers.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string_view>
#include <utility>

#include "disks/windows/layouts.h"
#include "protocol/byte_order.h"

namespace hdsn {
namespace {

using namespace layout;

// STORAGE_BUS_TYPE in its order, BusTypeUnknown (0) to BusTypeNvmeof (20).
constexpr Bus kStorageBusTypes[] = {Bus::kUnknown,
                                    Bus::kScsi,
                                    Bus::kAtapi,
                                    Bus::kAta,
                                    Bus::kIeee1394,
                                    Bus::kSsa,
                                    Bus::kFibre,
                                    Bus::kUsb,
                                    Bus::kRaid,
                                    Bus::kIscsi,
                                    Bus::kSas,
                                    Bus::kSata,
                                    Bus::kSd,
                                    Bus::kMmc,
                                    Bus::kVirtual,
                                    Bus::kFileBackedVirtual,
                                    Bus::kSpaces,
                                    Bus::kNvme,
                                    Bus::kScm,
                                    Bus::kUfs,
                                    Bus::kNvmeOverFabrics};

// The bytes an answer holds: what the request returned, never more than the
// buffer. An answer too short for its header is the step shortStep
// ("short: 6"); one that holds it is read by read(held).
template <typename Read>
auto ReadHeld(const std::uint8_t* answer, std::size_t size, std::uint32_t bytesReturned,
              std::size_t header, Read read, std::string_view shortStep = "short")
    -> decltype(read(std::span<const std::uint8_t>())) {
  const std::size_t limit = std::min<std::size_t>(size, bytesReturned);
  if (limit >= header) return read(std::span(answer, limit));
  decltype(read(std::span<const std::uint8_t>())) tooShort;
  tooShort.error = StepError(shortStep, static_cast<long long>(limit));
  return tooShort;
}

// A terminated text at an offset of the answer; an offset of 0 names none.
std::optional<std::string_view> TextAt(std::span<const std::uint8_t> held, std::uint32_t offset) {
  if (offset == 0 || offset >= held.size()) return std::nullopt;
  const std::string_view rest = AsText(held.subspan(offset));
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

// The IDENTIFY data an answer holds at an offset, as far as it holds it:
// checked, then its texts and identity read.
AnswerRead IdentifyAt(std::span<const std::uint8_t> held, std::uint64_t offset) {
  AnswerRead read = ReadCheckedIdentify(BytesWithin(held, offset, kIdentifyBlockSize));
  read.texts = Decoded(read.texts);
  return read;
}

// The NVMe data of a protocol-specific query's answer: at
// ProtocolDataOffset from the protocol-specific data, ProtocolDataLength
// bytes, as far as the answer holds them.
std::span<const std::uint8_t> ProtocolData(std::span<const std::uint8_t> held) {
  using Descriptor = STORAGE_PROTOCOL_DATA_DESCRIPTOR;
  using Protocol = STORAGE_PROTOCOL_SPECIFIC_DATA;
  // The data's offset counts from the protocol-specific data.
  const std::uint8_t* protocol = held.data() + Descriptor::ProtocolSpecificData.offset;
  const std::uint64_t start =
      Descriptor::ProtocolSpecificData.offset +
      std::uint64_t{LoadLe32(protocol + Protocol::ProtocolDataOffset.offset)};
  return BytesWithin(held, start, LoadLe32(protocol + Protocol::ProtocolDataLength.offset));
}

AnswerRead Identity(DiskIdentity identity) { return {"", {}, std::move(identity)}; }

// A size a field gives: 0 is none.
std::optional<std::uint32_t> NonZero(std::uint32_t value) {
  if (value == 0) return std::nullopt;
  return value;
}

}  // namespace

DiskBus StorageBus(std::uint32_t busType) {
  if (busType < std::size(kStorageBusTypes)) return {kStorageBusTypes[busType]};
  return {Bus::kOther, busType};
}

DescriptorRead ReadDeviceDescriptor(const std::uint8_t* answer, std::size_t size,
                                    std::uint32_t bytesReturned) {
  using Descriptor = STORAGE_DEVICE_DESCRIPTOR;
  return ReadHeld(answer, size, bytesReturned, Descriptor::BusType.end(), [](auto held) {
    auto text = [&](Field offsetField) {
      return TextAt(held, LoadLe32(held.data() + offsetField.offset));
    };
    DescriptorRead read;
    read.busType = LoadLe32(held.data() + Descriptor::BusType.offset);
    read.removable = held[Descriptor::RemovableMedia.offset] != 0;
    read.vendor = Plain(text(Descriptor::VendorIdOffset));
    read.texts.model = Plain(text(Descriptor::ProductIdOffset));
    read.texts.firmware = Plain(text(Descriptor::ProductRevisionOffset));
    read.texts.serial = Serial(text(Descriptor::SerialNumberOffset));
    return read;
  });
}

AnswerRead ReadNvmeIdentify(const std::uint8_t* answer, std::size_t size,
                            std::uint32_t bytesReturned) {
  return ReadHeld(answer, size, bytesReturned, STORAGE_PROTOCOL_DATA_DESCRIPTOR::kSize,
                  [](auto held) {
                    return AnswerRead{"", Decoded(ReadNvmeControllerTexts(ProtocolData(held)))};
                  });
}

AnswerRead ReadNvmeNamespace(const std::uint8_t* answer, std::size_t size,
                             std::uint32_t bytesReturned) {
  return ReadHeld(
      answer, size, bytesReturned, STORAGE_PROTOCOL_DATA_DESCRIPTOR::kSize,
      [](auto held) { return Identity(ReadNvmeNamespaceIdentity(ProtocolData(held))); });
}

AnswerRead ReadDeviceIdDescriptor(const std::uint8_t* answer, std::size_t size,
                                  std::uint32_t bytesReturned) {
  using Descriptor = STORAGE_DEVICE_ID_DESCRIPTOR;
  using Identifier = STORAGE_IDENTIFIER;
  return ReadHeld(answer, size, bytesReturned, Descriptor::Identifiers.offset, [](auto held) {
    DiskIdentity identity;
    const std::uint32_t count = LoadLe32(held.data() + Descriptor::NumberOfIdentifiers.offset);
    std::size_t at = Descriptor::Identifiers.offset;
    // A NextOffset of 0 ends the walk and any other moves it on, so it
    // leaves the answer after as many turns as the answer has bytes at most.
    for (std::uint32_t turn = 0; turn < count && at + Identifier::Identifier.offset <= held.size();
         ++turn) {
      const std::uint8_t* header = held.data() + at;
      const std::size_t length = LoadLe16(header + Identifier::IdentifierSize.offset);
      const std::span<const std::uint8_t> designator =
          BytesWithin(held, at + Identifier::Identifier.offset, length);
      if (designator.size() == length)
        TakeScsiDesignator(
            identity, static_cast<std::uint8_t>(LoadLe32(header + Identifier::CodeSet.offset)),
            static_cast<std::uint8_t>(LoadLe32(header + Identifier::Type.offset)),
            static_cast<std::uint8_t>(LoadLe32(header + Identifier::Association.offset)),
            designator);
      const std::uint16_t next = LoadLe16(header + Identifier::NextOffset.offset);
      if (next == 0) break;
      at += next;
    }
    return Identity(std::move(identity));
  });
}

AnswerRead ReadAccessAlignment(const std::uint8_t* answer, std::size_t size,
                               std::uint32_t bytesReturned) {
  using Descriptor = STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR;
  return ReadHeld(answer, size, bytesReturned, Descriptor::BytesPerPhysicalSector.end(),
                  [](auto held) {
                    DiskIdentity identity;
                    identity.logicalSectorSize =
                        NonZero(LoadLe32(held.data() + Descriptor::BytesPerLogicalSector.offset));
                    identity.physicalSectorSize =
                        NonZero(LoadLe32(held.data() + Descriptor::BytesPerPhysicalSector.offset));
                    return Identity(std::move(identity));
                  });
}

AnswerRead ReadSeekPenalty(const std::uint8_t* answer, std::size_t size,
                           std::uint32_t bytesReturned) {
  using Descriptor = DEVICE_SEEK_PENALTY_DESCRIPTOR;
  return ReadHeld(answer, size, bytesReturned, Descriptor::IncursSeekPenalty.end(), [](auto held) {
    DiskIdentity identity;
    identity.rotational = held[Descriptor::IncursSeekPenalty.offset] != 0;
    return Identity(std::move(identity));
  });
}

AnswerRead ReadDriveGeometry(const std::uint8_t* answer, std::size_t size,
                             std::uint32_t bytesReturned) {
  using Geometry = DISK_GEOMETRY_EX;
  return ReadHeld(answer, size, bytesReturned, Geometry::DiskSize.end(), [](auto held) {
    DiskIdentity identity;
    const auto diskSize =
        static_cast<std::int64_t>(LoadLe64(held.data() + Geometry::DiskSize.offset));
    if (diskSize > 0) identity.size = static_cast<std::uint64_t>(diskSize);
    identity.logicalSectorSize = NonZero(
        LoadLe32(held.data() + Geometry::Geometry.offset + DISK_GEOMETRY::BytesPerSector.offset));
    return Identity(std::move(identity));
  });
}

std::optional<std::uint8_t> ReadScsiLun(const std::uint8_t* answer, std::size_t size,
                                        std::uint32_t bytesReturned) {
  if (std::min<std::size_t>(size, bytesReturned) < SCSI_ADDRESS::Lun.end()) return std::nullopt;
  return answer[SCSI_ADDRESS::Lun.offset];
}

AnswerRead ReadAtaPassThrough(const std::uint8_t* answer, std::size_t size,
                              std::uint32_t bytesReturned) {
  return ReadHeld(answer, size, bytesReturned, ATA_PASS_THROUGH_EX::kSize, [](auto held) {
    // The status register is where the command went.
    const std::uint8_t status =
        held[ATA_PASS_THROUGH_EX::CurrentTaskFile.offset + IDEREGS::bCommandReg.offset];
    if ((status & kAtaStatusError) == 0)
      return IdentifyAt(held, LoadField(held.data(), ATA_PASS_THROUGH_EX::DataBufferOffset));
    char text[32];
    std::snprintf(text, sizeof text, "ata-status: 0x%02x", static_cast<unsigned>(status));
    return AnswerRead{text, {}};
  });
}

AnswerRead ReadSmartIdentify(const std::uint8_t* answer, std::size_t size,
                             std::uint32_t bytesReturned) {
  return ReadHeld(answer, size, bytesReturned, SENDCMDOUTPARAMS::kHeaderSize, [](auto held) {
    // The driver reports a command the drive refused (SMART_IDE_ERROR) or
    // could not send here, while the request itself succeeds.
    if (const std::uint8_t driverError =
            held[SENDCMDOUTPARAMS::DriverStatus.offset + DRIVERSTATUS::bDriverError.offset];
        driverError != 0)
      return AnswerRead{StepError("smart-driver-error", driverError), {}};
    return IdentifyAt(held, SENDCMDOUTPARAMS::bBuffer.offset);
  });
}

AnswerRead ReadScsiPassThrough(const ScsiQuery& query, const std::uint8_t* answer, std::size_t size,
                               std::uint32_t bytesReturned) {
  const auto read = [&](auto held) {
    const std::uint32_t transferred =
        LoadLe32(held.data() + SCSI_PASS_THROUGH::DataTransferLength.offset);
    AnswerRead scsi = ReadScsiAnswer(query, held[SCSI_PASS_THROUGH::ScsiStatus.offset],
                                     BytesWithin(held, ScsiPassThroughBuffer::kData, transferred));
    scsi.texts = Decoded(scsi.texts);
    return scsi;
  };
  return ReadHeld(answer, size, bytesReturned, SCSI_PASS_THROUGH::kSize, read,
                  ScsiStep(query, "short"));
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
