#include "protocol/scsi.h"

#include <algorithm>
#include <utility>

#include "protocol/byte_order.h"

namespace hdsn {

using namespace layout;

SourceTexts ReadVpdSerialTexts(std::span<const std::uint8_t> page) {
  SourceTexts texts;
  // A device that answers with another page has not given its serial.
  if (page.size() < VPD_SERIAL_NUMBER_PAGE::SerialNumber.offset ||
      page[VPD_SERIAL_NUMBER_PAGE::PageCode.offset] != kVpdSerialNumberPage)
    return texts;
  texts.serial = PlainText(AsText(BytesWithin(page, VPD_SERIAL_NUMBER_PAGE::SerialNumber.offset,
                                              page[VPD_SERIAL_NUMBER_PAGE::PageLength.offset])));
  return texts;
}

void TakeScsiDesignator(DiskIdentity& identity, std::uint8_t codeSet, std::uint8_t type,
                        std::uint8_t association, std::span<const std::uint8_t> designator) {
  if (codeSet != kDesignatorCodeSetBinary || association != kDesignatorAssociationLogicalUnit)
    return;
  const std::size_t length = designator.size();
  if (type == kDesignatorTypeNaa && (length == 8 || length == 16)) {
    TakeIdentifier(identity, IdentifierKind::kWwn, designator);
  } else if (type == kDesignatorTypeEui64 && (length == 8 || length == 16)) {
    TakeIdentifier(identity, length == 8 ? IdentifierKind::kEui64 : IdentifierKind::kNguid,
                   designator);
  }
}

DiskIdentity ReadVpdDeviceIdentification(std::span<const std::uint8_t> page) {
  using Page = VPD_IDENTIFICATION_PAGE;
  using Descriptor = VPD_IDENTIFICATION_DESCRIPTOR;
  DiskIdentity identity;
  if (page.size() < Page::Descriptors.offset ||
      page[Page::PageCode.offset] != kVpdDeviceIdentificationPage)
    return identity;
  const std::span<const std::uint8_t> descriptors =
      BytesWithin(page, Page::Descriptors.offset, LoadBe16(page.data() + Page::PageLength.offset));
  std::size_t at = 0;
  while (at + Descriptor::Identifier.offset <= descriptors.size()) {
    const std::uint8_t* header = descriptors.data() + at;
    const std::size_t length = header[Descriptor::IdentifierLength.offset];
    if (at + Descriptor::Identifier.offset + length > descriptors.size()) break;
    const std::uint8_t kind = header[Descriptor::IdentifierType.offset];
    TakeScsiDesignator(identity, header[Descriptor::CodeSet.offset] & 0x0F, kind & 0x0F,
                       (kind >> 4) & 0x03,
                       descriptors.subspan(at + Descriptor::Identifier.offset, length));
    at += Descriptor::Identifier.offset + length;
  }
  return identity;
}

DiskIdentity ReadVpdBlockCharacteristics(std::span<const std::uint8_t> page) {
  using Page = VPD_BLOCK_DEVICE_CHARACTERISTICS_PAGE;
  DiskIdentity identity;
  if (page.size() < Page::MediumRotationRate.end() ||
      page[Page::PageCode.offset] != kVpdBlockDeviceCharacteristicsPage ||
      LoadBe16(page.data() + Page::PageLength.offset) + Page::PageLength.end() <
          Page::MediumRotationRate.end())
    return identity;
  TakeRotationRate(identity, LoadBe16(page.data() + Page::MediumRotationRate.offset));
  return identity;
}

std::string ScsiStep(const ScsiQuery& query, std::string_view failure) {
  std::string step = query.step;
  if (!failure.empty()) step.append("-").append(failure);
  return step;
}

std::string ScsiError(const ScsiQuery& query, std::string_view failure, long long code) {
  return StepError(ScsiStep(query, failure), code);
}

AnswerRead ReadScsiAnswer(const ScsiQuery& query, std::uint8_t status,
                          std::span<const std::uint8_t> data) {
  if (status != kScsiStatusGood) return {ScsiError(query, "status", status), {}};
  data = data.first(std::min<std::size_t>(data.size(), query.dataSize));
  if (data.empty() && query.needsData) return {ScsiError(query, "data", 0), {}};
  if (query.check != nullptr) {
    if (std::string error = query.check(data); !error.empty()) return {std::move(error), {}};
  }
  AnswerRead read;
  if (query.read != nullptr) read.texts = query.read(data);
  if (query.identify != nullptr) read.identity = query.identify(data);
  return read;
}

// The command blocks as the standards spell them out.
static_assert(SatIdentifyCdb() == std::array<std::uint8_t, 16>{0x85, 0x08, 0x0E, 0x00, 0x00, 0x00,
                                                               0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                               0x00, 0x00, 0xEC, 0x00});
static_assert(VpdInquiryCdb(kVpdSerialNumberPage, 252) ==
              std::array<std::uint8_t, 6>{0x12, 0x01, 0x80, 0x00, 0xFC, 0x00});
static_assert(kVpdDeviceIdCdb == std::array<std::uint8_t, 6>{0x12, 0x01, 0x83, 0x00, 0xFC, 0x00});
static_assert(kVpdBlockCharacteristicsCdb ==
              std::array<std::uint8_t, 6>{0x12, 0x01, 0xB1, 0x00, 0x40, 0x00});

}  // namespace hdsn
