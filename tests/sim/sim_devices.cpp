#include "sim/sim_devices.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "devices/device_layouts.h"
#include "protocol/ata.h"
#include "protocol/byte_order.h"
#include "protocol/nvme.h"
#include "protocol/scsi.h"
#include "sim/call_log.h"

namespace hdsn::sim {

using namespace hdsn::layout;

namespace {

constexpr std::uint32_t kStorageAnswerLimit = 10000;

void PutAtaText(IdentifyBlock& block, int firstWord, int words, const std::string& text) {
  for (int k = 0; k < 2 * words; ++k) {
    const char c = k < static_cast<int>(text.size()) ? text[static_cast<std::size_t>(k)] : ' ';
    // The first character of each word sits in its high byte.
    block[static_cast<std::size_t>(2 * (firstWord + k / 2) + (k % 2 == 0 ? 1 : 0))] =
        static_cast<std::uint8_t>(c);
  }
}

// "\\.\" followed by the name and a decimal index without leading zeros, and
// the suffix; -1 when the path is not of that form.
int PathIndex(const std::string& path, const std::string& name, const std::string& suffix) {
  const std::string prefix = "\\\\.\\" + name;
  if (path.size() <= prefix.size() + suffix.size() || path.compare(0, prefix.size(), prefix) != 0 ||
      path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
    return -1;
  const std::string digits =
      path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
  if (digits.size() > 4 || (digits.size() > 1 && digits[0] == '0')) return -1;
  int index = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    index = index * 10 + (c - '0');
  }
  return index;
}

bool IsVxdPath(const std::string& path) { return path == kLegacyVxdPath; }

// The access a control code demands of the handle, from its CTL_CODE bits.
bool HasAccessFor(std::uint32_t code, std::uint32_t access) {
  const std::uint32_t required = (code >> 14) & 3;
  if ((required & kFileReadAccess) != 0 && (access & kGenericRead) == 0) return false;
  if ((required & kFileWriteAccess) != 0 && (access & kGenericWrite) == 0) return false;
  return true;
}

DriverAnswer Refuse(std::uint32_t error) { return {{}, error}; }

DriverAnswer Written(const std::uint8_t* bytes, std::size_t count) {
  return {Bytes(bytes, bytes + count), 0};
}

DriverAnswer AnswerSmartVersion(const SimPhysicalDrive& drive, const Bytes&,
                                std::uint32_t outSize) {
  if (!drive.smart) return Refuse(kErrorInvalidFunction);
  if (outSize < GETVERSIONINPARAMS::kSize) return Refuse(kErrorInsufficientBuffer);
  std::uint8_t version[GETVERSIONINPARAMS::kSize] = {};
  version[GETVERSIONINPARAMS::bVersion.offset] = 1;
  version[GETVERSIONINPARAMS::bRevision.offset] = 1;
  version[GETVERSIONINPARAMS::bIDEDeviceMap.offset] = drive.deviceMap;
  StoreLe32(version + GETVERSIONINPARAMS::fCapabilities.offset, 7);
  return Written(version, sizeof version);
}

DriverAnswer AnswerSmartIdentify(const SimPhysicalDrive& drive, const Bytes& input,
                                 std::uint32_t outSize) {
  if (!drive.smart) return Refuse(kErrorInvalidFunction);
  if (input.size() < SENDCMDINPARAMS::kSizeWithoutBuffer) return Refuse(kErrorInvalidParameter);
  if (outSize < SENDCMDOUTPARAMS::kIdentifyAnswerSize) return Refuse(kErrorInsufficientBuffer);
  // A device aborts the identify command that is not of its kind.
  const std::uint8_t command = input[InParamsRegister(IDEREGS::bCommandReg)];
  if (command != (drive.kind == DriveKind::kAta ? kAtaIdentifyDevice : kAtaIdentifyPacketDevice))
    return Refuse(kErrorGenFailure);
  std::uint8_t reply[SENDCMDOUTPARAMS::kIdentifyAnswerSize] = {};
  StoreLe32(reply + SENDCMDOUTPARAMS::cBufferSize.offset,
            static_cast<std::uint32_t>(kIdentifyBlockSize));
  std::memcpy(reply + SENDCMDOUTPARAMS::bBuffer.offset, drive.identify.data(), kIdentifyBlockSize);
  return Written(reply, sizeof reply);
}

// The answer of an NVMe drive's protocol-specific query: the controller's
// data (CNS 1) on its property, the namespace's (CNS 0) on its own for its
// namespace ID; none for anything else.
const std::optional<Bytes>* NvmeAnswer(const SimPhysicalDrive& drive, const Bytes& input,
                                       std::uint32_t property) {
  using Specific = STORAGE_PROTOCOL_SPECIFIC_DATA;
  constexpr std::size_t kSpecific = STORAGE_PROPERTY_QUERY::AdditionalParameters.offset;
  if (input.size() < kSpecific + Specific::kSize) return nullptr;
  const std::uint32_t cns =
      LoadLe32(input.data() + kSpecific + Specific::ProtocolDataRequestValue.offset);
  const std::uint32_t nsid =
      LoadLe32(input.data() + kSpecific + Specific::ProtocolDataRequestSubValue.offset);
  if (cns == kNvmeIdentifyCnsController && property == drive.nvmeProperty) return &drive.nvmeAnswer;
  if (cns == kNvmeIdentifyCnsNamespace && property == drive.nvmeNamespaceProperty &&
      nsid == drive.namespaceId)
    return &drive.nvmeNamespaceAnswer;
  return nullptr;
}

DriverAnswer AnswerStorageQuery(const SimPhysicalDrive& drive, const Bytes& input, std::uint32_t) {
  if (input.size() < STORAGE_PROPERTY_QUERY::kSize) return Refuse(kErrorInvalidParameter);
  // A property the drive answers, with PropertyStandardQuery (0).
  const std::uint32_t property = LoadLe32(input.data() + STORAGE_PROPERTY_QUERY::PropertyId.offset);
  const std::optional<Bytes>* answer = nullptr;
  switch (property) {
    case kStorageDeviceProperty:
      answer = &drive.storageDescriptor;
      break;
    case kStorageDeviceIdProperty:
      answer = &drive.deviceIdDescriptor;
      break;
    case kStorageAccessAlignmentProperty:
      answer = &drive.alignmentDescriptor;
      break;
    case kStorageDeviceSeekPenaltyProperty:
      answer = &drive.seekPenaltyDescriptor;
      break;
    case kStorageAdapterProtocolSpecificProperty:
    case kStorageDeviceProtocolSpecificProperty:
      answer = NvmeAnswer(drive, input, property);
      break;
    default:
      break;
  }
  if (LoadLe32(input.data() + STORAGE_PROPERTY_QUERY::QueryType.offset) != 0 || answer == nullptr ||
      !*answer)
    return Refuse(kErrorInvalidFunction);
  return {**answer, 0};
}

DriverAnswer AnswerScsiAddress(const SimPhysicalDrive& drive, const Bytes&, std::uint32_t outSize) {
  if (!drive.lun) return Refuse(kErrorInvalidFunction);
  if (outSize < SCSI_ADDRESS::kSize) return Refuse(kErrorInsufficientBuffer);
  Bytes address(SCSI_ADDRESS::kSize, 0);
  StoreLe32(address.data() + SCSI_ADDRESS::Length.offset, SCSI_ADDRESS::kSize);
  address[SCSI_ADDRESS::PortNumber.offset] = 1;
  address[SCSI_ADDRESS::Lun.offset] = *drive.lun;
  return {address, 0};
}

DriverAnswer AnswerGeometry(const SimPhysicalDrive& drive, const Bytes&, std::uint32_t outSize) {
  if (!drive.geometry) return Refuse(kErrorInvalidFunction);
  if (outSize < DISK_GEOMETRY_EX::Data.offset) return Refuse(kErrorInsufficientBuffer);
  return {*drive.geometry, 0};
}

// The pass-through requests: the header of this build's pointer size and
// the data at its DataBufferOffset, in one buffer. The answer holds the
// header as sent, as far as the data offset; none for a malformed request.
template <typename Header>
std::optional<Bytes> PassThroughReply(const Bytes& input, std::uint32_t outSize) {
  if (input.size() < Header::kSize || LoadLe16(input.data()) != Header::kSize) return std::nullopt;
  const std::uint32_t offset = LoadLe32(input.data() + Header::DataBufferOffset.offset);
  if (offset < Header::kSize ||
      std::uint64_t{offset} + LoadLe32(input.data() + Header::DataTransferLength.offset) > outSize)
    return std::nullopt;
  Bytes reply(input.begin(), input.begin() + Header::kSize);
  reply.resize(offset, 0);
  return reply;
}

DriverAnswer AnswerAtaPassThrough(const SimPhysicalDrive& drive, const Bytes& input,
                                  std::uint32_t outSize) {
  using Header = ATA_PASS_THROUGH_EX;
  std::optional<Bytes> reply = PassThroughReply<Header>(input, outSize);
  if (!drive.ataPassThrough) return Refuse(kErrorInvalidFunction);
  if (!reply) return Refuse(kErrorInvalidParameter);
  // Status DRDY and DSC and the data; ERR, and ABRT in the error register,
  // for a command the device does not take.
  std::uint8_t* registers = reply->data() + Header::CurrentTaskFile.offset;
  const bool identify =
      registers[IDEREGS::bCommandReg.offset] == kAtaIdentifyDevice && drive.kind == DriveKind::kAta;
  registers[IDEREGS::bCommandReg.offset] = identify ? 0x50 : 0x51;
  registers[0] = identify ? 0x00 : 0x04;
  if (identify) reply->insert(reply->end(), drive.identify.begin(), drive.identify.end());
  return {*reply, 0};
}

DriverAnswer AnswerScsiPassThrough(const SimPhysicalDrive& drive, const Bytes& input,
                                   std::uint32_t outSize) {
  using Header = SCSI_PASS_THROUGH;
  std::optional<Bytes> reply = PassThroughReply<Header>(input, outSize);
  if (!reply) return Refuse(kErrorInvalidParameter);
  // INQUIRY, EVPD, page 0x80: GOOD and the page, as far as the allocation
  // length (bytes 3-4) and the transfer length allow; any other: CHECK
  // CONDITION and no data.
  // ATA PASS-THROUGH (16) with IDENTIFY DEVICE, PIO data-in, one block in
  // the count field: GOOD and the block, as far as the transfer length allows.
  const std::uint8_t* cdb = input.data() + Header::Cdb.offset;
  std::uint8_t* transfer = reply->data() + Header::DataTransferLength.offset;
  std::size_t count = 0;
  const Bytes* data = nullptr;
  using Sat = AtaPassThroughCdb16;
  Bytes identify(drive.identify.begin(), drive.identify.end());
  if (drive.vpdPage && cdb[0] == kScsiopInquiry && cdb[1] == 1 && cdb[2] == kVpdSerialNumberPage) {
    data = &*drive.vpdPage;
    count = std::min(
        {data->size(), std::size_t{cdb[3]} << 8 | cdb[4], std::size_t{LoadLe32(transfer)}});
  } else if (drive.sat && drive.kind == DriveKind::kAta &&
             cdb[Sat::OperationCode.offset] == kScsiopAtaPassThrough16 &&
             cdb[Sat::Protocol.offset] == kSatProtocolPioDataIn << kSatProtocolShift &&
             cdb[Sat::Transfer.offset] ==
                 (kSatTransferFromDevice | kSatLengthInBlocks | kSatLengthInCount) &&
             cdb[Sat::Count.offset] == 0 && cdb[Sat::Count.offset + 1] == 1 &&
             cdb[Sat::Command.offset] == kAtaIdentifyDevice) {
    data = &identify;
    count = std::min<std::size_t>(data->size(), LoadLe32(transfer));
  } else {
    (*reply)[Header::ScsiStatus.offset] = 2;
  }
  StoreLe32(transfer, static_cast<std::uint32_t>(count));
  if (count == 0)
    reply->resize(Header::kSize);
  else
    reply->insert(reply->end(), data->begin(), data->begin() + static_cast<std::ptrdiff_t>(count));
  return {*reply, 0};
}

DriverAnswer AnswerMediaSerial(const SimPhysicalDrive& drive, const Bytes&, std::uint32_t) {
  if (!drive.mediaSerial) return Refuse(kErrorInvalidFunction);
  return {*drive.mediaSerial, 0};
}

// A SCSI port's miniport: IDENTIFY DEVICE for targets 0 and 1.
DriverAnswer AnswerMiniport(const SimScsiPort& port, const Bytes& input, std::uint32_t outSize) {
  using Buffer = MiniportIdentifyBuffer;
  if (input.size() < Buffer::kInputSize) return Refuse(kErrorInvalidParameter);
  const std::uint8_t* header = input.data();
  if (LoadLe32(header + SRB_IO_CONTROL::HeaderLength.offset) != SRB_IO_CONTROL::kSize ||
      std::memcmp(header + SRB_IO_CONTROL::Signature.offset, kMiniportSignature,
                  SRB_IO_CONTROL::Signature.width) != 0 ||
      LoadLe32(header + SRB_IO_CONTROL::ControlCode.offset) != kIoctlScsiMiniportIdentify)
    return Refuse(kErrorInvalidFunction);
  const std::uint32_t length = LoadLe32(header + SRB_IO_CONTROL::Length.offset);
  constexpr std::size_t kReplySize = SRB_IO_CONTROL::kSize + SENDCMDOUTPARAMS::kIdentifyAnswerSize;
  if (length < SENDCMDOUTPARAMS::kIdentifyAnswerSize || outSize < kReplySize ||
      outSize < SRB_IO_CONTROL::kSize + std::size_t{length})
    return Refuse(kErrorInsufficientBuffer);
  if (input[Buffer::kInParams + InParamsRegister(IDEREGS::bCommandReg)] != kAtaIdentifyDevice)
    return Refuse(kErrorInvalidFunction);

  std::uint8_t reply[kReplySize] = {};
  std::memcpy(reply, header, SRB_IO_CONTROL::kSize);
  StoreLe32(reply + SRB_IO_CONTROL::ReturnCode.offset, 0);
  const std::uint8_t target = input[Buffer::kInParams + SENDCMDINPARAMS::bDriveNumber.offset];
  // An empty target answers with a blank block.
  if (target < 2 && port.targets[target]) {
    StoreLe32(reply + Buffer::kOutParams + SENDCMDOUTPARAMS::cBufferSize.offset,
              static_cast<std::uint32_t>(kIdentifyBlockSize));
    std::memcpy(reply + Buffer::kIdentifyBlock, port.targets[target]->data(), kIdentifyBlockSize);
  }
  return Written(reply, sizeof reply);
}

}  // namespace

IdentifyBlock MakeIdentifyBlock(const std::string& serial, const std::string& model,
                                DriveKind kind) {
  IdentifyBlock block{};
  // Word 0: a fixed ATA disk, or an ATAPI removable CD-ROM device.
  StoreLe16(block.data(), kind == DriveKind::kAta ? 0x0040 : 0x85C0);
  PutAtaText(block, kSerialFirstWord, kSerialLastWord - kSerialFirstWord + 1, serial);
  PutAtaText(block, 23, 4, "1.0");
  PutAtaText(block, 27, 20, model);
  return block;
}

Bytes MakeStorageDescriptor(std::uint32_t serialOffset, const std::string& serialText) {
  Bytes answer(STORAGE_DEVICE_DESCRIPTOR::kSize, 0);
  const std::uint64_t end = std::uint64_t{serialOffset} + serialText.size();
  if (!serialText.empty() && end <= kStorageAnswerLimit) {
    answer.resize(std::max<std::size_t>(answer.size(), static_cast<std::size_t>(end)));
    std::memcpy(answer.data() + serialOffset, serialText.data(), serialText.size());
  }
  StoreLe32(answer.data() + STORAGE_DEVICE_DESCRIPTOR::Version.offset,
            static_cast<std::uint32_t>(STORAGE_DEVICE_DESCRIPTOR::kSize));
  StoreLe32(answer.data() + STORAGE_DEVICE_DESCRIPTOR::Size.offset,
            static_cast<std::uint32_t>(answer.size()));
  StoreLe32(answer.data() + STORAGE_DEVICE_DESCRIPTOR::SerialNumberOffset.offset, serialOffset);
  return answer;
}

Bytes MakeDeviceDescriptor(std::uint32_t busType, const std::string& vendor,
                           const std::string& product, const std::string& revision,
                           const std::string& serial, bool removable) {
  using Descriptor = STORAGE_DEVICE_DESCRIPTOR;
  Bytes answer = MakeStorageDescriptor(0, "");
  answer[Descriptor::RemovableMedia.offset] = removable ? 1 : 0;
  StoreLe32(answer.data() + Descriptor::BusType.offset, busType);
  const std::pair<Field, const std::string*> texts[] = {
      {Descriptor::VendorIdOffset, &vendor},
      {Descriptor::ProductIdOffset, &product},
      {Descriptor::ProductRevisionOffset, &revision},
      {Descriptor::SerialNumberOffset, &serial}};
  for (const auto& [field, text] : texts) {
    if (text->empty()) continue;
    StoreLe32(answer.data() + field.offset, static_cast<std::uint32_t>(answer.size()));
    answer.insert(answer.end(), text->begin(), text->end());
    answer.push_back(0);
  }
  StoreLe32(answer.data() + Descriptor::Size.offset, static_cast<std::uint32_t>(answer.size()));
  return answer;
}

Bytes MakeNvmeAnswer(const std::string& serial, const std::string& model,
                     const std::string& firmware) {
  using Descriptor = STORAGE_PROTOCOL_DATA_DESCRIPTOR;
  using Specific = STORAGE_PROTOCOL_SPECIFIC_DATA;
  using Identify = NVME_IDENTIFY_CONTROLLER_DATA;
  Bytes answer(Descriptor::kSize + Identify::kSize, 0);
  std::uint8_t* specific = answer.data() + Descriptor::ProtocolSpecificData.offset;
  StoreLe32(specific + Specific::ProtocolType.offset, kProtocolTypeNvme);
  StoreLe32(specific + Specific::ProtocolDataOffset.offset, Specific::kSize);
  StoreLe32(specific + Specific::ProtocolDataLength.offset, Identify::kSize);
  for (const auto& [field, text] : {std::pair{Identify::SN, serial}, std::pair{Identify::MN, model},
                                    std::pair{Identify::FR, firmware}}) {
    for (std::size_t k = 0; k < field.width; ++k)
      specific[Specific::kSize + field.offset + k] = k < text.size() ? text[k] : ' ';
  }
  return answer;
}

Bytes MakeVpdSerialPage(const std::string& serial) {
  Bytes page(VPD_SERIAL_NUMBER_PAGE::SerialNumber.offset + serial.size(), 0);
  page[VPD_SERIAL_NUMBER_PAGE::PageCode.offset] = kVpdSerialNumberPage;
  page[VPD_SERIAL_NUMBER_PAGE::PageLength.offset] = static_cast<std::uint8_t>(serial.size());
  std::copy(serial.begin(), serial.end(),
            page.begin() + VPD_SERIAL_NUMBER_PAGE::SerialNumber.offset);
  return page;
}

Bytes MakeMediaSerial(const std::string& text) {
  const std::size_t at = MEDIA_SERIAL_NUMBER_DATA::SerialNumberData.offset;
  Bytes answer(at + text.size() + 1, 0);
  StoreLe32(answer.data() + MEDIA_SERIAL_NUMBER_DATA::SerialNumberLength.offset,
            static_cast<std::uint32_t>(text.size()));
  std::memcpy(answer.data() + at, text.data(), text.size());
  return answer;
}

Bytes MakeVxdAnswer(std::array<std::uint8_t, 4> controllerFlags,
                    std::array<std::uint8_t, 8> driveFlags,
                    const std::map<int, IdentifyBlock>& blocks) {
  Bytes answer(VxdIdentifyResult::kSize, 0);
  std::copy(controllerFlags.begin(), controllerFlags.end(),
            answer.begin() + VxdIdentifyResult::controllerPresent.offset);
  std::copy(driveFlags.begin(), driveFlags.end(),
            answer.begin() + VxdIdentifyResult::drivePresent.offset);
  for (const auto& [drive, block] : blocks)
    std::copy(block.begin(), block.end(), answer.begin() + VxdIdentifyResult::Block(drive));
  return answer;
}

SimIdentity SataSsdIdentity() {
  return {.sectors = 976773168,  // 500 GB
          .wwn = {0x50, 0x00, 0xc5, 0x00, 0xa1, 0xb2, 0xc3, 0xd4},
          .rotation = 1};
}

SimIdentity SataDiskIdentity() {
  return {.sectors = 3907029168,  // 2 TB
          .physicalSectorSize = 4096,
          .wwn = {0x50, 0x01, 0x4e, 0xe2, 0xb1, 0xc2, 0xd3, 0xe4},
          .rotation = 7200};
}

SimIdentity NvmeIdentity() {
  return {.sectors = 1953525168,  // 1 TB
          .eui64 = {0x00, 0x25, 0x38, 0x81, 0x91, 0xb2, 0x12, 0x34},
          .nguid = Bytes(16, 0),
          .uuid = {0x6b, 0x1a, 0x3c, 0x2e, 0x4d, 0x5f, 0x4a, 0x60, 0x8b, 0x71, 0x92, 0xa3, 0xb4,
                   0xc5, 0xd6, 0xe7}};
}

IdentifyBlock WithIdentity(IdentifyBlock block, const SimIdentity& identity) {
  const auto put = [&](int word, std::uint16_t value) {
    StoreLe16(block.data() + 2 * static_cast<std::size_t>(word), value);
  };
  put(kCapabilitiesWord, 1u << 9);  // LBA
  const std::uint64_t lba28 = std::min<std::uint64_t>(identity.sectors, 0x0FFFFFFF);
  put(kLba28CapacityFirstWord, static_cast<std::uint16_t>(lba28));
  put(kLba28CapacityFirstWord + 1, static_cast<std::uint16_t>(lba28 >> 16));
  put(kCommandSet2Word, 0x4000 | 1u << 10);  // valid, 48-bit addressing
  for (int k = 0; k < 4; ++k)
    put(kLba48CapacityFirstWord + k, static_cast<std::uint16_t>(identity.sectors >> (16 * k)));
  std::uint16_t sizes = 0x4000;
  if (identity.logicalSectorSize != 512) {
    sizes |= 1u << 12;
    put(kLogicalSectorSizeFirstWord, static_cast<std::uint16_t>(identity.logicalSectorSize / 2));
    put(kLogicalSectorSizeFirstWord + 1,
        static_cast<std::uint16_t>(identity.logicalSectorSize / 2 >> 16));
  }
  for (std::uint16_t exponent = 0; exponent < 16; ++exponent) {
    if (identity.physicalSectorSize == identity.logicalSectorSize << exponent && exponent > 0)
      sizes |= 1u << 13 | exponent;
  }
  put(kSectorSizesWord, sizes);
  if (identity.wwn.size() == 8) {
    put(kFeatureDefaultWord, 0x4000 | 1u << 8);
    for (int k = 0; k < 4; ++k)
      put(kWwnFirstWord + k,
          static_cast<std::uint16_t>(identity.wwn[2 * k] << 8 | identity.wwn[2 * k + 1]));
  }
  put(kRotationRateWord, identity.rotation);
  return block;
}

Bytes MakeDeviceIdDescriptor(const std::vector<SimDesignator>& designators) {
  using Descriptor = STORAGE_DEVICE_ID_DESCRIPTOR;
  using Identifier = STORAGE_IDENTIFIER;
  Bytes answer(Descriptor::Identifiers.offset, 0);
  StoreLe32(answer.data() + Descriptor::Version.offset, Descriptor::kSize);
  StoreLe32(answer.data() + Descriptor::NumberOfIdentifiers.offset,
            static_cast<std::uint32_t>(designators.size()));
  for (std::size_t at = 0; at < designators.size(); ++at) {
    const SimDesignator& designator = designators[at];
    // Each identifier padded to a multiple of 4, as the storage stack lays
    // them out.
    const std::size_t size =
        (Identifier::Identifier.offset + designator.identifier.size() + 3) / 4 * 4;
    Bytes entry(size, 0);
    StoreLe32(entry.data() + Identifier::CodeSet.offset, designator.codeSet);
    StoreLe32(entry.data() + Identifier::Type.offset, designator.type);
    StoreLe16(entry.data() + Identifier::IdentifierSize.offset,
              static_cast<std::uint16_t>(designator.identifier.size()));
    StoreLe16(entry.data() + Identifier::NextOffset.offset,
              at + 1 < designators.size() ? static_cast<std::uint16_t>(size) : 0);
    StoreLe32(entry.data() + Identifier::Association.offset, designator.association);
    std::copy(designator.identifier.begin(), designator.identifier.end(),
              entry.begin() + Identifier::Identifier.offset);
    answer.insert(answer.end(), entry.begin(), entry.end());
  }
  StoreLe32(answer.data() + Descriptor::Size.offset, static_cast<std::uint32_t>(answer.size()));
  return answer;
}

Bytes MakeAlignmentDescriptor(std::uint32_t logical, std::uint32_t physical) {
  using Descriptor = STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR;
  Bytes answer(Descriptor::kSize, 0);
  StoreLe32(answer.data() + Descriptor::Version.offset, Descriptor::kSize);
  StoreLe32(answer.data() + Descriptor::Size.offset, Descriptor::kSize);
  StoreLe32(answer.data() + Descriptor::BytesPerCacheLine.offset, 64);
  StoreLe32(answer.data() + Descriptor::BytesPerLogicalSector.offset, logical);
  StoreLe32(answer.data() + Descriptor::BytesPerPhysicalSector.offset, physical);
  return answer;
}

Bytes MakeSeekPenaltyDescriptor(bool incursSeekPenalty) {
  using Descriptor = DEVICE_SEEK_PENALTY_DESCRIPTOR;
  Bytes answer(Descriptor::kSize, 0);
  StoreLe32(answer.data() + Descriptor::Version.offset, Descriptor::kSize);
  StoreLe32(answer.data() + Descriptor::Size.offset, Descriptor::kSize);
  answer[Descriptor::IncursSeekPenalty.offset] = incursSeekPenalty ? 1 : 0;
  return answer;
}

Bytes MakeGeometryAnswer(std::uint64_t diskSize, std::uint32_t bytesPerSector) {
  Bytes answer(DISK_GEOMETRY_EX::kSize, 0);
  std::uint8_t* geometry = answer.data() + DISK_GEOMETRY_EX::Geometry.offset;
  StoreLe32(geometry + DISK_GEOMETRY::Cylinders.offset,
            static_cast<std::uint32_t>(diskSize / (255ull * 63 * bytesPerSector)));
  StoreLe32(geometry + DISK_GEOMETRY::MediaType.offset, 12);  // FixedMedia
  StoreLe32(geometry + DISK_GEOMETRY::TracksPerCylinder.offset, 255);
  StoreLe32(geometry + DISK_GEOMETRY::SectorsPerTrack.offset, 63);
  StoreLe32(geometry + DISK_GEOMETRY::BytesPerSector.offset, bytesPerSector);
  StoreLe32(answer.data() + DISK_GEOMETRY_EX::DiskSize.offset,
            static_cast<std::uint32_t>(diskSize));
  StoreLe32(answer.data() + DISK_GEOMETRY_EX::DiskSize.offset + 4,
            static_cast<std::uint32_t>(diskSize >> 32));
  return answer;
}

Bytes MakeNvmeNamespaceData(const SimIdentity& identity) {
  using Namespace = NVME_IDENTIFY_NAMESPACE_DATA;
  Bytes data(Namespace::kSize, 0);
  for (int k = 0; k < 8; ++k)
    data[Namespace::NSZE.offset + k] = static_cast<std::uint8_t>(identity.sectors >> (8 * k));
  std::uint8_t lbads = 0;
  while ((std::uint32_t{1} << lbads) < identity.logicalSectorSize) ++lbads;
  data[Namespace::LBAF.offset + NVME_LBA_FORMAT::LBADS.offset] = lbads;
  std::copy(identity.nguid.begin(), identity.nguid.end(), data.begin() + Namespace::NGUID.offset);
  std::copy(identity.eui64.begin(), identity.eui64.end(), data.begin() + Namespace::EUI64.offset);
  return data;
}

Bytes MakeNvmeNamespaceAnswer(const SimIdentity& identity) {
  using Descriptor = STORAGE_PROTOCOL_DATA_DESCRIPTOR;
  using Specific = STORAGE_PROTOCOL_SPECIFIC_DATA;
  const Bytes data = MakeNvmeNamespaceData(identity);
  // Sized whole first: GCC 12 misreads an insert at the end of the
  // descriptor as a copy past it (-Warray-bounds, release builds).
  Bytes answer(Descriptor::kSize + data.size(), 0);
  std::copy(data.begin(), data.end(), answer.begin() + Descriptor::kSize);
  std::uint8_t* specific = answer.data() + Descriptor::ProtocolSpecificData.offset;
  StoreLe32(specific + Specific::ProtocolType.offset, kProtocolTypeNvme);
  StoreLe32(specific + Specific::DataType.offset, kNvmeDataTypeIdentify);
  StoreLe32(specific + Specific::ProtocolDataOffset.offset, Specific::kSize);
  StoreLe32(specific + Specific::ProtocolDataLength.offset,
            static_cast<std::uint32_t>(data.size()));
  return answer;
}

Bytes MakeNvmeDescriptors(const SimIdentity& identity) {
  Bytes list;
  for (const auto& [type, identifier] : {std::pair{kNvmeIdentifierEui64, &identity.eui64},
                                         std::pair{kNvmeIdentifierNguid, &identity.nguid},
                                         std::pair{kNvmeIdentifierUuid, &identity.uuid}}) {
    if (identifier->empty()) continue;
    list.insert(list.end(), {type, static_cast<std::uint8_t>(identifier->size()), 0, 0});
    list.insert(list.end(), identifier->begin(), identifier->end());
  }
  list.resize(kNvmeIdentifySize, 0);
  return list;
}

namespace {

// SCSI's fields are big-endian.
void PutBe16(std::uint8_t* at, std::size_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}

}  // namespace

Bytes MakeVpdDeviceIdPage(const std::string& vendorId, const SimIdentity& identity) {
  Bytes page = {0, kVpdDeviceIdentificationPage, 0, 0};
  auto designator = [&](std::uint8_t codeSet, std::uint8_t type, const Bytes& identifier) {
    page.insert(page.end(), {codeSet, type, 0, static_cast<std::uint8_t>(identifier.size())});
    page.insert(page.end(), identifier.begin(), identifier.end());
  };
  designator(2, 1, Bytes(vendorId.begin(), vendorId.end()));
  if (!identity.wwn.empty()) designator(1, kDesignatorTypeNaa, identity.wwn);
  if (!identity.eui64.empty()) designator(1, kDesignatorTypeEui64, identity.eui64);
  PutBe16(page.data() + VPD_IDENTIFICATION_PAGE::PageLength.offset,
          page.size() - VPD_IDENTIFICATION_PAGE::Descriptors.offset);
  return page;
}

Bytes MakeVpdBlockCharacteristicsPage(std::uint16_t rotation) {
  using Page = VPD_BLOCK_DEVICE_CHARACTERISTICS_PAGE;
  Bytes page(Page::kSize, 0);
  page[Page::PageCode.offset] = kVpdBlockDeviceCharacteristicsPage;
  PutBe16(page.data() + Page::PageLength.offset, Page::kSize - Page::MediumRotationRate.offset);
  PutBe16(page.data() + Page::MediumRotationRate.offset, rotation);
  return page;
}

void AnswerIdentity(SimPhysicalDrive& drive, const SimIdentity& identity) {
  std::vector<SimDesignator> designators;
  if (!identity.wwn.empty()) designators.push_back({.identifier = identity.wwn});
  if (!identity.eui64.empty()) designators.push_back({.type = 2, .identifier = identity.eui64});
  drive.deviceIdDescriptor = MakeDeviceIdDescriptor(designators);
  drive.alignmentDescriptor =
      MakeAlignmentDescriptor(identity.logicalSectorSize, identity.physicalSectorSize);
  if (identity.rotation != 0)
    drive.seekPenaltyDescriptor = MakeSeekPenaltyDescriptor(identity.rotation != 1);
  drive.geometry =
      MakeGeometryAnswer(identity.sectors * identity.logicalSectorSize, identity.logicalSectorSize);
  drive.lun = 0;
}

SimPhysicalDrive MakeAtaDrive(const std::string& serial, const std::string& model,
                              std::uint8_t deviceMap) {
  return {.identify = MakeIdentifyBlock(serial, model), .deviceMap = deviceMap};
}

SimPhysicalDrive MakeAtapiDrive(const std::string& serial, const std::string& model,
                                std::uint8_t deviceMap) {
  return {.identify = MakeIdentifyBlock(serial, model, DriveKind::kAtapi),
          .kind = DriveKind::kAtapi,
          .deviceMap = deviceMap};
}

// Bus types of STORAGE_BUS_TYPE.
constexpr std::uint32_t kBusUsb = 7;
constexpr std::uint32_t kBusSata = 11;
constexpr std::uint32_t kBusNvme = 17;

SimPhysicalDrive MakeNvmeDrive(const std::string& descriptorSerial, const std::string& serial,
                               const std::string& model) {
  SimPhysicalDrive drive{
      .smart = false,
      .storageDescriptor = MakeDeviceDescriptor(kBusNvme, "NVMe", model, "1.0", descriptorSerial),
      .nvmeAnswer = MakeNvmeAnswer(serial, model, "NV-FW-01"),
      .nvmeNamespaceAnswer = MakeNvmeNamespaceAnswer(NvmeIdentity())};
  AnswerIdentity(drive, NvmeIdentity());
  drive.seekPenaltyDescriptor = MakeSeekPenaltyDescriptor(false);
  return drive;
}

SimPhysicalDrive MakeSataDrive(const std::string& serial, const std::string& model) {
  SimPhysicalDrive drive = MakeAtaDrive(serial, model);
  drive.identify = WithIdentity(drive.identify, SataSsdIdentity());
  drive.storageDescriptor = MakeDeviceDescriptor(kBusSata, "", model, "1.0", serial);
  drive.ataPassThrough = true;
  drive.vpdPage = MakeVpdSerialPage(serial);
  AnswerIdentity(drive, SataSsdIdentity());
  return drive;
}

SimPhysicalDrive MakeUsbBridge(const std::string& serial, const std::string& model) {
  constexpr std::uint64_t kStick = 16ull << 30;
  return {.smart = false,
          .storageDescriptor = MakeDeviceDescriptor(kBusUsb, "USB", model, "0001", "", true),
          .vpdPage = MakeVpdSerialPage(serial),
          .alignmentDescriptor = MakeAlignmentDescriptor(512, 512),
          .geometry = MakeGeometryAnswer(kStick, 512)};
}

SimPhysicalDrive MakeSatBridge(const std::string& bridgeSerial, const std::string& driveSerial,
                               const std::string& model) {
  SimPhysicalDrive drive = MakeUsbBridge(bridgeSerial, model);
  drive.identify = WithIdentity(MakeIdentifyBlock(driveSerial, model), SataDiskIdentity());
  drive.sat = true;
  drive.geometry = MakeGeometryAnswer(SataDiskIdentity().sectors * 512, 512);
  return drive;
}

const std::map<std::uint32_t, DriveRequestHandler>& PhysicalDriveHandlers() {
  static const std::map<std::uint32_t, DriveRequestHandler> handlers = {
      {kSmartGetVersion, AnswerSmartVersion},
      {kSmartRcvDriveData, AnswerSmartIdentify},
      {kIoctlStorageQueryProperty, AnswerStorageQuery},
      {kIoctlStorageGetMediaSerialNumber, AnswerMediaSerial},
      {kIoctlAtaPassThrough, AnswerAtaPassThrough},
      {kIoctlScsiPassThrough, AnswerScsiPassThrough},
      {kIoctlScsiGetAddress, AnswerScsiAddress},
      {kIoctlDiskGetDriveGeometryEx, AnswerGeometry},
  };
  return handlers;
}

std::vector<RequestRecord> SimDevices::RequestsWithCode(std::uint32_t code) const {
  std::vector<RequestRecord> found;
  for (const RequestRecord& request : requests)
    if (request.code == code) found.push_back(request);
  return found;
}

int SimDevices::Fail(std::uint32_t error) {
  lastError = error;
  return 0;
}

DeviceHandle SimDevices::CreateFileA(const char* fileName, std::uint32_t desiredAccess,
                                     std::uint32_t shareMode, std::uint32_t creationDisposition,
                                     std::uint32_t flagsAndAttributes) {
  const std::string path = fileName;
  calls.push_back("CreateFileA " + path);
  opens.push_back({path, desiredAccess, shareMode, creationDisposition, flagsAndAttributes,
                   kInvalidHandleValue});

  bool exists = false;
  if (const int drive = PathIndex(path, "PhysicalDrive", ""); drive >= 0)
    exists = physicalDrives.count(drive) != 0;
  else if (const int port = PathIndex(path, "Scsi", ":"); port >= 0)
    exists = scsiPorts.count(port) != 0;
  else if (IsVxdPath(path))
    exists = vxdAnswer.has_value();
  else
    exists = path == kSystemVolumePath;

  int& refusals = refuseFirstOpens[path];
  const bool refused = refusals > 0;
  if (refused) --refusals;
  if (const auto error = faults_.Check("CreateFileA", kErrorFileNotFound)) {
    Fail(static_cast<std::uint32_t>(*error));
    return kInvalidHandleValue;
  }
  if (refused || !exists) {
    Fail(kErrorFileNotFound);
    return kInvalidHandleValue;
  }
  if (!administrator && desiredAccess != 0 && PathIndex(path, "PhysicalDrive", "") >= 0) {
    Fail(kErrorAccessDenied);
    return kInvalidHandleValue;
  }
  // Disk and port devices are opened as existing files; a VxD takes any
  // disposition.
  if (!IsVxdPath(path) && creationDisposition != kOpenExisting) {
    Fail(kErrorInvalidParameter);
    return kInvalidHandleValue;
  }
  const DeviceHandle handle = nextHandle_;
  nextHandle_ += 4;
  openHandles_[handle] = {path, desiredAccess};
  opens.back().handle = handle;
  return handle;
}

int SimDevices::DeviceIoControl(DeviceHandle device, std::uint32_t ioControlCode, void* inBuffer,
                                std::uint32_t inBufferSize, void* outBuffer,
                                std::uint32_t outBufferSize, std::uint32_t* bytesReturned) {
  calls.push_back("DeviceIoControl " + Hex(ioControlCode));
  RequestRecord record{device,
                       "",
                       ioControlCode,
                       {},
                       inBufferSize,
                       outBufferSize,
                       inBuffer != nullptr && inBuffer == outBuffer,
                       0};
  // Reading the whole stated input also proves it lies inside the caller's buffer.
  if (inBuffer != nullptr) {
    const auto* in = static_cast<const std::uint8_t*>(inBuffer);
    record.input.assign(in, in + inBufferSize);
  }
  auto open = openHandles_.find(device);
  if (open != openHandles_.end()) record.path = open->second.path;
  requests.push_back(record);

  int result = 0;
  if (open == openHandles_.end()) {
    ++badHandleUses;
    result = Fail(kErrorInvalidHandle);
  } else if (const auto error = faults_.Check("DeviceIoControl", kErrorGenFailure)) {
    result = Fail(static_cast<std::uint32_t>(*error));
  } else {
    // The VxD writes its whole result, whatever size it was told.
    const std::size_t limit =
        IsVxdPath(open->second.path) ? VxdIdentifyResult::kSize : outBufferSize;
    DriverAnswer answer;
    if (auto override = answerOverrides.find(ioControlCode); override != answerOverrides.end())
      answer = {override->second.bytes, override->second.result != 0 ? 0 : kErrorGenFailure};
    else
      answer = Answer(open->second, ioControlCode, record.input, outBufferSize);
    const std::size_t count = std::min(answer.bytes.size(), limit);
    if (count > 0) std::memcpy(outBuffer, answer.bytes.data(), count);
    if (bytesReturned != nullptr) *bytesReturned = static_cast<std::uint32_t>(count);
    result = answer.error == 0 ? 1 : Fail(answer.error);
  }
  requests.back().result = result;
  return result;
}

DriverAnswer SimDevices::Answer(const OpenDevice& device, std::uint32_t code, const Bytes& input,
                                std::uint32_t outSize) {
  if (IsVxdPath(device.path)) {
    if (code != kVxdIdentifyCode) return Refuse(kErrorInvalidFunction);
    return {*vxdAnswer, vxdResult != 0 ? 0 : kErrorGenFailure};
  }
  if (!HasAccessFor(code, device.access)) return Refuse(kErrorAccessDenied);
  if (device.path == kSystemVolumePath) return AnswerVolume(code, outSize);
  if (const int drive = PathIndex(device.path, "PhysicalDrive", ""); drive >= 0) {
    const auto& handlers = PhysicalDriveHandlers();
    auto handler = handlers.find(code);
    if (handler == handlers.end()) return Refuse(kErrorInvalidFunction);
    return handler->second(physicalDrives.at(drive), input, outSize);
  }
  if (code != kIoctlScsiMiniport) return Refuse(kErrorInvalidFunction);
  return AnswerMiniport(scsiPorts.at(PathIndex(device.path, "Scsi", ":")), input, outSize);
}

DriverAnswer SimDevices::AnswerVolume(std::uint32_t code, std::uint32_t outSize) const {
  Bytes answer;
  if (code == kIoctlVolumeGetVolumeDiskExtents && volumeExtents) {
    // The count, then each extent; as long as the structure with its one
    // declared extent at least.
    answer.assign(
        std::max(VOLUME_DISK_EXTENTS::kSize,
                 VOLUME_DISK_EXTENTS::Extents.offset + volumeExtents->size() * DISK_EXTENT::kSize),
        0);
    StoreLe32(answer.data(), static_cast<std::uint32_t>(volumeExtents->size()));
    for (std::size_t at = 0; at < volumeExtents->size(); ++at)
      StoreLe32(answer.data() + VOLUME_DISK_EXTENTS::Extents.offset + at * DISK_EXTENT::kSize,
                (*volumeExtents)[at]);
    if (outSize < VOLUME_DISK_EXTENTS::kSize) return Refuse(kErrorInsufficientBuffer);
    // What fits is written, and the request fails.
    if (answer.size() > outSize) return {answer, kErrorMoreData};
  } else if (code == kIoctlStorageGetDeviceNumber && volumeDeviceNumber) {
    answer.assign(STORAGE_DEVICE_NUMBER::kSize, 0);
    StoreLe32(answer.data() + STORAGE_DEVICE_NUMBER::DeviceType.offset, volumeDeviceNumber->type);
    StoreLe32(answer.data() + STORAGE_DEVICE_NUMBER::DeviceNumber.offset,
              volumeDeviceNumber->number);
    StoreLe32(answer.data() + STORAGE_DEVICE_NUMBER::PartitionNumber.offset, 1);
    if (outSize < answer.size()) return Refuse(kErrorInsufficientBuffer);
  } else {
    return Refuse(kErrorInvalidFunction);
  }
  return {answer, 0};
}

int SimDevices::CloseHandle(DeviceHandle object) {
  calls.push_back("CloseHandle");
  closes.push_back(object);
  if (openHandles_.erase(object) == 0) {
    ++badHandleUses;
    return Fail(kErrorInvalidHandle);
  }
  return 1;
}

std::uint32_t SimDevices::GetLastError() {
  calls.push_back("GetLastError");
  return lastError;
}

DeviceHandle SimDevices::GetCurrentProcess() { return kCurrentProcess; }

int SimDevices::SetPriorityClass(DeviceHandle process, std::uint32_t newClass) {
  calls.push_back("SetPriorityClass " + Hex(newClass));
  priorityClassCalls.push_back(newClass);
  if (process != kCurrentProcess) {
    ++badHandleUses;
    return Fail(kErrorInvalidHandle);
  }
  if (const auto error = faults_.Check("SetPriorityClass", kErrorAccessDenied))
    return Fail(static_cast<std::uint32_t>(*error));
  priorityClass = newClass;
  return 1;
}

}  // namespace hdsn::sim
