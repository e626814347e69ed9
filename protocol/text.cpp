#include "inventory/disk_text.h"

#include <cstddef>
#include <cstdint>

namespace hdsn {
namespace {

constexpr std::size_t kHexSerialDigits = 40;

bool IsTrimmed(char c) { return c == ' ' || c == '\0'; }
bool IsPrintableAscii(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

}  // namespace

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

std::string Utf16ToUtf8(std::u16string_view wide) {
  constexpr std::uint32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(wide.size());
  for (std::size_t at = 0; at < wide.size(); ++at) {
    const std::uint32_t unit = wide[at];
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < wide.size() && wide[at + 1] >= 0xDC00 &&
        wide[at + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (wide[at + 1] - 0xDC00u));
      ++at;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace hdsn
