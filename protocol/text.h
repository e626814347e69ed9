// The text rules of what drives say of themselves: trimming, the serial
// numbers some Windows versions hand on hex-encoded, the one hex-digit
// parser, and the form of an error ("open: 5"). Texts from drives are their
// bytes, whatever the code page; nothing here knows a system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/identity.h"

namespace hdsn {

// The three texts a drive gives of itself; nullopt for a text not given.
struct SourceTexts {
  std::optional<std::string> serial;
  std::optional<std::string> model;
  std::optional<std::string> firmware;
};

// What an answer said: error is empty when it was usable, else the step that
// failed and its code ("short: 6", "sat-status: 2"); the texts and the
// identity are then none.
struct AnswerRead {
  std::string error;
  SourceTexts texts;
  DiskIdentity identity = {};
};

// "step: code", the form of every error of a source.
std::string StepError(std::string_view step, long long code);

// The value of a hexadecimal digit of either case; -1 for any other byte.
int HexDigitValue(char c);

// Leading and trailing blanks (0x20) and NULs removed; tabs and every other
// byte kept.
std::string TrimText(std::string_view text);

// A trimmed serial number of exactly 40 hexadecimal digits (either case)
// whose 20 bytes, the two of each 16-bit word swapped, are all printable
// ASCII (0x20 to 0x7E), decoded and trimmed again: Windows Vista and 7 report
// ATA serial numbers so. Any other text is returned as given.
std::string DecodeHexEncodedSerial(std::string_view trimmed);

// A serial number as a Windows driver or WMI hands it on: trimmed and, when
// hex-encoded, decoded; nullopt when nothing is left.
std::optional<std::string> SerialText(std::string_view raw);
// A text as the drive gave it: trimmed; nullopt when nothing is left.
std::optional<std::string> PlainText(std::string_view raw);

}  // namespace hdsn
