#include "protocol/ata.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <numeric>
#include <optional>
#include <utility>

#include "protocol/byte_order.h"

namespace hdsn {

std::string IdentifyFieldBytes(std::span<const std::uint8_t> data, int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, static_cast<int>(data.size() / 2) - 1);
  std::string field;
  for (int word = first; word <= last; ++word) {
    field += static_cast<char>(data[2 * static_cast<std::size_t>(word) + 1]);
    field += static_cast<char>(data[2 * static_cast<std::size_t>(word)]);
  }
  return field;
}

SourceTexts ReadIdentifyTexts(std::span<const std::uint8_t> data) {
  data = data.first(std::min(data.size(), kIdentifyBlockSize));
  auto text = [&](int first, int last) -> std::optional<std::string> {
    if (static_cast<std::size_t>(first) >= data.size() / 2) return std::nullopt;
    return PlainText(IdentifyFieldBytes(data, first, last));
  };
  SourceTexts texts;
  texts.serial = text(kSerialFirstWord, kSerialLastWord);
  texts.firmware = text(kFirmwareFirstWord, kFirmwareLastWord);
  texts.model = text(kModelFirstWord, kModelLastWord);
  return texts;
}

std::string CheckIdentifyData(std::span<const std::uint8_t> data) {
  data = data.first(std::min(data.size(), kIdentifyBlockSize));
  if (data.size() >= 2) {
    if (const std::uint16_t word0 = LoadLe16(data.data()); (word0 & kIdentifyNotAtaDevice) != 0) {
      char text[32];
      std::snprintf(text, sizeof text, "identify-not-ata: 0x%04x", static_cast<unsigned>(word0));
      return text;
    }
  }
  if (data.size() == kIdentifyBlockSize && data[2 * kIntegrityWord] == kIntegritySignature) {
    const unsigned sum = std::accumulate(data.begin(), data.end(), 0u) & 0xFFu;
    if (sum != 0) return StepError("identify-checksum", sum);
  }
  return "";
}

AnswerRead ReadCheckedIdentify(std::span<const std::uint8_t> data) {
  if (std::string error = CheckIdentifyData(data); !error.empty()) return {std::move(error), {}};
  return {"", ReadIdentifyTexts(data), ReadIdentifyIdentity(data)};
}

namespace {

constexpr std::uint16_t kWordValidMask = 0xC000;
constexpr std::uint16_t kWordValid = 0x4000;
constexpr std::uint16_t kLbaSupported = 1u << 9;
constexpr std::uint16_t kLba48Supported = 1u << 10;
constexpr std::uint16_t kWwnSupported = 1u << 8;
constexpr std::uint16_t kLogicalSectorLonger = 1u << 12;
constexpr std::uint16_t kPhysicalSectorsPerLogical = 1u << 13;
constexpr std::uint16_t kSectorsPerPhysicalExponent = 0x000F;
constexpr std::uint32_t kDefaultSectorSize = 512;

// The words of a block, each only as far as the data goes.
class IdentifyWords {
 public:
  explicit IdentifyWords(std::span<const std::uint8_t> data)
      : data_(data.first(std::min(data.size(), kIdentifyBlockSize))) {}
  bool Has(int last) const { return 2 * static_cast<std::size_t>(last) + 2 <= data_.size(); }
  std::uint16_t operator[](int word) const {
    return static_cast<std::uint16_t>(data_[2 * static_cast<std::size_t>(word)] |
                                      data_[2 * static_cast<std::size_t>(word) + 1] << 8);
  }
  // A word that is there and marked as holding what it says.
  std::optional<std::uint16_t> Valid(int word) const {
    if (!Has(word) || ((*this)[word] & kWordValidMask) != kWordValid) return std::nullopt;
    return (*this)[word];
  }
  // Words first..first+count-1 as one number, the first the least significant.
  std::uint64_t Number(int first, int count) const {
    std::uint64_t value = 0;
    for (int word = first + count - 1; word >= first; --word) value = value << 16 | (*this)[word];
    return value;
  }

 private:
  std::span<const std::uint8_t> data_;
};

// Bytes of a logical and of a physical sector; none where word 106 did not
// come or says what no drive can be.
std::optional<std::pair<std::uint32_t, std::uint32_t>> SectorSizes(const IdentifyWords& words) {
  if (!words.Has(kSectorSizesWord)) return std::nullopt;
  // A drive older than word 106 has 512-byte sectors.
  const std::optional<std::uint16_t> sizes = words.Valid(kSectorSizesWord);
  if (!sizes) return std::pair{kDefaultSectorSize, kDefaultSectorSize};
  std::uint64_t logical = kDefaultSectorSize;
  if ((*sizes & kLogicalSectorLonger) != 0) {
    if (!words.Has(kLogicalSectorSizeFirstWord + 1)) return std::nullopt;
    logical = 2 * words.Number(kLogicalSectorSizeFirstWord, 2);
    if (logical < kDefaultSectorSize) return std::nullopt;
  }
  std::uint64_t physical = logical;
  if ((*sizes & kPhysicalSectorsPerLogical) != 0)
    physical = logical << (*sizes & kSectorsPerPhysicalExponent);
  if (physical > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return std::pair{static_cast<std::uint32_t>(logical), static_cast<std::uint32_t>(physical)};
}

// The user-addressable sectors: the 48-bit count where that addressing is
// supported and the count is set, else the 28-bit one.
std::optional<std::uint64_t> Sectors(const IdentifyWords& words) {
  if (const auto commands = words.Valid(kCommandSet2Word);
      commands && (*commands & kLba48Supported) != 0 && words.Has(kLba48CapacityFirstWord + 3)) {
    if (const std::uint64_t sectors = words.Number(kLba48CapacityFirstWord, 4); sectors != 0)
      return sectors;
  }
  if (words.Has(kLba28CapacityFirstWord + 1) && (words[kCapabilitiesWord] & kLbaSupported) != 0) {
    if (const std::uint64_t sectors = words.Number(kLba28CapacityFirstWord, 2); sectors != 0)
      return sectors;
  }
  return std::nullopt;
}

}  // namespace

DiskIdentity ReadIdentifyIdentity(std::span<const std::uint8_t> data) {
  const IdentifyWords words(data);
  DiskIdentity identity;
  if (const auto defaults = words.Valid(kFeatureDefaultWord);
      defaults && (*defaults & kWwnSupported) != 0 && words.Has(kWwnFirstWord + 3)) {
    std::uint8_t name[8];
    for (int k = 0; k < 4; ++k) {
      name[2 * k] = static_cast<std::uint8_t>(words[kWwnFirstWord + k] >> 8);
      name[2 * k + 1] = static_cast<std::uint8_t>(words[kWwnFirstWord + k]);
    }
    TakeIdentifier(identity, IdentifierKind::kWwn, name);
  }
  if (const auto sizes = SectorSizes(words)) {
    identity.logicalSectorSize = sizes->first;
    identity.physicalSectorSize = sizes->second;
    if (const auto sectors = Sectors(words)) identity.size = BlocksToBytes(*sectors, sizes->first);
  }
  if (words.Has(kRotationRateWord)) TakeRotationRate(identity, words[kRotationRateWord]);
  return identity;
}

}  // namespace hdsn
