// Methods 1 and 4: SMART identify requests on the physical drives.
#include <string>

#include "app/hard_drive_info.h"
#include "devices/device_layouts.h"
#include "protocol/byte_order.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

using namespace layout;

using SmartMethod = std::int32_t (HardDriveInfo::*)();
struct SmartMethodRow {
  const char* name;
  SmartMethod method;
  std::uint32_t identifyOutSize;
};
const SmartMethodRow kSmartMethods[] = {
    {"Method1", &HardDriveInfo::ReadPhysicalDriveWithSmart, SENDCMDOUTPARAMS::kIdentifyAnswerSize},
    // One buffer for SENDCMDINPARAMS and the 512 bytes.
    {"Method4", &HardDriveInfo::ReadSmartDirect, 545}};

// Method 1's request as the disk driver should see it: SENDCMDINPARAMS
// without its bBuffer byte.
Bytes Method1Request(int drive, std::uint8_t command, std::uint8_t driveHead) {
  Bytes request(SENDCMDINPARAMS::kSizeWithoutBuffer, 0);
  StoreLe32(request.data() + SENDCMDINPARAMS::cBufferSize.offset,
            static_cast<std::uint32_t>(kIdentifyBlockSize));
  request[InParamsRegister(IDEREGS::bSectorCountReg)] = 1;
  request[InParamsRegister(IDEREGS::bSectorNumberReg)] = 1;
  request[InParamsRegister(IDEREGS::bDriveHeadReg)] = driveHead;
  request[InParamsRegister(IDEREGS::bCommandReg)] = command;
  request[SENDCMDINPARAMS::bDriveNumber.offset] = static_cast<std::uint8_t>(drive);
  return request;
}

// Method 4's: the whole SENDCMDINPARAMS, zero but for the command.
Bytes Method4Request() {
  Bytes request(SENDCMDINPARAMS::kSize, 0);
  request[InParamsRegister(IDEREGS::bCommandReg)] = kAtaIdentifyDevice;
  return request;
}

struct SmartRequestCase {
  const char* name;
  int method;  // index in kSmartMethods
  int drive;
  std::uint8_t map;
  DriveKind kind;
  std::uint8_t driveHead = 0;  // method 1's
};

class SmartIdentifyRequest : public testing::TestWithParam<SmartRequestCase> {};

TEST_P(SmartIdentifyRequest, SendsTheRegistersForIndexAndMap) {
  const SmartRequestCase& c = GetParam();
  SimMachine machine;
  SimPhysicalDrive drive = c.kind == DriveKind::kAta ? MakeAtaDrive("S1", "M1", c.map)
                                                     : MakeAtapiDrive("S1", "M1", c.map);
  machine.devices.physicalDrives[c.drive] = drive;
  HardDriveInfo info(machine.platform);

  EXPECT_EQ((info.*kSmartMethods[c.method].method)(), 1);

  const Bytes request =
      c.method == 0
          ? Method1Request(
                c.drive, c.kind == DriveKind::kAta ? kAtaIdentifyDevice : kAtaIdentifyPacketDevice,
                c.driveHead)
          : Method4Request();
  const auto identify = machine.devices.RequestsWithCode(kSmartRcvDriveData);
  ASSERT_EQ(identify.size(), 1u);
  EXPECT_EQ(identify[0].path, "\\\\.\\PhysicalDrive" + std::to_string(c.drive));
  EXPECT_EQ(identify[0].input, request);
  EXPECT_EQ(identify[0].outSize, kSmartMethods[c.method].identifyOutSize);
  EXPECT_EQ(info.identifyBlocks, IdentifyBlockList{drive.identify});
  EXPECT_TRUE(NothingLeftBehind(machine));
}

// The ATAPI bit of the map (bit 4 shifted by the drive index) picks method
// 1's command; drive-head 0xA0, with 0x10 for the odd drives.
INSTANTIATE_TEST_SUITE_P(
    Cases, SmartIdentifyRequest,
    testing::Values(SmartRequestCase{"M1Drive0Map01", 0, 0, 0x01, DriveKind::kAta, 0xA0},
                    SmartRequestCase{"M1Drive0Map10", 0, 0, 0x10, DriveKind::kAtapi, 0xA0},
                    SmartRequestCase{"M1Drive1Map20", 0, 1, 0x20, DriveKind::kAtapi, 0xB0},
                    SmartRequestCase{"M1Drive0Map20", 0, 0, 0x20, DriveKind::kAta, 0xA0},
                    SmartRequestCase{"M1Drive3Map80", 0, 3, 0x80, DriveKind::kAtapi, 0xB0},
                    SmartRequestCase{"M1Drive2Map10", 0, 2, 0x10, DriveKind::kAta, 0xA0},
                    SmartRequestCase{"M1Drive5MapF0", 0, 5, 0xF0, DriveKind::kAta, 0xB0},
                    SmartRequestCase{"M1Drive0Map04", 0, 0, 0x04, DriveKind::kAta, 0xA0},
                    SmartRequestCase{"M1Drive15MapFF", 0, 15, 0xFF, DriveKind::kAta, 0xB0},
                    SmartRequestCase{"M4Drive0Map10", 1, 0, 0x10, DriveKind::kAta},
                    SmartRequestCase{"M4Drive3Map01", 1, 3, 0x01, DriveKind::kAta},
                    SmartRequestCase{"M4Drive15Map00", 1, 15, 0x00, DriveKind::kAta}),
    RowName());

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
    EXPECT_EQ(version[0].outSize, GETVERSIONINPARAMS::kSize);
    EXPECT_EQ(machine.devices.closes.size(), 1u);
    EXPECT_TRUE(NothingLeftBehind(machine));
  }
}

// A drive that answers counts even when its block is already held.
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
    EXPECT_EQ((info.*row.method)(), 1);
    EXPECT_EQ(info.identifyBlocks.size(), 1u);
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
