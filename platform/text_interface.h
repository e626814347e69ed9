// Text services of Windows that the logic relies on: conversions between
// wide text and the ANSI code page, the code page's lead bytes, and the
// shell's StrTrimA. Wide text is UTF-16 on every host (char16_t), which is
// what wchar_t is on Windows.
#pragma once

#include <cstdint>

namespace hdsn {

class TextInterface {
 public:
  virtual ~TextInterface() = default;
  // WideCharToMultiByte(CP_ACP, 0, wide, wideLength, narrow, narrowSize, nullptr, nullptr).
  virtual int WideCharToMultiByte(const char16_t* wide, int wideLength, char* narrow,
                                  int narrowSize) = 0;
  // MultiByteToWideChar(CP_ACP, 0, narrow, narrowLength, wide, wideSize).
  virtual int MultiByteToWideChar(const char* narrow, int narrowLength, char16_t* wide,
                                  int wideSize) = 0;
  // IsDBCSLeadByte: whether the byte starts a two-byte character in the ANSI code page.
  virtual bool IsDBCSLeadByte(unsigned char byte) = 0;
  // StrTrimA from shlwapi: removes leading and trailing characters of trimChars.
  virtual int StrTrimA(char* text, const char* trimChars) = 0;
  virtual std::uint32_t GetLastError() = 0;
};

}  // namespace hdsn
