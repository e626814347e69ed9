// Text operations of the WMI query chain: escaping object paths for WQL
// string literals, building the wide query texts, and bringing WMI's wide
// answers back into the ANSI code page.
#pragma once

#include <cstdint>
#include <exception>

#include "wmi/wmi_interface.h"

namespace hdsn {

class TextInterface;

// Raised when a COM string cannot be allocated (E_OUTOFMEMORY) or a code-page
// conversion fails (the system error in HRESULT form). The query chain ends
// on a failed conversion; nothing catches the out-of-memory case.
class ComError : public std::exception {
 public:
  explicit ComError(HResult status) : status_(status) {}
  HResult Error() const { return status_; }
  const char* what() const noexcept override { return "COM error"; }

 private:
  HResult status_;
};

// Owns one COM string; frees it through the interface that allocated it.
class ComString {
 public:
  ComString(WmiInterface& wmi, ComText text) : wmi_(&wmi), text_(text) {}
  ComString(ComString&& other) noexcept : wmi_(other.wmi_), text_(other.text_) {
    other.text_ = nullptr;
  }
  ComString(const ComString&) = delete;
  ComString& operator=(const ComString&) = delete;
  ComString& operator=(ComString&&) = delete;
  ~ComString() {
    if (text_ != nullptr) wmi_->SysFreeString(text_);
  }
  ComText get() const { return text_; }

 private:
  WmiInterface* wmi_;
  ComText text_;
};

// The working buffers of the query chain hold 254 bytes of text and a zero.
inline constexpr std::int32_t kWmiWorkBufferSize = 255;

// Doubles every backslash, then puts a backslash before every double quote,
// in place, so the text can stand between double quotes in WQL. The rest of
// the size bytes become zero. When the escaped text would not fit in
// size - 1 bytes the text is emptied and false returned: a cut object path
// could name another object. A size of 0 or less leaves the text alone.
bool EscapeWqlLiteral(char* text, std::int32_t size);

// Converts a wide property value into a 255-byte working buffer, at most 254
// bytes with the terminator; the last byte is never written. A value too long
// for that leaves the buffer empty rather than holding a cut text.
void ConvertPropertyText(TextInterface& text, const char16_t* value, char* buffer);

// Clears the size bytes of result and stores the value with its leading and
// trailing blanks (0x20 only) removed, cut to size - 1 bytes. Nothing is
// written when the conversion cannot even tell the size it needs.
void StoreSerialText(TextInterface& text, const char16_t* value, char* result, std::int32_t size);

// A COM string of the narrow text, converted from the ANSI code page.
ComString NarrowToComString(WmiInterface& wmi, TextInterface& text, const char* narrow);
// A COM string of wide text as it stands.
ComString WideToComString(WmiInterface& wmi, const char16_t* wide);

// The wide query: the prefix, then (when value is not null) the value and a
// closing double quote.
ComString BuildWqlQuery(WmiInterface& wmi, TextInterface& text, const char* prefix,
                        const char* value);

}  // namespace hdsn
