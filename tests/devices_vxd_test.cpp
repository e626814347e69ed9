// Method 5: the legacy IDE VxD's answer for eight drives at once.
#include <string>

#include "app/hard_drive_info.h"
#include "devices/device_layouts.h"
#include "sim/call_log.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

// The calls of one exchange with the VxD as the machine logs them.
std::vector<std::string> Exchange(bool opened) {
  std::vector<std::string> calls = {"SetPriorityClass " + Hex(kRealtimePriorityClass),
                                    std::string("CreateFileA ") + kLegacyVxdPath};
  if (opened)
    calls.insert(calls.end(), {"DeviceIoControl " + Hex(layout::kVxdIdentifyCode), "CloseHandle"});
  calls.push_back("SetPriorityClass " + Hex(kNormalPriorityClass));
  return calls;
}

IdentifyBlock DriveBlock(int drive) {
  return MakeIdentifyBlock("VXD-DRIVE-" + std::to_string(drive), "LEGACY DISK");
}

struct VxdAnswerCase {
  const char* name;
  std::array<std::uint8_t, 4> controllers;
  std::array<std::uint8_t, 8> drives;
  std::vector<int> expectedDrives;  // blocks expected in the list, in order
};

class VxdAnswerLayout : public testing::TestWithParam<VxdAnswerCase> {};

TEST_P(VxdAnswerLayout, TakesTheBlocksOfPresentDrivesOnPresentControllers) {
  const VxdAnswerCase& c = GetParam();
  std::map<int, IdentifyBlock> blocks;
  for (int drive = 0; drive < 8; ++drive) blocks[drive] = DriveBlock(drive);
  SimMachine machine;
  machine.devices.vxdAnswer = MakeVxdAnswer(c.controllers, c.drives, blocks);
  HardDriveInfo info(machine.platform);

  EXPECT_EQ(info.ReadLegacyVxdIdentify(), c.expectedDrives.empty() ? 0 : 1);
  IdentifyBlockList expected;
  for (int drive : c.expectedDrives) expected.push_back(DriveBlock(drive));
  EXPECT_EQ(info.identifyBlocks, expected);
  EXPECT_TRUE(NothingLeftBehind(machine));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VxdAnswerLayout,
    testing::Values(
        VxdAnswerCase{"NothingWritten", {0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}, {}},
        VxdAnswerCase{"DrivesWithoutControllers", {0, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 1, 1}, {}},
        VxdAnswerCase{"ControllersWithoutDrives", {1, 1, 1, 1}, {0, 0, 0, 0, 0, 0, 0, 0}, {}},
        VxdAnswerCase{"Drive3OnAbsentController1", {1, 0, 1, 0}, {0, 0, 0, 1, 0, 0, 0, 0}, {}},
        VxdAnswerCase{
            "MasterAndSlaveOfController0", {1, 0, 0, 0}, {1, 1, 0, 0, 0, 0, 0, 0}, {0, 1}},
        VxdAnswerCase{"FlagsOf0xFF", {0, 0xFF, 0, 0}, {0, 0, 0xFF, 0, 0, 0, 0, 0}, {2}},
        VxdAnswerCase{"LastDriveOnly", {0, 0, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 1}, {7}},
        VxdAnswerCase{
            "AllEight", {1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5, 6, 7}}),
    RowName());

TEST(LegacyVxd5, OneExchangeUnderTheRealtimeClass) {
  SimMachine machine;
  machine.devices.priorityClass = 0x40;  // IDLE_PRIORITY_CLASS before: not brought back
  machine.devices.vxdAnswer =
      MakeVxdAnswer({1, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}, {{0, DriveBlock(0)}});
  HardDriveInfo info(machine.platform);
  EXPECT_EQ(info.ReadLegacyVxdIdentify(), 1);

  EXPECT_EQ(machine.devices.calls, Exchange(true));
  ASSERT_EQ(machine.devices.opens.size(), 1u);
  const OpenRecord& open = machine.devices.opens[0];
  EXPECT_EQ(open.access, 0u);
  EXPECT_EQ(open.share, 0u);
  EXPECT_EQ(open.disposition, 0u);
  EXPECT_EQ(open.flags, kFileFlagDeleteOnClose);
  ASSERT_EQ(machine.devices.requests.size(), 1u);
  EXPECT_EQ(machine.devices.requests[0].inSize, 0u);
  EXPECT_TRUE(machine.devices.requests[0].input.empty());
  EXPECT_EQ(machine.devices.requests[0].outSize, 4u);
  EXPECT_TRUE(NothingLeftBehind(machine));
}

TEST(LegacyVxd5, UnreachableDriverLeavesTheListAndRestoresNormal) {
  SimMachine machine;
  HardDriveInfo info(machine.platform);
  const IdentifyBlock held = DriveBlock(5);
  info.AddIdentifyBlock(held.data());
  EXPECT_EQ(info.ReadLegacyVxdIdentify(), 0);
  EXPECT_EQ(machine.devices.calls, Exchange(false));
  EXPECT_EQ(info.identifyBlocks, IdentifyBlockList{held});
}

// The request's result means nothing; a second call with the same answer
// adds nothing but still counts.
TEST(LegacyVxd5, UsesWhatWasWrittenAndRepeatsWithoutGrowing) {
  SimMachine machine;
  machine.devices.vxdResult = 0;
  machine.devices.vxdAnswer = MakeVxdAnswer({1, 0, 0, 0}, {1, 1, 0, 0, 0, 0, 0, 0},
                                            {{0, DriveBlock(0)}, {1, DriveBlock(0)}});
  HardDriveInfo info(machine.platform);
  EXPECT_EQ(info.ReadLegacyVxdIdentify(), 1);
  EXPECT_EQ(info.ReadLegacyVxdIdentify(), 1);
  EXPECT_EQ(info.identifyBlocks, IdentifyBlockList{DriveBlock(0)});
  EXPECT_EQ(machine.devices.priorityClassCalls.size(), 4u);
  EXPECT_TRUE(NothingLeftBehind(machine));
}

}  // namespace
}  // namespace hdsn::sim
