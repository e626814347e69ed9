// The WQL text helpers: literal escaping, property and serial conversions,
// query texts, with canaries past every buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_system.h"
#include "sim/sim_wmi.h"
#include "wmi/wql_text.h"

namespace hdsn::sim {
namespace {

constexpr char kCanary = '\xA5';
constexpr std::size_t kCanaryBytes = 16;

struct EscapeCase {
  const char* name;
  std::string text;  // at most size bytes; no terminator when exactly size
  std::int32_t size;
  std::string expected;
  bool fits;
};

class EscapeWqlLiteralTest : public testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeWqlLiteralTest, EscapesInPlaceWithinItsBuffer) {
  const EscapeCase& c = GetParam();
  const std::size_t size = c.size > 0 ? static_cast<std::size_t>(c.size) : 0;
  // Leftovers after the text's terminator must be zeroed; the canary must not move.
  std::vector<char> buffer(size + kCanaryBytes, kCanary);
  std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size), 'x');
  std::copy(c.text.begin(), c.text.end(), buffer.begin());
  if (c.text.size() < size) buffer[c.text.size()] = '\0';
  const std::vector<char> before = buffer;

  EXPECT_EQ(EscapeWqlLiteral(buffer.data(), c.size), c.fits);

  if (c.size <= 0) {
    EXPECT_EQ(buffer, before);
    return;
  }
  EXPECT_EQ(std::string(buffer.data()), c.expected);
  for (std::size_t i = c.expected.size(); i < size; ++i) ASSERT_EQ(buffer[i], '\0') << i;
  for (std::size_t i = size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kCanary) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EscapeWqlLiteralTest,
    testing::Values(
        EscapeCase{"SizeZeroLeavesTheTextAlone", "a\\b", 0, "", true},
        EscapeCase{"NegativeSizeLeavesTheTextAlone", "a\\b", -5, "", true},
        EscapeCase{"NoTerminatorInTheBufferIsEmptied", "abcd", 4, "", false},
        EscapeCase{"BackslashesOverflowingAreEmptiedNotCut", std::string(200, '\\'), 255, "",
                   false},
        EscapeCase{"QuotesOverflowingAreEmptiedNotCut", std::string(128, '"'), 255, "", false},
        EscapeCase{"OneByteTooManyIsEmptied", std::string(253, 'a') + "\\", 255, "", false},
        EscapeCase{"FillingTheBufferExactly", std::string(252, 'a') + "\\", 255,
                   std::string(252, 'a') + "\\\\", true},
        EscapeCase{"Empty", "", 255, "", true},
        EscapeCase{"NothingToEscape", "C:", 255, "C:", true},
        EscapeCase{"BackslashThenQuote", "x\\y\"z", 255, "x\\\\y\\\"z", true},
        EscapeCase{"BackslashBeforeQuoteIsNotDoubledAgain", "\\\"", 255, "\\\\\\\"", true},
        EscapeCase{"AdjacentBackslashes", "a\\\\b", 255, "a\\\\\\\\b", true},
        EscapeCase{"TrailingBackslash", "C:\\", 255, "C:\\\\", true},
        EscapeCase{"OtherPunctuationStays", "'a b,c:d=e'", 255, "'a b,c:d=e'", true},
        EscapeCase{"ObjectPath", "\\\\H\\R:C.K=\"\\\\.\\D0\"", 255,
                   "\\\\\\\\H\\\\R:C.K=\\\"\\\\\\\\.\\\\D0\\\"", true}),
    [](const testing::TestParamInfo<EscapeCase>& row) { return row.param.name; });

struct ConvertCase {
  const char* name;
  std::u16string value;
  bool nullValue;
  std::string expected;
};

class ConvertPropertyTextTest : public testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertPropertyTextTest, KeepsTheLastByteZero) {
  const ConvertCase& c = GetParam();
  SimText text;
  std::vector<char> buffer(kWmiWorkBufferSize + kCanaryBytes, kCanary);
  // A working buffer as the chain holds it: cleared once, then an earlier,
  // longer value in it.
  std::fill(buffer.begin(), buffer.begin() + kWmiWorkBufferSize, '\0');
  const std::string earlier = "an earlier and longer value";
  std::copy(earlier.begin(), earlier.end(), buffer.begin());

  ConvertPropertyText(text, c.nullValue ? nullptr : c.value.c_str(), buffer.data());

  EXPECT_EQ(std::string(buffer.data()), c.expected);
  EXPECT_EQ(buffer[kWmiWorkBufferSize - 1], '\0');
  for (std::size_t i = kWmiWorkBufferSize; i < buffer.size(); ++i)
    ASSERT_EQ(buffer[i], kCanary) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertPropertyTextTest,
    testing::Values(ConvertCase{"NullStringIsEmpty", u"", true, ""},
                    ConvertCase{"TooLongLeavesNoCutText", std::u16string(254, u'a'), false, ""},
                    ConvertCase{"Empty", u"", false, ""},
                    ConvertCase{"ShorterValueEndsAtItsTerminator", u"C:", false, "C:"},
                    ConvertCase{"LongestThatFitsStoredWhole", std::u16string(253, u'a'), false,
                                std::string(253, 'a')}),
    [](const testing::TestParamInfo<ConvertCase>& row) { return row.param.name; });

struct StoreCase {
  const char* name;
  std::u16string value;
  std::int32_t size;
  int conversionsAllowed;  // -1: all succeed
  std::string expected;
};

class StoreSerialTextTest : public testing::TestWithParam<StoreCase> {};

TEST_P(StoreSerialTextTest, ClearsTrimsAndBounds) {
  const StoreCase& c = GetParam();
  SimText text;
  text.failConversionsAfter = c.conversionsAllowed;
  const std::size_t size = static_cast<std::size_t>(std::max(c.size, 0));
  std::vector<char> result(size + kCanaryBytes, kCanary);
  std::fill(result.begin(), result.begin() + static_cast<std::ptrdiff_t>(size), 'o');
  if (size > 0) result[size - 1] = '\0';  // "ooo...o" as passed

  StoreSerialText(text, c.value.c_str(), result.data(), c.size);

  if (size > 0) {
    EXPECT_EQ(std::string(result.data()), c.expected);
    if (c.expected.find('o') == std::string::npos) {
      for (std::size_t i = c.expected.size(); i < size; ++i) ASSERT_EQ(result[i], '\0') << i;
    }
  }
  for (std::size_t i = size; i < result.size(); ++i) ASSERT_EQ(result[i], kCanary) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoreSerialTextTest,
    testing::Values(
        StoreCase{"SizeZeroWritesNothing", u"ABC", 0, -1, ""},
        StoreCase{"FailedSizeQueryLeavesTheResult", u"ABC", 16, 0, std::string(15, 'o')},
        StoreCase{"OneBlankEmpties", u" ", 16, -1, ""},
        StoreCase{"BlanksAroundGo", u"  ABC123 ", 16, -1, "ABC123"},
        StoreCase{"TabsAndInnerBlanksStay", u"\t A B \t", 16, -1, "\t A B \t"},
        StoreCase{"CutToSizeLessOne", std::u16string(3000, u'x'), 2048, -1, std::string(2047, 'x')},
        StoreCase{"TrimmedBeforeCut", u"   " + std::u16string(2047, u'y') + u"   ", 2048, -1,
                  std::string(2047, 'y')},
        StoreCase{"SizeOneHoldsOnlyTheTerminator", u"ABC", 1, -1, ""}),
    [](const testing::TestParamInfo<StoreCase>& row) { return row.param.name; });

struct FailureCase {
  const char* name;
  int conversionsAllowed;
  int failingAllocation;  // 0: none
  HResult expected;
};

class BuildWqlQueryFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(BuildWqlQueryFailure, RaisesComErrorAndLeaksNothing) {
  const FailureCase& c = GetParam();
  SimWmi wmi;
  SimText text;
  text.failConversionsAfter = c.conversionsAllowed;
  if (c.failingAllocation != 0) wmi.results[{"SysAllocStringLen", c.failingAllocation}] = kEFail;
  try {
    BuildWqlQuery(wmi, text, "A=\"", "v");
    ADD_FAILURE() << "no error raised";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), c.expected);
  }
  EXPECT_EQ(wmi.LiveStrings(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildWqlQueryFailure,
    testing::Values(
        // SimText fails with ERROR_INVALID_PARAMETER (87).
        FailureCase{"SizeQueryOfThePrefixFails", 0, 0, static_cast<HResult>(0x80070057u)},
        FailureCase{"ConversionOfThePrefixFails", 1, 0, static_cast<HResult>(0x80070057u)},
        FailureCase{"ConversionOfTheQuoteFails", 5, 0, static_cast<HResult>(0x80070057u)},
        FailureCase{"NoMemoryForTheComString", -1, 1, kEOutOfMemory}),
    [](const testing::TestParamInfo<FailureCase>& row) { return row.param.name; });

}  // namespace
}  // namespace hdsn::sim
