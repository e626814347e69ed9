// What every device method owes the platform: the devices it opens and how,
// one close per handle and the normal priority class on every path, and no
// read or write outside its buffers whatever the drivers answer.
#include <random>
#include <string>

#include "app/hard_drive_info.h"
#include "devices/device_layouts.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

using Method = std::int32_t (HardDriveInfo::*)();

struct MethodRow {
  const char* name;
  Method method;
  const char* pathPrefix;
  const char* pathSuffix;
  std::uint32_t access;
  std::uint32_t share;
};

constexpr std::uint32_t kReadWrite = kGenericRead | kGenericWrite;
constexpr std::uint32_t kShareReadWrite = kFileShareRead | kFileShareWrite;

const MethodRow kIndexedMethods[] = {
    {"Method1", &HardDriveInfo::ReadPhysicalDriveWithSmart, "\\\\.\\PhysicalDrive", "", kReadWrite,
     kShareReadWrite},
    {"Method2", &HardDriveInfo::ReadScsiMiniportIdentify, "\\\\.\\Scsi", ":", kReadWrite,
     kShareReadWrite},
    {"Method3", &HardDriveInfo::ReadStorageDescriptor, "\\\\.\\PhysicalDrive", "", 0,
     kShareReadWrite},
    {"Method4", &HardDriveInfo::ReadSmartDirect, "\\\\.\\PhysicalDrive", "", kReadWrite,
     kShareReadWrite | kFileShareDelete},
};

const MethodRow kAllMethods[] = {
    kIndexedMethods[0],
    kIndexedMethods[1],
    kIndexedMethods[2],
    kIndexedMethods[3],
    {"Method5", &HardDriveInfo::ReadLegacyVxdIdentify, "", "", 0, 0},
};

// A machine on which every method finds something to ask.
void Populate(SimMachine& machine) {
  SimPhysicalDrive disk = MakeAtaDrive("DISK-0", "ATA DISK", 0x21);
  disk.storageDescriptor = MakeStorageDescriptor(64, "3132333435");
  disk.mediaSerial = MakeMediaSerial("MEDIA");
  machine.devices.physicalDrives[0] = disk;
  machine.devices.physicalDrives[1] = MakeAtapiDrive("CD-1", "ATAPI CD", 0x21);
  machine.devices.physicalDrives[7] = MakeAtaDrive("DISK-7", "ATA DISK", 0x01);
  machine.devices.scsiPorts[0].targets[0] = MakeIdentifyBlock("PORT0-T0", "ATA DISK");
  machine.devices.scsiPorts[0].targets[1] = MakeIdentifyBlock("PORT0-T1", "ATA DISK");
  machine.devices.scsiPorts[3].targets[1] = MakeIdentifyBlock("PORT3-T1", "ATA DISK");
  machine.devices.vxdAnswer = MakeVxdAnswer({1, 1, 0, 0}, {1, 0, 1, 1, 0, 0, 0, 0},
                                            {{0, MakeIdentifyBlock("VXD-0", "ATA DISK")},
                                             {2, MakeIdentifyBlock("VXD-2", "ATA DISK")},
                                             {3, MakeIdentifyBlock("VXD-3", "ATA DISK")}});
}

TEST(DeviceMethods, OpenEveryIndexWithTheirOwnArgumentsAndFindNothing) {
  for (const MethodRow& row : kIndexedMethods) {
    SCOPED_TRACE(row.name);
    SimMachine machine;
    HardDriveInfo info(machine.platform);
    EXPECT_EQ((info.*row.method)(), 0);
    ASSERT_EQ(machine.devices.opens.size(), 16u);
    for (int index = 0; index < 16; ++index) {
      const OpenRecord& open = machine.devices.opens[static_cast<std::size_t>(index)];
      EXPECT_EQ(open.path, row.pathPrefix + std::to_string(index) + row.pathSuffix);
      EXPECT_EQ(open.access, row.access);
      EXPECT_EQ(open.share, row.share);
      EXPECT_EQ(open.disposition, kOpenExisting);
      EXPECT_EQ(open.flags, 0u);
    }
    EXPECT_TRUE(machine.devices.requests.empty());
    EXPECT_TRUE(info.identifyBlocks.empty());
  }
}

// A path whose conversion to the ANSI code page fails is never opened; the
// next index is tried with its own path.
TEST(DeviceMethods, SkipAnIndexWhosePathCannotBeConverted) {
  for (const MethodRow& row : kIndexedMethods) {
    SCOPED_TRACE(row.name);
    SimMachine machine;
    machine.faults.FailNth("WideCharToMultiByte", 3);
    HardDriveInfo info(machine.platform);
    EXPECT_EQ((info.*row.method)(), 0);
    ASSERT_EQ(machine.devices.opens.size(), 15u);
    EXPECT_EQ(machine.devices.opens[1].path, row.pathPrefix + std::string("1") + row.pathSuffix);
    EXPECT_EQ(machine.devices.opens[2].path, row.pathPrefix + std::string("3") + row.pathSuffix);
  }
}

// Garbage, short and zero answers to every request a method sends.
TEST(DeviceMethods, StayInsideTheirBuffersWhateverTheDriversAnswer) {
  std::mt19937 random(20260101);
  Bytes garbage(12000);
  for (std::uint8_t& byte : garbage) byte = static_cast<std::uint8_t>(random() % 255 + 1);
  struct AnswerRow {
    const char* name;
    Bytes bytes;
    int result;
  };
  const AnswerRow answers[] = {{"Garbage", garbage, 1},
                               {"GarbageReportedAsFailure", garbage, 0},
                               {"Short", Bytes(3, 0xFF), 1},
                               {"Empty", Bytes{}, 1},
                               {"Zeros", Bytes(12000, 0), 1}};
  for (const MethodRow& row : kAllMethods) {
    for (const AnswerRow& answer : answers) {
      SCOPED_TRACE(testing::Message() << row.name << " " << answer.name);
      SimMachine machine;
      Populate(machine);
      for (std::uint32_t code : kDriverRequestCodes)
        machine.devices.answerOverrides[code] = {answer.bytes, answer.result};
      HardDriveInfo info(machine.platform);
      const std::int32_t result = (info.*row.method)();
      EXPECT_TRUE(result == 0 || result == 1);
      EXPECT_TRUE(NothingLeftBehind(machine));
      EXPECT_TRUE(machine.console.output.empty());
    }
  }
}

}  // namespace
}  // namespace hdsn::sim
