// The wmi source's texts: WMI's indexes and wide texts.
#include <cstdint>
#include <optional>
#include <string>

#include "disks/windows/wmi_disk_drives.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

TEST(Utf16ToUtf8, EncodesPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(Utf16ToUtf8(u"A\u00e9\u4e2d"), "A\xC3\xA9\xE4\xB8\xAD");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'A', 0xDC00}),
            "\xEF\xBF\xBD"
            "A\xEF\xBF\xBD");
}

struct IndexCase {
  const char* name;
  std::uint16_t type;
  std::int32_t number;
  const char16_t* text;
  std::optional<int> expected;
};

class WmiIndex : public testing::TestWithParam<IndexCase> {};

TEST_P(WmiIndex, IsANonNegativeIntegerOfAnyIntegerTypeOrDigits) {
  const IndexCase& c = GetParam();
  WmiValue value{};
  value.SetType(c.type);
  if (c.type == kVtBstr)
    value.SetBstrVal(const_cast<char16_t*>(c.text));
  else
    value.SetLongVal(c.number);
  EXPECT_EQ(ReadWmiIndex(value), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, WmiIndex,
                         testing::Values(IndexCase{"I4", kVtI4, 3, nullptr, 3},
                                         IndexCase{"I4Negative", kVtI4, -1, nullptr, std::nullopt},
                                         IndexCase{"Ui4BeyondInt", kVtUi4, INT32_MIN, nullptr,
                                                   std::nullopt},
                                         IndexCase{"Ui4", kVtUi4, 7, nullptr, 7},
                                         // The narrow types read only their own low bytes.
                                         IndexCase{"I2", kVtI2, 0x10002, nullptr, 2},
                                         IndexCase{"Ui2", kVtUi2, 0xFFFF, nullptr, 65535},
                                         IndexCase{"Ui1", kVtUi1, 0x1FF, nullptr, 255},
                                         IndexCase{"Digits", kVtBstr, 0, u"12", 12},
                                         IndexCase{"NotDigits", kVtBstr, 0, u"1a", std::nullopt},
                                         IndexCase{"Null", kVtNull, 0, nullptr, std::nullopt}),
                         RowName());

}  // namespace
}  // namespace hdsn::sim
