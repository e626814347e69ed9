// Method 3 and the decoder of hexadecimal serial texts.
#include <cstring>
#include <string>

#include "app/hard_drive_info.h"
#include "devices/device_layouts.h"
#include "devices/storage_descriptor.h"
#include "protocol/byte_order.h"
#include "sim/call_log.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

using namespace layout;

struct DecodeCase {
  const char* name;
  std::string input;
  std::string expected;
};

class DecodeHexSerialTable : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeHexSerialTable, Decodes) {
  const DecodeCase& c = GetParam();
  // A result of another text first: each call starts from an empty result.
  DecodeHexSerial("41424344");
  EXPECT_EQ(std::string(DecodeHexSerial(c.input.c_str())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DecodeHexSerialTable,
                         testing::Values(DecodeCase{"Empty", "", ""},
                                         DecodeCase{"NoDigitsAtAll", "ZZZZ", ""},
                                         DecodeCase{"UppercaseCountsAsZero", "3A31", "10"},
                                         DecodeCase{"NonDigitCountsAsZero", "g1", "\x01"},
                                         DecodeCase{"PairsSwappedInEachGroup", "3132", "21"},
                                         DecodeCase{"Blanks", "20202020", "    "},
                                         DecodeCase{"ZeroPairsVanish", "0000", ""},
                                         DecodeCase{"ThreeCharacters", "313", "01"},
                                         DecodeCase{"TwoCharacters", "31", "1"},
                                         DecodeCase{"HighByte", "ff", "\xFF"},
                                         DecodeCase{"TwoGroups", "3231343300", "1234"},
                                         DecodeCase{"ZeroInsideAGroup", "00413042", "AB0"}),
                         RowName());

// 5000 characters would decode to 2500: the result keeps its first 999 and
// its terminator inside the 1000-byte buffer.
TEST(DecodeHexSerial, KeepsTheFirst999CharactersOfALongResult) {
  std::string input;
  for (int i = 0; i < 1250; ++i) input += "4142";  // "BA" per group
  const char* result = DecodeHexSerial(input.c_str());
  ASSERT_EQ(std::strlen(result), 999u);
  EXPECT_EQ(std::string(result, 4), "BABA");
  EXPECT_EQ(result[998], 'B');
}

struct StorageAnswerCase {
  const char* name;
  bool descriptorAnswers;
  bool mediaAnswers;
  std::vector<std::string> calls;  // after the open
};

TEST(StorageDescriptor3, SendsBothQueriesAndReadsTheErrorOfEachFailure) {
  const std::string open = "CreateFileA \\\\.\\PhysicalDrive0";
  const std::string query = "DeviceIoControl " + Hex(kIoctlStorageQueryProperty);
  const std::string media = "DeviceIoControl " + Hex(kIoctlStorageGetMediaSerialNumber);
  const StorageAnswerCase cases[] = {
      {"BothAnswer", true, true, {open, query, media, "CloseHandle"}},
      {"DescriptorFails", false, true, {open, query, "GetLastError", media, "CloseHandle"}},
      {"MediaFails", true, false, {open, query, media, "GetLastError", "CloseHandle"}},
      {"BothFail",
       false,
       false,
       {open, query, "GetLastError", media, "GetLastError", "CloseHandle"}},
  };
  for (const StorageAnswerCase& c : cases) {
    SCOPED_TRACE(c.name);
    SimMachine machine;
    SimPhysicalDrive drive = MakeAtaDrive("S", "M");
    if (c.descriptorAnswers) drive.storageDescriptor = MakeStorageDescriptor(40, "3132");
    if (c.mediaAnswers) drive.mediaSerial = MakeMediaSerial("MEDIA");
    machine.devices.physicalDrives[0] = drive;
    HardDriveInfo info(machine.platform);
    const IdentifyBlock held = MakeIdentifyBlock("HELD", "M");
    info.AddIdentifyBlock(held.data());

    EXPECT_EQ(info.ReadStorageDescriptor(), 0);

    std::vector<std::string> calls(machine.devices.calls.begin(),
                                   machine.devices.calls.begin() + 1);
    for (const std::string& call : machine.devices.calls)
      if (call.rfind("CreateFileA", 0) != 0) calls.push_back(call);
    EXPECT_EQ(calls, c.calls);
    const auto queries = machine.devices.RequestsWithCode(kIoctlStorageQueryProperty);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].input, Bytes(STORAGE_PROPERTY_QUERY::kSize, 0));
    EXPECT_EQ(queries[0].outSize, 10000u);
    const auto medias = machine.devices.RequestsWithCode(kIoctlStorageGetMediaSerialNumber);
    ASSERT_EQ(medias.size(), 1u);
    EXPECT_EQ(medias[0].inSize, 0u);
    EXPECT_TRUE(medias[0].input.empty());
    EXPECT_EQ(medias[0].outSize, 10000u);
    EXPECT_EQ(info.identifyBlocks, IdentifyBlockList{held});
    EXPECT_TRUE(machine.console.output.empty());
    EXPECT_TRUE(NothingLeftBehind(machine));
  }
}

// Serial offsets anywhere, texts running to the end of the answer with no
// terminator: the texts read stay inside the 10000 bytes answered.
TEST(StorageDescriptor3, ReadsTextsOnlyInsideTheAnswer) {
  struct Row {
    const char* name;
    Bytes descriptor;
    Bytes media;
  };
  Bytes fullDescriptor = MakeStorageDescriptor(9990, "4142434445");  // ends at byte 10000
  Bytes unterminatedMedia(10000, '7');
  Bytes hugeOffset = MakeStorageDescriptor(0, "");
  StoreLe32(hugeOffset.data() + STORAGE_DEVICE_DESCRIPTOR::SerialNumberOffset.offset, 0xFFFFFFFFu);
  const Row rows[] = {
      {"OffsetAtTheEnd", MakeStorageDescriptor(10000, "41"), MakeMediaSerial("M")},
      {"OffsetPastTheEnd", MakeStorageDescriptor(10001, "41"), MakeMediaSerial("M")},
      {"OffsetFarBeyond", hugeOffset, MakeMediaSerial("M")},
      {"TextRunsToTheEnd", fullDescriptor, unterminatedMedia},
      {"OffsetZero", MakeStorageDescriptor(0, ""), Bytes(16, 0)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimMachine machine;
    SimPhysicalDrive drive = MakeAtaDrive("S", "M");
    drive.storageDescriptor = row.descriptor;
    drive.mediaSerial = row.media;
    machine.devices.physicalDrives[15] = drive;
    HardDriveInfo info(machine.platform);
    EXPECT_EQ(info.ReadStorageDescriptor(), 0);
    EXPECT_EQ(machine.devices.requests.size(), 2u);
    EXPECT_TRUE(info.identifyBlocks.empty());
    EXPECT_TRUE(NothingLeftBehind(machine));
  }
}

}  // namespace
}  // namespace hdsn::sim
