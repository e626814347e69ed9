#include "protocol/scsi.h"

#include <algorithm>
#include <utility>

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
  return {"", query.read(data)};
}

// The command blocks as the standards spell them out.
static_assert(SatIdentifyCdb() == std::array<std::uint8_t, 16>{0x85, 0x08, 0x0E, 0x00, 0x00, 0x00,
                                                               0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                               0x00, 0x00, 0xEC, 0x00});
static_assert(VpdInquiryCdb(kVpdSerialNumberPage, 252) ==
              std::array<std::uint8_t, 6>{0x12, 0x01, 0x80, 0x00, 0xFC, 0x00});

}  // namespace hdsn
