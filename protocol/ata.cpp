#include "inventory/disk_protocol.h"

#include <algorithm>
#include <string_view>

#include "app/hard_drive_info.h"
#include "inventory/disk_text.h"
#include "inventory/protocol_layouts.h"

namespace hdsn {
namespace {

using namespace layout;

// The bytes of a field that are inside the data.
std::string_view FieldOf(std::span<const std::uint8_t> data, std::size_t offset,
                         std::size_t width) {
  if (offset >= data.size()) return {};
  return std::string_view(reinterpret_cast<const char*>(data.data()) + offset,
                          std::min(width, data.size() - offset));
}

std::string_view FieldOf(std::span<const std::uint8_t> data, Field field) {
  return FieldOf(data, field.offset, field.width);
}

}  // namespace

SourceTexts ReadIdentifyTexts(std::span<const std::uint8_t> data) {
  data = data.first(std::min(data.size(), kIdentifyBufferSize));
  // A field whose first word did not come is no text; one cut short is the
  // words that came.
  auto text = [&](int first, int last) -> std::optional<std::string> {
    if (static_cast<std::size_t>(first) >= data.size() / 2) return std::nullopt;
    return IdentifyFieldBytes(data, first, last);
  };
  SourceTexts texts;
  if (auto serial = text(kSerialFirstWord, kSerialLastWord)) texts.serial = PlainText(*serial);
  if (auto firmware = text(kFirmwareFirstWord, kFirmwareLastWord))
    texts.firmware = PlainText(*firmware);
  if (auto model = text(kModelFirstWord, kModelLastWord)) texts.model = PlainText(*model);
  return texts;
}

SourceTexts ReadNvmeControllerTexts(std::span<const std::uint8_t> data) {
  data = data.first(std::min(data.size(), NVME_IDENTIFY_CONTROLLER_DATA::kSize));
  SourceTexts texts;
  texts.serial = PlainText(FieldOf(data, NVME_IDENTIFY_CONTROLLER_DATA::SN));
  texts.model = PlainText(FieldOf(data, NVME_IDENTIFY_CONTROLLER_DATA::MN));
  texts.firmware = PlainText(FieldOf(data, NVME_IDENTIFY_CONTROLLER_DATA::FR));
  return texts;
}

SourceTexts ReadVpdSerialTexts(std::span<const std::uint8_t> page) {
  SourceTexts texts;
  // A device that answers with another page has not given its serial.
  if (page.size() < VPD_SERIAL_NUMBER_PAGE::SerialNumber.offset ||
      page[VPD_SERIAL_NUMBER_PAGE::PageCode.offset] != kVpdSerialNumberPage)
    return texts;
  texts.serial = PlainText(FieldOf(page, VPD_SERIAL_NUMBER_PAGE::SerialNumber.offset,
                                   page[VPD_SERIAL_NUMBER_PAGE::PageLength.offset]));
  return texts;
}

// The command block as the SCSI / ATA Translation standard spells it out.
static_assert(SatIdentifyCdb() == std::array<std::uint8_t, 16>{0x85, 0x08, 0x0E, 0x00, 0x00, 0x00,
                                                               0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                               0x00, 0x00, 0xEC, 0x00});
static_assert(VpdInquiryCdb(kVpdSerialNumberPage, 252) ==
              std::array<std::uint8_t, 6>{0x12, 0x01, 0x80, 0x00, 0xFC, 0x00});

}  // namespace hdsn
