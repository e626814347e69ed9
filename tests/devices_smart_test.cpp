// Methods 1 and 4: SMART identify requests on the physical drives.
#include <gtest/gtest.h>

#include <string>

#include "app/hard_drive_info.h"
#include "devices/byte_order.h"
#include "devices/device_layouts.h"
#include "sim/sim_machine.h"

namespace hdsn::sim {
namespace {

using layout::kSmartGetVersion;
using layout::kSmartRcvDriveData;

std::string DrivePath(int index) { return "\\\\.\\PhysicalDrive" + std::to_string(index); }

// Method 1's request as the disk driver should see it: 32 bytes.
Bytes SmartIdentifyRequest(int drive, std::uint8_t command, std::uint8_t driveHead) {
  Bytes request(32, 0);
  StoreLe32(request.data(), 512);  // cBufferSize
  request[5] = 1;                  // bSectorCountReg
  request[6] = 1;                  // bSectorNumberReg
  request[9] = driveHead;
  request[10] = command;
  request[12] = static_cast<std::uint8_t>(drive);
  return request;
}

struct SmartRequestCase {
  const char* name;
  int drive;
  std::uint8_t map;
  DriveKind kind;
  std::uint8_t command;
  std::uint8_t driveHead;
};

class SmartIdentifyRequest1 : public testing::TestWithParam<SmartRequestCase> {};

TEST_P(SmartIdentifyRequest1, SendsRegistersChosenByIndexAndMap) {
  const SmartRequestCase& c = GetParam();
  SimMachine machine;
  SimPhysicalDrive drive = c.kind == DriveKind::kAta ? MakeAtaDrive("S1", "M1", c.map)
                                                     : MakeAtapiDrive("S1", "M1", c.map);
  machine.devices.physicalDrives[c.drive] = drive;
  HardDriveInfo info(machine.platform);

  EXPECT_EQ(info.ReadPhysicalDriveWithSmart(), 1);

  const auto identify = machine.devices.RequestsWithCode(kSmartRcvDriveData);
  ASSERT_EQ(identify.size(), 1u);
  EXPECT_EQ(identify[0].path, DrivePath(c.drive));
  EXPECT_EQ(identify[0].input, SmartIdentifyRequest(c.drive, c.command, c.driveHead));
  EXPECT_EQ(identify[0].inSize, 32u);
  EXPECT_EQ(identify[0].outSize, 528u);
  ASSERT_EQ(info.identifyBlocks.size(), 1u);
  EXPECT_EQ(info.identifyBlocks[0], drive.identify);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SmartIdentifyRequest1,
    testing::Values(
        SmartRequestCase{"Drive0Map01", 0, 0x01, DriveKind::kAta, 0xEC, 0xA0},
        SmartRequestCase{"Drive0Map10", 0, 0x10, DriveKind::kAtapi, 0xA1, 0xA0},
        SmartRequestCase{"Drive1Map20", 1, 0x20, DriveKind::kAtapi, 0xA1, 0xB0},
        SmartRequestCase{"Drive0Map20", 0, 0x20, DriveKind::kAta, 0xEC, 0xA0},
        SmartRequestCase{"Drive3Map80", 3, 0x80, DriveKind::kAtapi, 0xA1, 0xB0},
        SmartRequestCase{"Drive2Map10", 2, 0x10, DriveKind::kAta, 0xEC, 0xA0},
        SmartRequestCase{"Drive5MapF0", 5, 0xF0, DriveKind::kAta, 0xEC, 0xB0},
        SmartRequestCase{"Drive0Map04", 0, 0x04, DriveKind::kAta, 0xEC, 0xA0},
        SmartRequestCase{"Drive15MapFF", 15, 0xFF, DriveKind::kAta, 0xEC, 0xB0}),
    [](const testing::TestParamInfo<SmartRequestCase>& row) { return row.param.name; });

TEST(SmartIdentify1, NoRequestWithoutADeviceMap) {
  struct Row {
    const char* name;
    std::uint8_t map;
    bool smart;
  };
  for (const Row& row : {Row{"MapZero", 0x00, true}, Row{"VersionFails", 0x01, false}}) {
    SCOPED_TRACE(row.name);
    SimMachine machine;
    machine.devices.physicalDrives[4] = MakeAtaDrive("S", "M", row.map);
    machine.devices.physicalDrives[4].smart = row.smart;
    HardDriveInfo info(machine.platform);
    EXPECT_EQ(info.ReadPhysicalDriveWithSmart(), 0);
    EXPECT_TRUE(machine.devices.RequestsWithCode(kSmartRcvDriveData).empty());
    const auto version = machine.devices.RequestsWithCode(kSmartGetVersion);
    ASSERT_EQ(version.size(), 1u);
    EXPECT_EQ(version[0].inSize, 0u);
    EXPECT_TRUE(version[0].input.empty());
    EXPECT_EQ(version[0].outSize, 24u);
    EXPECT_EQ(machine.devices.closes.size(), 1u);
    EXPECT_EQ(machine.devices.OpenHandleCount(), 0u);
  }
}

TEST(SmartDirect4, SendsOnlyTheCommandByteWhateverTheMap) {
  for (int drive : {0, 3, 15}) {
    for (std::uint8_t map : {0x00, 0x10}) {
      SCOPED_TRACE(testing::Message() << "drive " << drive << " map " << int{map});
      SimMachine machine;
      machine.devices.physicalDrives[drive] = MakeAtaDrive("S", "M", map);
      HardDriveInfo info(machine.platform);
      EXPECT_EQ(info.ReadSmartDirect(), 1);
      const auto identify = machine.devices.RequestsWithCode(kSmartRcvDriveData);
      ASSERT_EQ(identify.size(), 1u);
      Bytes expected(33, 0);
      expected[10] = 0xEC;
      EXPECT_EQ(identify[0].input, expected);
      EXPECT_EQ(identify[0].inSize, 33u);
      EXPECT_EQ(identify[0].outSize, 545u);
      EXPECT_TRUE(identify[0].sameBuffer);
      EXPECT_EQ(info.identifyBlocks.size(), 1u);
    }
  }
}

TEST(SmartDirect4, VersionFailingSendsNothingMore) {
  SimMachine machine;
  machine.devices.physicalDrives[2] = MakeAtaDrive("S", "M");
  machine.devices.physicalDrives[2].smart = false;
  HardDriveInfo info(machine.platform);
  EXPECT_EQ(info.ReadSmartDirect(), 0);
  std::vector<std::string> expected;
  for (int drive = 0; drive < 16; ++drive) {
    expected.push_back("CreateFileA " + DrivePath(drive));
    if (drive == 2) expected.insert(expected.end(), {"DeviceIoControl 0x74080", "CloseHandle"});
  }
  EXPECT_EQ(machine.devices.calls, expected);
}

using SmartMethod = std::int32_t (HardDriveInfo::*)();
struct SmartMethodRow {
  const char* name;
  SmartMethod method;
};
const SmartMethodRow kSmartMethods[] = {{"Method1", &HardDriveInfo::ReadPhysicalDriveWithSmart},
                                        {"Method4", &HardDriveInfo::ReadSmartDirect}};

TEST(SmartMethods, HandOverAZeroBlockAndDuplicatesStillCount) {
  for (const SmartMethodRow& row : kSmartMethods) {
    SCOPED_TRACE(row.name);
    SimMachine machine;
    machine.devices.physicalDrives[0].identify = IdentifyBlock{};  // 512 zero bytes
    machine.devices.physicalDrives[1].identify = IdentifyBlock{};
    HardDriveInfo info(machine.platform);
    EXPECT_EQ((info.*row.method)(), 1);
    ASSERT_EQ(info.identifyBlocks.size(), 1u);
    EXPECT_EQ(info.identifyBlocks[0], IdentifyBlock{});
  }
}

TEST(SmartMethods, BlocksEnterInDriveOrderAfterThoseHeld) {
  for (const SmartMethodRow& row : kSmartMethods) {
    SCOPED_TRACE(row.name);
    SimMachine machine;
    for (int drive : {9, 2, 0})
      machine.devices.physicalDrives[drive] = MakeAtaDrive("SER" + std::to_string(drive), "M");
    HardDriveInfo info(machine.platform);
    const IdentifyBlock earlier = MakeIdentifyBlock("EARLIER", "M");
    info.AddIdentifyBlock(earlier.data());
    EXPECT_EQ((info.*row.method)(), 1);
    ASSERT_EQ(info.identifyBlocks.size(), 4u);
    EXPECT_EQ(info.identifyBlocks[0], earlier);
    EXPECT_EQ(info.identifyBlocks[1], machine.devices.physicalDrives[0].identify);
    EXPECT_EQ(info.identifyBlocks[2], machine.devices.physicalDrives[2].identify);
    EXPECT_EQ(info.identifyBlocks[3], machine.devices.physicalDrives[9].identify);
  }
}

// Whatever the driver writes, the block is read from inside the answer, and
// bytes the driver did not write are the zeros the buffer was cleared to.
TEST(SmartMethods, ShortAnswersLeaveTheRestOfTheBlockZero) {
  for (const SmartMethodRow& row : kSmartMethods) {
    SCOPED_TRACE(row.name);
    SimMachine machine;
    machine.devices.physicalDrives[0] = MakeAtaDrive("S", "M");
    Bytes shortAnswer(20, 0xAB);
    machine.devices.answerOverrides[kSmartRcvDriveData] = {shortAnswer, 1};
    HardDriveInfo info(machine.platform);
    EXPECT_EQ((info.*row.method)(), 1);
    IdentifyBlock expected{};
    for (int i = 0; i < 4; ++i) expected[static_cast<std::size_t>(i)] = 0xAB;
    ASSERT_EQ(info.identifyBlocks.size(), 1u);
    EXPECT_EQ(info.identifyBlocks[0], expected);
  }
}

}  // namespace
}  // namespace hdsn::sim
