// The inventory's texts: serial numbers trimmed and decoded, WMI's indexes
// and wide texts. (The JSON literals are fuzz_json_writer's to check.)
#include <cstdint>
#include <optional>
#include <string>

#include "inventory/disk_text.h"
#include "inventory/wmi_disk_drives.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

struct TextCase {
  const char* name;
  bool serial;  // SerialText, else PlainText
  std::string raw;
  std::optional<std::string> expected;
};

class InventoryText : public testing::TestWithParam<TextCase> {};

TEST_P(InventoryText, IsTrimmedAndDecodedOnlyWhenHexEncodedText) {
  const TextCase& c = GetParam();
  EXPECT_EQ(c.serial ? SerialText(c.raw) : PlainText(c.raw), c.expected);
}

using namespace std::string_literals;
constexpr char kHex[] = "2020202057202d4443575a413541333234373538";  // "WD-WCAZA5237485"
INSTANTIATE_TEST_SUITE_P(
    Cases, InventoryText,
    testing::Values(
        TextCase{"BlanksAndNulsTrimmed", true, "\0 AB C \0 "s, "AB C"},
        TextCase{"TabsKept", true, "\tAB\t", "\tAB\t"},
        TextCase{"NothingLeft", true, " \0 "s, std::nullopt},
        TextCase{"HexDecodedAndTrimmed", true, kHex, "WD-WCAZA5237485"},
        TextCase{"HexUppercaseBetweenBlanks", true, "  2020202057202D4443575A413541333234373538 ",
                 "WD-WCAZA5237485"},
        TextCase{"HexOfNulsKept", true, std::string(40, '0'), std::string(40, '0')},
        TextCase{"HexOfBlanksOnly", true, "2020202020202020202020202020202020202020", std::nullopt},
        TextCase{"ThirtyEightDigitsKept", true, std::string(kHex, 38), std::string(kHex, 38)},
        TextCase{"FortyTwoDigitsKept", true, kHex + "20"s, kHex + "20"s},
        TextCase{"NonHexDigitKept", true, "2020202057202d4443575a41354133323437353g",
                 "2020202057202d4443575a41354133323437353g"},
        TextCase{"UnprintableByteKept", true, "2020202057202d4443575a41354133323437357f",
                 "2020202057202d4443575a41354133323437357f"},
        TextCase{"ModelNeverDecoded", false, kHex, kHex}),
    RowName());

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
