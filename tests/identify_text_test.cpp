// The serial text of an IDENTIFY block: byte order, padding, trimming and
// which texts count as a serial number.
#include <cstring>
#include <string>

#include "app/hard_drive_info.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

// A block whose serial field (bytes 20 to 39) holds the given bytes in
// memory order, the rest of the field zero and the rest of the block 0x5A.
IdentifyBlock BlockWithSerialBytes(const std::string& fieldBytes) {
  constexpr std::size_t kField = 2 * kSerialFirstWord;
  constexpr std::size_t kFieldSize = 2 * (kSerialLastWord - kSerialFirstWord + 1);
  IdentifyBlock block;
  block.fill(0x5A);
  std::memset(block.data() + kField, 0, kFieldSize);
  std::memcpy(block.data() + kField, fieldBytes.data(), std::min(fieldBytes.size(), kFieldSize));
  return block;
}

struct WordsCase {
  const char* name;
  std::string fieldBytes;  // memory order, as the drive returns them
  std::string text;        // IdentifyWordsToText of words 10..19
};

class SerialWords : public testing::TestWithParam<WordsCase> {};

TEST_P(SerialWords, HighByteFirstTrailingBlanksGone) {
  const IdentifyBlock block = BlockWithSerialBytes(GetParam().fieldBytes);
  EXPECT_EQ(std::string(IdentifyWordsToText(block.data(), kSerialFirstWord, kSerialLastWord)),
            GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialWords,
    testing::Values(
        WordsCase{"SwapsEachWord", "BADC" + std::string(16, ' '), "ABCD"},
        WordsCase{"AllBlanksKeepOne", std::string(20, ' '), " "},
        WordsCase{"FirstWordZeroIsEmpty", std::string("\0\0", 2) + "BADC" + std::string(14, ' '),
                  ""},
        WordsCase{"LeadingBlanksStay", "  BA" + std::string(16, ' '), "  AB"},
        WordsCase{"NulInsideEndsText", std::string("BAC\0", 4) + std::string(16, 'x'), "AB"},
        WordsCase{"BlankBeforeNulStays", std::string("B \0\0", 4) + std::string(16, ' '), " B"},
        WordsCase{"FullTwentyCharacters", "21436587092143658709", "12345678901234567890"},
        WordsCase{"HighBytesCopiedAsTheyAre", "\xE9\xC4" + std::string(18, ' '), "\xC4\xE9"}),
    RowName());

TEST(IdentifyWords, OutOfRangeWordsAreNeverRead) {
  // Only 512 bytes exist; the buffer is followed by canaries that must not
  // be read into the text.
  std::uint8_t bytes[512 + 16];
  std::memset(bytes, 'a', 512);
  std::memset(bytes + 512, 'Z', 16);
  const std::string text = IdentifyWordsToText(bytes, 250, 300);
  EXPECT_EQ(text, std::string(12, 'a'));
  EXPECT_EQ(std::string(IdentifyWordsToText(bytes, 19, 10)), "");
  EXPECT_EQ(std::string(IdentifyWordsToText(bytes, 0, 255)).size(), 512u);
}

class MasterSerialText : public testing::Test {
 protected:
  SimMachine machine;
  HardDriveInfo info{machine.platform};

  std::string Trimmed(const std::string& text) {
    info.masterSerial = text;
    info.TrimSerial();
    return info.masterSerial;
  }
  bool Usable(const std::string& text) {
    info.masterSerial = text;
    return info.IsUsableSerial();
  }
};

TEST_F(MasterSerialText, TrimRemovesExactlyTheSixWhiteSpaceBytesAtBothEnds) {
  EXPECT_EQ(Trimmed(" \t\n\v\f\rWD-123 456\r\n\t "), "WD-123 456");
  EXPECT_EQ(Trimmed(" \t "), "");
  EXPECT_EQ(Trimmed(""), "");
  // 0x85 and 0xA0 (octal 205 and 240) are white space in some code pages,
  // but not here.
  EXPECT_EQ(Trimmed("\240ABC\205"), "\240ABC\205");
  EXPECT_EQ(Trimmed("\037ABC\010"), "\037ABC\010");
}

TEST_F(MasterSerialText, TrimNeverSplitsADoubleByteCharacter) {
  machine.text.leadBytes = {0x81};
  // 0x81 0x20 is one character: its second byte is not a blank.
  EXPECT_EQ(Trimmed("AB\x81 "), "AB\x81 ");
  EXPECT_EQ(Trimmed("AB\x81  "), "AB\x81 ");
  // A lead byte at the very end stands alone.
  EXPECT_EQ(Trimmed(" AB\x81"), "AB\x81");
  machine.text.leadBytes = {};
  EXPECT_EQ(Trimmed("AB\x81 "), "AB\x81");
}

TEST_F(MasterSerialText, UsableMeansThreeBytesAndNotExactlyUnknown) {
  EXPECT_FALSE(Usable(""));
  EXPECT_FALSE(Usable("A"));
  EXPECT_FALSE(Usable("AB"));
  EXPECT_TRUE(Usable("ABC"));
  EXPECT_FALSE(Usable("unknown"));
  EXPECT_TRUE(Usable("UNKNOWN"));
  EXPECT_TRUE(Usable("Unknown"));
  EXPECT_TRUE(Usable("unknown "));
}

TEST_F(MasterSerialText, BlockSerialTextReadsBlockZeroOrUnknown) {
  EXPECT_EQ(info.GetBlockSerialText(0), "unknown");
  const IdentifyBlock first = BlockWithSerialBytes("BADC");
  const IdentifyBlock second = BlockWithSerialBytes("FEHG");
  info.AddIdentifyBlock(first.data());
  info.AddIdentifyBlock(second.data());
  EXPECT_EQ(info.GetBlockSerialText(0), "ABCD");
  EXPECT_EQ(info.GetBlockSerialText(1), "EFGH");
  EXPECT_EQ(info.GetBlockSerialText(2), "unknown");
  const IdentifyBlock empty = BlockWithSerialBytes("");
  HardDriveInfo other{machine.platform};
  other.AddIdentifyBlock(empty.data());
  EXPECT_EQ(other.GetBlockSerialText(0), "unknown");
}

}  // namespace
}  // namespace hdsn::sim
