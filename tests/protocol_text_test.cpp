// The text rules of drive texts: serial numbers trimmed, and decoded where
// hex-encoded (the JSON literals are fuzz_json_writer's to check); and the
// check of IDENTIFY data.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/ata.h"
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

// IDENTIFY data before it is believed: word 0 says an ATA device, and a
// whole block under the signature sums to 0.
TEST(IdentifyCheck, RefusesWhatCannotBeBelieved) {
  // A block of blanks for an ATA disk, signed to sum to `off`, then changed
  // at one byte, cut or lengthened to `size`.
  auto block = [](int off, std::size_t at = 0, std::uint8_t value = 0x20, std::size_t size = 512) {
    std::vector<std::uint8_t> data(512, 0x20);
    data[1] = 0x00;
    data[510] = 0xA5;  // the signature, word 255's low byte
    unsigned sum = 0;
    for (const std::uint8_t byte : data) sum += byte;
    data[511] = static_cast<std::uint8_t>(off - static_cast<int>(sum) + 0x20);
    if (at != 0) data[at] = value;
    data.resize(size, 0xEE);
    return data;
  };
  const struct {
    const char* name;
    std::vector<std::uint8_t> data;
    std::string error;
  } cases[] = {
      {"Empty", {}, ""},
      {"Signed", block(0), ""},
      {"SignedSumOff", block(1), "identify-checksum: 1"},
      {"SignedSumOffTheOtherWay", block(-3), "identify-checksum: 253"},
      {"UnsignedCarriesNoChecksum", block(1, 510, 0x00), ""},
      {"CutShortIsNotSummed", block(1, 0, 0, 510), ""},
      {"BytesPastTheBlockAreNotSummed", block(0, 0, 0, 600), ""},
      {"NotAnAtaDevice", block(0, 1, 0x85), "identify-not-ata: 0x8520"},
      {"NotAnAtaDeviceInTwoBytes", {0xC0, 0x85}, "identify-not-ata: 0x85c0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckIdentifyData(c.data), c.error) << c.name;
    EXPECT_EQ(ReadCheckedIdentify(c.data).error, c.error) << c.name;
  }
}

}  // namespace
}  // namespace hdsn::sim
