#include "wmi/wql_text.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/text_interface.h"

namespace hdsn {
namespace {

// Copies text (length bytes) into work with every `special` byte written as
// a backslash and itself; false when the result and its terminator would not
// fit in size bytes.
bool EscapePass(const char* text, std::size_t length, char* work, std::size_t size, char special) {
  std::size_t out = 0;
  for (std::size_t at = 0; at < length; ++at) {
    const std::size_t width = text[at] == special ? 2 : 1;
    if (out + width > size - 1) return false;
    if (width == 2) work[out++] = '\\';
    work[out++] = text[at];
  }
  work[out] = '\0';
  return true;
}

// A text with no terminator within its buffer counts as filling the buffer.
std::size_t BoundedLength(const char* text, std::size_t size) {
  const void* end = std::memchr(text, '\0', size);
  return end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : size;
}

std::u16string Widen(TextInterface& text, const char* narrow) {
  const int needed = text.MultiByteToWideChar(narrow, -1, nullptr, 0);
  if (needed <= 0) throw ComError(HresultFromWin32(text.GetLastError()));
  std::u16string wide(static_cast<std::size_t>(needed), u'\0');
  if (text.MultiByteToWideChar(narrow, -1, wide.data(), needed) <= 0)
    throw ComError(HresultFromWin32(text.GetLastError()));
  wide.resize(static_cast<std::size_t>(needed) - 1);  // the terminator came along
  return wide;
}

ComString AllocateComString(WmiInterface& wmi, const std::u16string& wide) {
  ComText allocated = wmi.SysAllocStringLen(wide.data(), static_cast<std::uint32_t>(wide.size()));
  if (allocated == nullptr) throw ComError(kEOutOfMemory);
  return ComString(wmi, allocated);
}

}  // namespace

bool EscapeWqlLiteral(char* text, std::int32_t size) {
  if (size <= 0) return true;
  const auto bound = static_cast<std::size_t>(size);
  std::vector<char> work(bound, '\0');
  // Backslashes first, so the backslash put before a quote is not doubled.
  for (const char special : {'\\', '"'}) {
    if (!EscapePass(text, BoundedLength(text, bound), work.data(), bound, special)) {
      std::memset(text, 0, bound);
      return false;
    }
    std::strncpy(text, work.data(), bound);  // zero-fills the rest
  }
  return true;
}

void ConvertPropertyText(TextInterface& text, const char16_t* value, char* buffer) {
  // A null COM string is the empty text.
  if (value == nullptr) value = u"";
  // Windows fills a buffer that is too small up to its end before it fails.
  if (text.WideCharToMultiByte(value, -1, buffer, kWmiWorkBufferSize - 1) == 0)
    std::memset(buffer, 0, kWmiWorkBufferSize - 1);
}

void StoreSerialText(TextInterface& text, const char16_t* value, char* result, std::int32_t size) {
  if (size <= 0) return;
  if (value == nullptr) value = u"";
  const int needed = text.WideCharToMultiByte(value, -1, nullptr, 0);
  if (needed <= 0) return;
  std::vector<char> work(static_cast<std::size_t>(needed) + 1, '\0');
  std::memset(result, 0, static_cast<std::size_t>(size));
  text.WideCharToMultiByte(value, -1, work.data(), needed);
  text.StrTrimA(work.data(), " ");
  std::strncpy(result, work.data(), static_cast<std::size_t>(size) - 1);
}

ComString NarrowToComString(WmiInterface& wmi, TextInterface& text, const char* narrow) {
  return AllocateComString(wmi, Widen(text, narrow));
}

ComString WideToComString(WmiInterface& wmi, const char16_t* wide) {
  return AllocateComString(wmi, std::u16string(wide));
}

ComString BuildWqlQuery(WmiInterface& wmi, TextInterface& text, const char* prefix,
                        const char* value) {
  std::u16string query = Widen(text, prefix);
  if (value != nullptr) {
    query += Widen(text, value);
    query += Widen(text, "\"");
  }
  return AllocateComString(wmi, query);
}

}  // namespace hdsn
