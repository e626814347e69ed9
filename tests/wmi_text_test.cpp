// The WQL text helpers: literal escaping, property and serial conversions,
// query texts, with canaries past every buffer.
#include <string>
#include <vector>

#include "test_support.h"
#include "wmi/wql_text.h"

namespace hdsn::sim {
namespace {

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
  // Leftovers after the text's terminator must be zeroed.
  GuardedBuffer buffer(size, 'x');
  std::copy(c.text.begin(), c.text.end(), buffer.data());
  if (c.text.size() < size) buffer[c.text.size()] = '\0';
  const std::vector<char> before = buffer.bytes();

  EXPECT_EQ(EscapeWqlLiteral(buffer.data(), c.size), c.fits);

  if (c.size <= 0) {
    EXPECT_EQ(buffer.bytes(), before);
    return;
  }
  EXPECT_TRUE(buffer.CanariesIntact());
  EXPECT_EQ(buffer.Text(), c.expected);
  for (std::size_t i = c.expected.size(); i < size; ++i) ASSERT_EQ(buffer[i], '\0') << i;
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
    RowName());

struct ConvertCase {
  const char* name;
  std::u16string value;
  bool nullValue;
  std::string expected;
};

class ConvertPropertyTextTest : public testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertPropertyTextTest, KeepsTheLastByteZero) {
  const ConvertCase& c = GetParam();
  SimMachine m;
  // A working buffer as the chain holds it: cleared once, then an earlier,
  // longer value in it.
  GuardedBuffer buffer(kWmiWorkBufferSize);
  const std::string earlier = "an earlier and longer value";
  std::copy(earlier.begin(), earlier.end(), buffer.data());

  ConvertPropertyText(m.text, c.nullValue ? nullptr : c.value.c_str(), buffer.data());

  EXPECT_EQ(buffer.Text(), c.expected);
  EXPECT_EQ(buffer[kWmiWorkBufferSize - 1], '\0');
  EXPECT_TRUE(buffer.CanariesIntact());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertPropertyTextTest,
    testing::Values(ConvertCase{"NullStringIsEmpty", u"", true, ""},
                    ConvertCase{"TooLongLeavesNoCutText", std::u16string(254, u'a'), false, ""},
                    ConvertCase{"Empty", u"", false, ""},
                    ConvertCase{"ShorterValueEndsAtItsTerminator", u"C:", false, "C:"},
                    ConvertCase{"LongestThatFitsStoredWhole", std::u16string(253, u'a'), false,
                                std::string(253, 'a')}),
    RowName());

struct StoreCase {
  const char* name;
  std::u16string value;
  std::int32_t size;
  long failingConversion;  // 0: none fails
  std::string expected;
};

class StoreSerialTextTest : public testing::TestWithParam<StoreCase> {};

TEST_P(StoreSerialTextTest, ClearsTrimsAndBounds) {
  const StoreCase& c = GetParam();
  SimMachine m;
  if (c.failingConversion != 0) m.faults.FailNth("WideCharToMultiByte", c.failingConversion);
  const std::size_t size = static_cast<std::size_t>(std::max(c.size, 0));
  GuardedBuffer result(size, 'o');
  if (size > 0) result[size - 1] = '\0';  // "ooo...o" as passed

  StoreSerialText(m.text, c.value.c_str(), result.data(), c.size);

  if (size > 0) {
    EXPECT_EQ(result.Text(), c.expected);
    if (c.expected.find('o') == std::string::npos) {
      for (std::size_t i = c.expected.size(); i < size; ++i) ASSERT_EQ(result[i], '\0') << i;
    }
  }
  EXPECT_TRUE(result.CanariesIntact());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoreSerialTextTest,
    testing::Values(
        StoreCase{"SizeZeroWritesNothing", u"ABC", 0, 0, ""},
        StoreCase{"FailedSizeQueryLeavesTheResult", u"ABC", 16, 1, std::string(15, 'o')},
        StoreCase{"OneBlankEmpties", u" ", 16, 0, ""},
        StoreCase{"BlanksAroundGo", u"  ABC123 ", 16, 0, "ABC123"},
        StoreCase{"TabsAndInnerBlanksStay", u"\t A B \t", 16, 0, "\t A B \t"},
        StoreCase{"CutToSizeLessOne", std::u16string(3000, u'x'), 2048, 0, std::string(2047, 'x')},
        StoreCase{"TrimmedBeforeCut", u"   " + std::u16string(2047, u'y') + u"   ", 2048, 0,
                  std::string(2047, 'y')},
        StoreCase{"SizeOneHoldsOnlyTheTerminator", u"ABC", 1, 0, ""}),
    RowName());

struct FailureCase {
  const char* name;
  long failingConversion;  // 0: none
  long failingAllocation;  // 0: none
  HResult expected;
};

class BuildWqlQueryFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(BuildWqlQueryFailure, RaisesComErrorAndLeaksNothing) {
  const FailureCase& c = GetParam();
  SimMachine m;
  if (c.failingConversion != 0) m.faults.FailNth("MultiByteToWideChar", c.failingConversion);
  if (c.failingAllocation != 0) m.faults.FailNth("SysAllocStringLen", c.failingAllocation);
  try {
    BuildWqlQuery(m.wmi, m.text, "A=\"", "v");
    ADD_FAILURE() << "no error raised";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), c.expected);
  }
  EXPECT_TRUE(NothingLeftBehind(m));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildWqlQueryFailure,
    testing::Values(
        // A conversion fails with ERROR_INVALID_PARAMETER, which goes on in HRESULT form.
        FailureCase{"SizeQueryOfThePrefixFails", 1, 0, HresultFromWin32(kErrorInvalidParameter)},
        FailureCase{"ConversionOfThePrefixFails", 2, 0, HresultFromWin32(kErrorInvalidParameter)},
        FailureCase{"ConversionOfTheQuoteFails", 6, 0, HresultFromWin32(kErrorInvalidParameter)},
        FailureCase{"NoMemoryForTheComString", 0, 1, kEOutOfMemory}),
    RowName());

}  // namespace
}  // namespace hdsn::sim
