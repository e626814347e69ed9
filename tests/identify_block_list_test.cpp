// The block list: distinct copies in order of addition, and the process-wide
// instance that owns it.
#include <cstring>

#include "app/hard_drive_info.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

IdentifyBlock Filled(std::uint8_t value) {
  IdentifyBlock block;
  block.fill(value);
  return block;
}

TEST(IdentifyBlockList, KeepsOneCopyOfEachDistinctBlockInOrder) {
  SimMachine machine;
  HardDriveInfo info{machine.platform};
  IdentifyBlock a = Filled(1);
  IdentifyBlock b = a;
  b[511] = 2;  // differs in the last byte only, far from the serial field
  IdentifyBlock c = a;
  c[0] = 3;

  EXPECT_TRUE(info.AddIdentifyBlock(a.data()));
  EXPECT_TRUE(info.AddIdentifyBlock(b.data()));
  EXPECT_FALSE(info.AddIdentifyBlock(a.data()));
  EXPECT_TRUE(info.AddIdentifyBlock(c.data()));
  EXPECT_FALSE(info.AddIdentifyBlock(b.data()));
  ASSERT_EQ(info.identifyBlocks.size(), 3u);
  EXPECT_EQ(info.identifyBlocks[0], a);
  EXPECT_EQ(info.identifyBlocks[1], b);
  EXPECT_EQ(info.identifyBlocks[2], c);

  // The list holds copies: the caller's buffer may change afterwards.
  a.fill(9);
  EXPECT_EQ(info.identifyBlocks[0], Filled(1));
}

TEST(IdentifyBlockList, InstanceIsCreatedOnceAndDestroyedOnDemand) {
  SimMachine machine;
  HardDriveInfo& first = GetHardDriveInfo(machine.platform);
  const std::string afterCreation = machine.console.output;
  EXPECT_EQ(&GetHardDriveInfo(machine.platform), &first);
  EXPECT_EQ(machine.console.output, afterCreation);  // no second run of the methods
  EXPECT_EQ(machine.system.getVersionCalls, 1);
  EXPECT_STREQ(GetMasterSerial(first), "unknown");

  DestroyHardDriveInfo();
  DestroyHardDriveInfo();  // an empty slot is left alone
  GetHardDriveInfo(machine.platform);
  EXPECT_EQ(machine.system.getVersionCalls, 2);
  DestroyHardDriveInfo();
}

TEST(IdentifyBlockList, ChainStartsFromAnEmptyListAndAsksForTheVersionProperly) {
  SimMachine machine;
  HardDriveInfo info{machine.platform};
  const IdentifyBlock stale = Filled(7);
  info.AddIdentifyBlock(stale.data());
  EXPECT_EQ(info.CollectIdentifyBlocks(), 0u);
  EXPECT_TRUE(info.identifyBlocks.empty());
  EXPECT_EQ(machine.system.lastVersionInfoSize, OsVersionInfoA::kSize);
}

}  // namespace
}  // namespace hdsn::sim
