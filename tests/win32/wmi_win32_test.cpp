// The WQL text helpers through the real code-page conversions, StrTrimA and
// COM strings of Windows, and method 0 through the real COM and WMI.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "test_support.h"
#include "wmi/wmi_serial.h"
#include "wmi/wql_text.h"

namespace hdsn {
namespace {

using sim::GuardedBuffer;

TEST(Win32Wmi, LocatorGuidsAreTheSdkOnes) {
  EXPECT_EQ(std::memcmp(&kClsidWbemLocator, &__uuidof(WbemLocator), sizeof(GUID)), 0);
  EXPECT_EQ(std::memcmp(&kIidIWbemLocator, &__uuidof(IWbemLocator), sizeof(GUID)), 0);
}

// A wide value and the narrow text expected of it.
struct TextRow {
  const char* name;
  std::wstring value;
  std::string expected;
};

TEST(Win32Wmi, ConvertPropertyTextThroughTheAnsiCodePage) {
  const std::vector<TextRow> rows = {
      {"TooLongLeavesNoCutText", std::wstring(254, L'a'), ""},
      {"Empty", L"", ""},
      {"Path", L"\\\\H\\ROOT\\CIMV2:Win32_LogicalDisk.DeviceID=\"C:\"",
       "\\\\H\\ROOT\\CIMV2:Win32_LogicalDisk.DeviceID=\"C:\""},
      {"LongestThatFitsStoredWhole", std::wstring(253, L'a'), std::string(253, 'a')},
  };
  for (const TextRow& row : rows) {
    SCOPED_TRACE(row.name);
    GuardedBuffer buffer(kWmiWorkBufferSize, 'x');
    buffer[kWmiWorkBufferSize - 1] = '\0';
    ConvertPropertyText(GetWin32Text(), reinterpret_cast<const char16_t*>(row.value.c_str()),
                        buffer.data());
    EXPECT_EQ(buffer.Text(), row.expected);
    EXPECT_EQ(buffer[kWmiWorkBufferSize - 1], '\0');
    EXPECT_TRUE(buffer.CanariesIntact());
  }
}

TEST(Win32Wmi, StoreSerialTextTrimsOnlyBlanksWithStrTrimA) {
  const std::vector<TextRow> rows = {
      {"OneBlank", L" ", ""},
      {"BlanksAround", L"  ABC123 ", "ABC123"},
      {"TabsAndInnerBlanksStay", L"\t A B \t", "\t A B \t"},
      {"CutToSizeLessOne", L"   " + std::wstring(3000, L'S') + L" ", std::string(2047, 'S')},
  };
  for (const TextRow& row : rows) {
    SCOPED_TRACE(row.name);
    GuardedBuffer result(2048, 'o');
    result[2047] = '\0';
    StoreSerialText(GetWin32Text(), reinterpret_cast<const char16_t*>(row.value.c_str()),
                    result.data(), 2048);
    EXPECT_EQ(result.Text(), row.expected);
    EXPECT_EQ(result[2047], '\0');
    EXPECT_TRUE(result.CanariesIntact());
  }
}

TEST(Win32Wmi, BuildWqlQueryMakesARealComString) {
  const ComString query =
      BuildWqlQuery(GetWin32Wmi(), GetWin32Text(), "SELECT * FROM X WHERE P=\"", "a\\\\b\\\"");
  const std::wstring expected = L"SELECT * FROM X WHERE P=\"a\\\\b\\\"\"";
  const BSTR text = reinterpret_cast<BSTR>(query.get());
  // The length prefix is what a call to the WMI service carries.
  EXPECT_EQ(SysStringLen(text), expected.size());
  EXPECT_EQ(std::wstring(text), expected);
}

// Whatever WMI answers here (Wine's rejects an escaped quote in a literal),
// the answer stays in its buffer and COM is left as it was found.
TEST(Win32Wmi, QueryWmiSerialLeavesComAsItWas) {
  GuardedBuffer result(2048);
  QueryWmiSerial(GetWin32Wmi(), GetWin32Text(), result.data(), 2048);
  EXPECT_EQ(result[2047], '\0');
  EXPECT_TRUE(result.CanariesIntact());
  // Not initialized any more: a new initialization is the first again.
  const HRESULT status = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  EXPECT_EQ(status, S_OK);
  if (SUCCEEDED(status)) CoUninitialize();
}

}  // namespace
}  // namespace hdsn
