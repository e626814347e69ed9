#include "protocol/text.h"

#include <cstddef>

namespace hdsn {
namespace {

constexpr std::size_t kHexSerialDigits = 40;

bool IsTrimmed(char c) { return c == ' ' || c == '\0'; }
bool IsPrintableAscii(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

}  // namespace

std::string StepError(std::string_view step, long long code) {
  return std::string(step) + ": " + std::to_string(code);
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string TrimText(std::string_view text) {
  std::size_t start = 0;
  std::size_t end = text.size();
  while (start < end && IsTrimmed(text[start])) ++start;
  while (end > start && IsTrimmed(text[end - 1])) --end;
  return std::string(text.substr(start, end - start));
}

std::string DecodeHexEncodedSerial(std::string_view trimmed) {
  if (trimmed.size() != kHexSerialDigits) return std::string(trimmed);
  std::string decoded(kHexSerialDigits / 2, '\0');
  for (std::size_t byte = 0; byte < decoded.size(); ++byte) {
    const int high = HexDigitValue(trimmed[2 * byte]);
    const int low = HexDigitValue(trimmed[2 * byte + 1]);
    if (high < 0 || low < 0) return std::string(trimmed);
    const auto value = static_cast<unsigned char>(16 * high + low);
    if (!IsPrintableAscii(value)) return std::string(trimmed);
    // The driver wrote each IDENTIFY word low byte first.
    decoded[byte ^ 1] = static_cast<char>(value);
  }
  return TrimText(decoded);
}

std::optional<std::string> SerialText(std::string_view raw) {
  std::string text = DecodeHexEncodedSerial(TrimText(raw));
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<std::string> PlainText(std::string_view raw) {
  std::string text = TrimText(raw);
  if (text.empty()) return std::nullopt;
  return text;
}

}  // namespace hdsn
