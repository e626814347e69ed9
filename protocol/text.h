// The texts of the inventory: trimming, the hex-encoded serial numbers some
// Windows versions report, and WMI's wide texts as UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hdsn {

// Leading and trailing blanks (0x20) and NULs removed; tabs and every other
// byte kept.
std::string TrimText(std::string_view text);

// A trimmed serial number of exactly 40 hexadecimal digits (either case)
// whose 20 bytes, the two of each 16-bit word swapped, are all printable
// ASCII (0x20 to 0x7E), decoded and trimmed again: Windows Vista and 7 report
// ATA serial numbers so. Any other text is returned as given.
std::string DecodeHexEncodedSerial(std::string_view trimmed);

// A serial number as the inventory reports it: trimmed and, when
// hex-encoded, decoded; nullopt when nothing is left.
std::optional<std::string> SerialText(std::string_view raw);
// A model or firmware text: trimmed; nullopt when nothing is left.
std::optional<std::string> PlainText(std::string_view raw);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view wide);

}  // namespace hdsn
