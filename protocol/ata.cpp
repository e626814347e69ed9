#include "protocol/ata.h"

#include <algorithm>
#include <cstdio>
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
  return {"", ReadIdentifyTexts(data)};
}

}  // namespace hdsn
