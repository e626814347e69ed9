// The text rules of drive texts: serial numbers trimmed, and decoded where
// hex-encoded. (The JSON literals are fuzz_json_writer's to check.)
#include <optional>
#include <string>

#include "protocol/text.h"
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

}  // namespace
}  // namespace hdsn::sim
