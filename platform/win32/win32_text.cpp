// Code page conversions and StrTrimA, passed through unchanged.
#include <windows.h>
#include <shlwapi.h>

#include "platform/text_interface.h"
#include "platform/win32/win32_platform.h"

namespace hdsn {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text on Windows is UTF-16");

class Win32Text final : public TextInterface {
 public:
  int WideCharToMultiByte(const char16_t* wide, int wideLength, char* narrow,
                          int narrowSize) override {
    return ::WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(wide), wideLength,
                                 narrow, narrowSize, nullptr, nullptr);
  }

  int MultiByteToWideChar(const char* narrow, int narrowLength, char16_t* wide,
                          int wideSize) override {
    return ::MultiByteToWideChar(CP_ACP, 0, narrow, narrowLength, reinterpret_cast<wchar_t*>(wide),
                                 wideSize);
  }

  bool IsDBCSLeadByte(unsigned char byte) override { return ::IsDBCSLeadByte(byte) != FALSE; }

  int StrTrimA(char* text, const char* trimChars) override { return ::StrTrimA(text, trimChars); }

  std::uint32_t GetLastError() override { return ::GetLastError(); }
};

}  // namespace

TextInterface& GetWin32Text() {
  static Win32Text text;
  return text;
}

}  // namespace hdsn
