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
struct IdentifyCheckCase {
  const char* name;
  std::vector<std::uint8_t> data;
  std::string error;
};

class IdentifyCheck : public testing::TestWithParam<IdentifyCheckCase> {};

TEST_P(IdentifyCheck, RefusesWhatCannotBeBelieved) {
  EXPECT_EQ(CheckIdentifyData(GetParam().data), GetParam().error);
  const AnswerRead read = ReadCheckedIdentify(GetParam().data);
  EXPECT_EQ(read.error, GetParam().error);
  // Texts only from data believed that holds them.
  const bool texts = read.error.empty() && GetParam().data.size() >= 40;
  EXPECT_EQ(read.texts.serial, texts ? std::optional<std::string>("SN") : std::nullopt);
}

// A block of an ATA disk with the serial "SN", signed and summing to
// 0 plus `off`, `size` bytes of it.
std::vector<std::uint8_t> Block(int off = 0, std::size_t size = 512) {
  std::vector<std::uint8_t> block(512, 0x20);
  block[0] = 0x40;
  block[1] = 0x00;
  block[21] = 'S';
  block[20] = 'N';
  block[510] = kIntegritySignature;
  block[511] = 0;
  unsigned sum = 0;
  for (const std::uint8_t byte : block) sum += byte;
  block[511] = static_cast<std::uint8_t>(off - static_cast<int>(sum));
  block.resize(size, 0xEE);
  return block;
}

std::vector<std::uint8_t> Changed(std::vector<std::uint8_t> block, std::size_t at,
                                  std::uint8_t value) {
  block[at] = value;
  return block;
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, IdentifyCheck,
    testing::Values(
        IdentifyCheckCase{"Empty", {}, ""}, IdentifyCheckCase{"Signed", Block(), ""},
        IdentifyCheckCase{"SignedSumOff", Block(1), "identify-checksum: 1"},
        IdentifyCheckCase{"SignedSumOffTheOtherWay", Block(-3), "identify-checksum: 253"},
        IdentifyCheckCase{"UnsignedCarriesNoChecksum", Changed(Block(1), 510, 0x00), ""},
        IdentifyCheckCase{"SignatureInTheHighByteIsNone",
                          Changed(Changed(Block(1), 510, 0x00), 511, kIntegritySignature), ""},
        IdentifyCheckCase{"CutShortIsNotSummed", Block(1, 510), ""},
        IdentifyCheckCase{"BytesPastTheBlockAreNotSummed", Block(0, 600), ""},
        IdentifyCheckCase{"NotAnAtaDevice", Changed(Block(), 1, 0x85), "identify-not-ata: 0x8540"},
        IdentifyCheckCase{"NotAnAtaDeviceInTwoBytes", {0xC0, 0x85}, "identify-not-ata: 0x85c0"},
        IdentifyCheckCase{"OneByteOfWordZero", {0xFF}, ""}),
    RowName());

}  // namespace
}  // namespace hdsn::sim
