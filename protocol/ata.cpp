#include "protocol/ata.h"

#include <algorithm>
#include <optional>

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

}  // namespace hdsn
