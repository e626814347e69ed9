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

using SmartMethod = std::int32_t (HardDriveInfo::*)();
struct SmartMethodRow {
  const char* name;
  SmartMethod method;
};
const SmartMethodRow kSmartMethods[] = {{"Method1", &HardDriveInfo::ReadPhysicalDriveWithSmart},
                                        {"Method4", &HardDriveInfo::ReadSmartDirect}};

// Method 1's request as the disk driver should see it: 32 bytes.
Bytes Method1Request(int drive, std::uint8_t command, std::uint8_t driveHead) {
  Bytes request(32, 0);
  StoreLe32(request.data(), 512);  // cBufferSize
  request[5] = 1;                  // bSectorCountReg
  request[6] = 1;                  // bSectorNumberReg
  request[9] = driveHead;
  request[10] = command;
  request[12] = static_cast<std::uint8_t>(drive);
  return request;
}

// Method 4's: the whole 33 bytes, zero but for the command.
Bytes Method4Request() {
  Bytes request(33, 0);
  request[10] = 0xEC;
  return request;
}

struct SmartRequestCase {
  const char* name;
  int method;  // index in kSmartMethods
  int drive;
  std::uint8_t map;
  DriveKind kind;
  Bytes request;
  std::uint32_t outSize;
};

void PrintTo(const SmartRequestCase& c, std::ostream* os) { *os << c.name; }

class SmartIdentifyRequest : public testing::TestWithParam<SmartRequestCase> {};

TEST_P(SmartIdentifyRequest, SendsTheRegistersForIndexAndMap) {
  const SmartRequestCase& c = GetParam();
  SimMachine machine;
  SimPhysicalDrive drive = c.kind == DriveKind::kAta ? MakeAtaDrive("S1", "M1", c.map)
                                                     : MakeAtapiDrive("S1", "M1", c.map);
  machine.devices.physicalDrives[c.drive] = drive;
  HardDriveInfo info(machine.platform);

  EXPECT_EQ((info.*kSmartMethods[c.method].method)(), 1);

  const auto identify = machine.devices.RequestsWithCode(kSmartRcvDriveData);
  ASSERT_EQ(identify.size(), 1u);
  EXPECT_EQ(identify[0].path, "\\\\.\\PhysicalDrive" + std::to_string(c.drive));
  EXPECT_EQ(identify[0].input, c.request);
  EXPECT_EQ(identify[0].inSize, c.request.size());
  EXPECT_EQ(identify[0].outSize, c.outSize);
  EXPECT_EQ(info.identifyBlocks, IdentifyBlockList{drive.identify});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SmartIdentifyRequest,
    testing::Values(
        SmartRequestCase{"M1Drive0Map01", 0, 0, 0x01, DriveKind::kAta,
                         Method1Request(0, 0xEC, 0xA0), 528},
        SmartRequestCase{"M1Drive0Map10", 0, 0, 0x10, DriveKind::kAtapi,
                         Method1Request(0, 0xA1, 0xA0), 528},
        SmartRequestCase{"M1Drive1Map20", 0, 1, 0x20, DriveKind::kAtapi,
                         Method1Request(1, 0xA1, 0xB0), 528},
        SmartRequestCase{"M1Drive0Map20", 0, 0, 0x20, DriveKind::kAta,
                         Method1Request(0, 0xEC, 0xA0), 528},
        SmartRequestCase{"M1Drive3Map80", 0, 3, 0x80, DriveKind::kAtapi,
                         Method1Request(3, 0xA1, 0xB0), 528},
        SmartRequestCase{"M1Drive2Map10", 0, 2, 0x10, DriveKind::kAta,
                         Method1Request(2, 0xEC, 0xA0), 528},
        SmartRequestCase{"M1Drive5MapF0", 0, 5, 0xF0, DriveKind::kAta,
                         Method1Request(5, 0xEC, 0xB0), 528},
        SmartRequestCase{"M1Drive0Map04", 0, 0, 0x04, DriveKind::kAta,
                         Method1Request(0, 0xEC, 0xA0), 528},
        SmartRequestCase{"M1Drive15MapFF", 0, 15, 0xFF, DriveKind::kAta,
                         Method1Request(15, 0xEC, 0xB0), 528},
        SmartRequestCase{"M4Drive0Map10", 1, 0, 0x10, DriveKind::kAta, Method4Request(), 545},
        SmartRequestCase{"M4Drive3Map01", 1, 3, 0x01, DriveKind::kAta, Method4Request(), 545},
        SmartRequestCase{"M4Drive15Map00", 1, 15, 0x00, DriveKind::kAta, Method4Request(), 545}),
    [](const testing::TestParamInfo<SmartRequestCase>& row) { return row.param.name; });

// Method 1 needs a device map; method 4 only a version answer.
TEST(SmartMethods, SendIdentifyOnlyAfterTheVersionRequestAllows) {
  struct Row {
    const char* name;
    int method;  // index in kSmartMethods
    std::uint8_t map;
    bool smart;
    bool identifySent;
  };
  const Row rows[] = {{"Method1MapZero", 0, 0x00, true, false},
                      {"Method1VersionFails", 0, 0x01, false, false},
                      {"Method4MapZero", 1, 0x00, true, true},
                      {"Method4VersionFails", 1, 0x01, false, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimMachine machine;
    machine.devices.physicalDrives[4] = MakeAtaDrive("S", "M", row.map);
    machine.devices.physicalDrives[4].smart = row.smart;
    HardDriveInfo info(machine.platform);
    EXPECT_EQ((info.*kSmartMethods[row.method].method)(), row.identifySent ? 1 : 0);
    EXPECT_EQ(machine.devices.RequestsWithCode(kSmartRcvDriveData).size(),
              row.identifySent ? 1u : 0u);
    const auto version = machine.devices.RequestsWithCode(kSmartGetVersion);
    ASSERT_EQ(version.size(), 1u);
    EXPECT_EQ(version[0].inSize, 0u);
    EXPECT_TRUE(version[0].input.empty());
    EXPECT_EQ(version[0].outSize, 24u);
    EXPECT_EQ(machine.devices.closes.size(), 1u);
  }
}

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
