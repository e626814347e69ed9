#include "protocol/nvme.h"

#include <algorithm>
#include <utility>

#include "protocol/byte_order.h"

namespace hdsn {
namespace {

std::optional<std::string> FieldText(std::span<const std::uint8_t> data, layout::Field field) {
  return PlainText(AsText(BytesWithin(data, field)));
}

constexpr std::uint8_t kFormatIndexLow = 0x0F;
constexpr std::uint8_t kFormatIndexHigh = 0x60;
constexpr unsigned kFormatIndexHighShift = 5;
// A logical block is at least 512 bytes; 2^31 keeps its size in 32 bits.
constexpr std::uint8_t kSmallestLbads = 9;
constexpr std::uint8_t kLargestLbads = 31;
constexpr std::size_t kEui64Length = 8;
constexpr std::size_t kNguidLength = 16;
constexpr std::size_t kUuidLength = 16;

// The logical block size of the format in use.
std::optional<std::uint32_t> LogicalBlockSize(std::span<const std::uint8_t> data) {
  using Data = layout::NVME_IDENTIFY_NAMESPACE_DATA;
  if (data.size() < Data::FLBAS.end()) return std::nullopt;
  const std::uint8_t flbas = data[Data::FLBAS.offset];
  const std::size_t index =
      (flbas & kFormatIndexLow) | (flbas & kFormatIndexHigh) >> kFormatIndexHighShift << 4;
  if (index > data[Data::NLBAF.offset]) return std::nullopt;
  const std::size_t lbads =
      Data::LBAF.offset + index * Data::LBAF.width + layout::NVME_LBA_FORMAT::LBADS.offset;
  if (lbads >= data.size() || data[lbads] < kSmallestLbads || data[lbads] > kLargestLbads)
    return std::nullopt;
  return std::uint32_t{1} << data[lbads];
}

}  // namespace

SourceTexts ReadNvmeControllerTexts(std::span<const std::uint8_t> data) {
  using Data = layout::NVME_IDENTIFY_CONTROLLER_DATA;
  data = data.first(std::min<std::size_t>(data.size(), Data::kSize));
  return {FieldText(data, Data::SN), FieldText(data, Data::MN), FieldText(data, Data::FR)};
}

DiskIdentity ReadNvmeNamespaceIdentity(std::span<const std::uint8_t> data) {
  using Data = layout::NVME_IDENTIFY_NAMESPACE_DATA;
  data = data.first(std::min<std::size_t>(data.size(), Data::kSize));
  DiskIdentity identity;
  if (const auto blockSize = LogicalBlockSize(data)) {
    identity.logicalSectorSize = blockSize;
    identity.size = BlocksToBytes(LoadLe64(data.data() + Data::NSZE.offset), *blockSize);
  }
  for (const auto& [field, kind] : {std::pair{Data::NGUID, IdentifierKind::kNguid},
                                    std::pair{Data::EUI64, IdentifierKind::kEui64}}) {
    if (data.size() >= field.end()) TakeIdentifier(identity, kind, BytesWithin(data, field));
  }
  return identity;
}

DiskIdentity ReadNvmeNamespaceDescriptors(std::span<const std::uint8_t> data) {
  using Descriptor = layout::NVME_IDENTIFY_NAMESPACE_DESCRIPTOR;
  data = data.first(std::min<std::size_t>(data.size(), kNvmeIdentifySize));
  DiskIdentity identity;
  std::size_t at = 0;
  while (at + Descriptor::NID.offset <= data.size() && data[at + Descriptor::NIDT.offset] != 0) {
    const std::uint8_t type = data[at + Descriptor::NIDT.offset];
    const std::size_t length = data[at + Descriptor::NIDL.offset];
    if (at + Descriptor::NID.offset + length > data.size()) break;
    const auto identifier = data.subspan(at + Descriptor::NID.offset, length);
    if (type == layout::kNvmeIdentifierEui64 && length == kEui64Length)
      TakeIdentifier(identity, IdentifierKind::kEui64, identifier);
    else if (type == layout::kNvmeIdentifierNguid && length == kNguidLength)
      TakeIdentifier(identity, IdentifierKind::kNguid, identifier);
    else if (type == layout::kNvmeIdentifierUuid && length == kUuidLength)
      TakeIdentifier(identity, IdentifierKind::kUuid, identifier);
    at += Descriptor::NID.offset + length;
  }
  return identity;
}

std::optional<IdentifierKind> TranslatedNamespaceSerialKind(std::string_view serial) {
  if (serial.empty() || serial.back() != '.') return std::nullopt;
  serial.remove_suffix(1);
  // Groups of four digits, one "_" between each two.
  if ((serial.size() + 1) % 5 != 0) return std::nullopt;
  for (std::size_t at = 0; at < serial.size(); ++at) {
    if ((at % 5 == 4) != (serial[at] == '_')) return std::nullopt;
    if (at % 5 != 4 && HexDigitValue(serial[at]) < 0) return std::nullopt;
  }
  const std::size_t digits = (serial.size() + 1) / 5 * 4;
  if (digits == 2 * kEui64Length) return IdentifierKind::kEui64;
  if (digits == 2 * kNguidLength) return IdentifierKind::kNguid;
  return std::nullopt;
}

}  // namespace hdsn
