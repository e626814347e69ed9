// Whole runs of the program on simulated machines, compared byte for byte.
#include <functional>
#include <optional>
#include <string>

#include "app/hard_drive_info.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

TEST(Report, NothingFoundOnNt) {
  SimMachine machine;
  EXPECT_EQ(machine.Run(), 0);
  EXPECT_EQ(machine.console.output, HdsnReport{}.Text());
}

// Which texts become the master serial: the first block's, trimmed, when it
// is usable; otherwise WMI's, exactly as it came; otherwise "unknown". And
// which device methods report a drive, in which order.
struct RunCase {
  const char* name;
  // Disk 0's SerialNumber in WMI; none: WMI knows no disk at all.
  std::optional<std::u16string> wmiSerial;
  std::function<void(SimMachine&)> setUp;
  HdsnReport expected;
  int vxdOpens = 0;
  std::size_t otherOpens = 64;  // 16 devices for each of methods 1 to 4
};

class WholeRun : public testing::TestWithParam<RunCase> {};

TEST_P(WholeRun, PrintsEveryByteOfTheReport) {
  const RunCase& c = GetParam();
  SimMachine machine;
  if (c.wmiSerial) {
    BuildRealisticMachine(machine.wmi);
    machine.wmi.DiskDrive(0).properties["SerialNumber"] = *c.wmiSerial;
  }
  c.setUp(machine);
  EXPECT_EQ(machine.Run(), 0);
  EXPECT_EQ(machine.console.output, c.expected.Text());
  EXPECT_TRUE(NothingLeftBehind(machine));
  int vxdOpens = 0;
  for (const OpenRecord& open : machine.devices.opens) vxdOpens += open.path == kLegacyVxdPath;
  EXPECT_EQ(vxdOpens, c.vxdOpens);
  EXPECT_EQ(machine.devices.opens.size() - static_cast<std::size_t>(vxdOpens), c.otherOpens);
  EXPECT_EQ(machine.devices.priorityClassCalls.size(), static_cast<std::size_t>(2 * vxdOpens));
}

void Nothing(SimMachine&) {}

std::function<void(SimMachine&)> AtaDisk(const std::string& serial) {
  return [serial](SimMachine& m) { m.devices.physicalDrives[0] = MakeAtaDrive(serial, "DISK"); };
}

INSTANTIATE_TEST_SUITE_P(
    MasterSerial, WholeRun,
    testing::Values(
        // An ATAPI drive answers only method 1's IDENTIFY PACKET DEVICE, a
        // disk behind a SCSI port only method 2.
        RunCase{"Methods1And2",
                u"WMI-SERIAL",
                [](SimMachine& m) {
                  m.devices.physicalDrives[0] = MakeAtapiDrive("CDROM-01", "DVD", 0x10);
                  m.devices.scsiPorts[1].targets[0] = MakeIdentifyBlock("SCSI-DISK-7", "DISK");
                },
                {{1, 2}, "WMI-SERIAL", "CDROM-01"}},
        RunCase{"NothingAnywhere", std::nullopt, Nothing, {{}, "", "unknown"}},
        RunCase{"WmiStandsIn",
                u"  WD-WCAV12345678 ",
                Nothing,
                {{}, "WD-WCAV12345678", "WD-WCAV12345678"}},
        // Only blanks are trimmed from the WMI text; the fallback takes it as it is.
        RunCase{"WmiTextWithTabsTakenAsItIs", u"\tXY\t", Nothing, {{}, "\tXY\t", "\tXY\t"}},
        RunCase{"WmiUnknownInCapitalsStays", u"UNKNOWN", Nothing, {{}, "UNKNOWN", "UNKNOWN"}},
        RunCase{"WmiTooShort", u"AB", Nothing, {{}, "AB", "unknown"}},
        RunCase{"DeviceUnknownInCapitalsGivesWayToWmi",
                u"WMI-SERIAL",
                AtaDisk("UNKNOWN"),
                {{1, 4}, "WMI-SERIAL", "WMI-SERIAL"}},
        RunCase{"DeviceUnknownInCapitalsNoWmi",
                std::nullopt,
                AtaDisk("UNKNOWN"),
                {{1, 4}, "", "unknown"}},
        RunCase{
            "BlankSerialField", u"WMI-SERIAL", AtaDisk(""), {{1, 4}, "WMI-SERIAL", "WMI-SERIAL"}},
        RunCase{"TwoCharacters", std::nullopt, AtaDisk(" AB"), {{1, 4}, "", "unknown"}},
        RunCase{"ThreeCharacters", u"WMI-SERIAL", AtaDisk(" ABC"), {{1, 4}, "WMI-SERIAL", "ABC"}},
        // Only block 0 counts, even when a later drive has a good serial.
        RunCase{"OnlyTheFirstBlockCounts",
                std::nullopt,
                [](SimMachine& m) {
                  AtaDisk("")(m);
                  m.devices.physicalDrives[1] = MakeAtaDrive("SECOND-DISK", "DISK");
                },
                {{1, 4}, "", "unknown"}}),
    RowName());

INSTANTIATE_TEST_SUITE_P(
    Nt, WholeRun,
    testing::Values(
        // Drive 0 answers IDENTIFY DEVICE to methods 1 and 4; the ATAPI
        // drive only method 1's IDENTIFY PACKET DEVICE.
        RunCase{"AtaDiskThenAtapiDevice",
                std::nullopt,
                [](SimMachine& m) {
                  m.devices.physicalDrives[0] = MakeAtaDrive("  WD-WCAV12345678", "WDC", 0x21);
                  m.devices.physicalDrives[1] = MakeAtapiDrive("CD0001", "DVD", 0x21);
                  m.devices.vxdAnswer = MakeVxdAnswer({1, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}, {});
                },
                {{1, 4}, "", "WD-WCAV12345678"}},
        RunCase{"AtapiDeviceFirst",
                std::nullopt,
                [](SimMachine& m) {
                  m.devices.physicalDrives[0] = MakeAtapiDrive("CD0001", "DVD", 0x12);
                  m.devices.physicalDrives[1] = MakeAtaDrive("WD-WCAV12345678", "WDC", 0x12);
                },
                {{1, 4}, "", "CD0001"}},
        RunCase{"MiniportOnly",
                std::nullopt,
                [](SimMachine& m) {
                  m.devices.scsiPorts[3].targets[1] = MakeIdentifyBlock("SCSI-SERIAL", "DISK");
                },
                {{2}, "", "SCSI-SERIAL"}},
        RunCase{"MapZeroLeavesItToMethod4",
                std::nullopt,
                [](SimMachine& m) {
                  m.devices.physicalDrives[2] = MakeAtaDrive("DIRECT-ONLY", "DISK", 0x00);
                },
                {{4}, "", "DIRECT-ONLY"}},
        RunCase{"OneDriveByThreeMethods",
                std::nullopt,
                [](SimMachine& m) {
                  m.devices.physicalDrives[0] = MakeAtaDrive("SAME", "DISK");
                  m.devices.scsiPorts[0].targets[0] = m.devices.physicalDrives[0].identify;
                  m.devices.physicalDrives[0].storageDescriptor = MakeStorageDescriptor(64, "3132");
                },
                {{1, 2, 4}, "", "SAME"}},
        // As under Wine: the drive opens, knows no SMART, and describes
        // itself without a serial.
        RunCase{"DriveWithoutSmart",
                std::nullopt,
                [](SimMachine& m) {
                  m.devices.physicalDrives[0] = MakeAtaDrive("NEVER-READ", "DISK");
                  m.devices.physicalDrives[0].smart = false;
                  m.devices.physicalDrives[0].storageDescriptor = MakeStorageDescriptor(0, "");
                },
                {}}),
    RowName());

std::function<void(SimMachine&)> LegacyVxd(int refusedOpens) {
  return [refusedOpens](SimMachine& m) {
    m.system.platformId = kVerPlatformWin32Windows;
    m.devices.vxdAnswer = MakeVxdAnswer({1, 0, 0, 0}, {0, 1, 0, 0, 0, 0, 0, 0},
                                        {{1, MakeIdentifyBlock("VXD-SLAVE", "DISK")}});
    m.devices.refuseFirstOpens[kLegacyVxdPath] = refusedOpens;
    m.devices.physicalDrives[0] = MakeAtaDrive("NT-ONLY", "DISK");
    m.devices.scsiPorts[0].targets[0] = MakeIdentifyBlock("NT-ONLY", "DISK");
  };
}

INSTANTIATE_TEST_SUITE_P(
    LegacyPlatform, WholeRun,
    testing::Values(
        RunCase{
            "VxdAnswersAtTheThirdCall", std::nullopt, LegacyVxd(2), {{5}, "", "VXD-SLAVE"}, 3, 0},
        RunCase{
            "VxdAnswersAtTheTenthCall", std::nullopt, LegacyVxd(9), {{5}, "", "VXD-SLAVE"}, 10, 0},
        RunCase{"VxdNeverAnswers", std::nullopt, LegacyVxd(10), {}, 10, 0}),
    RowName());

// Method 1's blocks by drive, then method 2's by port and target, then what
// only method 4 found.
TEST(DeviceReport, BlocksFollowMethodThenDeviceOrder) {
  SimMachine machine;
  machine.devices.physicalDrives[5] = MakeAtaDrive("D5", "DISK");
  machine.devices.physicalDrives[1] = MakeAtaDrive("D1", "DISK");
  machine.devices.physicalDrives[0] = MakeAtaDrive("D0-MAP0", "DISK", 0x00);
  machine.devices.scsiPorts[4].targets[0] = MakeIdentifyBlock("P4T0", "DISK");
  machine.devices.scsiPorts[2].targets[1] = MakeIdentifyBlock("P2T1", "DISK");
  machine.devices.scsiPorts[2].targets[0] = machine.devices.physicalDrives[5].identify;
  HardDriveInfo info(machine.platform);
  info.CollectIdentifyBlocks();
  const auto& d = machine.devices.physicalDrives;
  const auto& p = machine.devices.scsiPorts;
  EXPECT_EQ(info.identifyBlocks,
            (IdentifyBlockList{d.at(1).identify, d.at(5).identify, *p.at(2).targets[1],
                               *p.at(4).targets[0], d.at(0).identify}));
  EXPECT_EQ(machine.console.output, ProgressLine(1) + ProgressLine(2) + ProgressLine(4));
}

struct VolumeCase {
  const char* name;
  std::string windowsDirectory;
  bool failWindowsDirectory;
  std::string volumeRoot;
  std::uint32_t serial;
  std::string expectedRoot;
  std::string expectedVolume;
  std::string label = "Windows System Disk";  // longer than 11 characters
};

class VolumeLine : public testing::TestWithParam<VolumeCase> {};

TEST_P(VolumeLine, PrintsRootAndSerial) {
  const VolumeCase& c = GetParam();
  SimMachine machine;
  machine.system.windowsDirectory = c.windowsDirectory;
  if (c.failWindowsDirectory) machine.faults.FailEvery("GetWindowsDirectoryA");
  machine.system.volumeSerials = {{c.volumeRoot, c.serial}};
  machine.system.volumeLabel = c.label;
  EXPECT_EQ(machine.Run(), 0);
  EXPECT_EQ(machine.console.output,
            (HdsnReport{{}, "", "unknown", c.expectedRoot, c.expectedVolume}.Text()));
  ASSERT_EQ(machine.system.volumeQueries.size(), 1u);
  EXPECT_EQ(machine.system.volumeQueries[0], c.expectedRoot);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VolumeLine,
    testing::Values(
        VolumeCase{"WindowsOnC", "C:\\WINDOWS", false, "C:\\", 0x43000000u, "C:\\", "43000000"},
        VolumeCase{"WinntOnD", "D:\\WINNT", false, "D:\\", 0xABCDEF12u, "D:\\", "abcdef12"},
        VolumeCase{"LeadingZerosDropped", "C:\\WINDOWS", false, "C:\\", 0x00000A0Bu, "C:\\", "a0b"},
        VolumeCase{"ZeroSerial", "C:\\WINDOWS", false, "C:\\", 0u, "C:\\", "0"},
        VolumeCase{"AllBitsSet", "C:\\WINDOWS", false, "C:\\", 0xFFFFFFFFu, "C:\\", "ffffffff"},
        VolumeCase{"DeepDirectoryCutAtFirstBackslash", "E:\\OS\\WINDOWS\\", false, "E:\\", 0x1u,
                   "E:\\", "1"},
        // No backslash: the path is queried as it stands.
        VolumeCase{"NoBackslash", "C:", false, "C:", 0x5u, "C:", "5"},
        // GetWindowsDirectoryA fails: empty root; the volume call fails too
        // and the serial reads 0.
        VolumeCase{"WindowsDirectoryFails", "", true, "C:\\", 0x43000000u, "", "0"},
        VolumeCase{"VolumeFails", "C:\\WINDOWS", false, "Z:\\", 0x43000000u, "C:\\", "0"},
        // NTFS's longest label fits; one longer than MAX_PATH fails the call.
        VolumeCase{"LabelOf32Characters", "C:\\WINDOWS", false, "C:\\", 0x5C1D2E3Fu, "C:\\",
                   "5c1d2e3f", std::string(32, 'L')},
        VolumeCase{"LabelBeyondTheBuffer", "C:\\WINDOWS", false, "C:\\", 0x5C1D2E3Fu, "C:\\", "0",
                   std::string(261, 'L')}),
    RowName());

TEST(Report, WindowsDirectoryFillingTheWholeBufferStaysInside) {
  SimMachine machine;
  machine.system.windowsDirectory = std::string(260, 'W');  // no backslash, no room to spare
  machine.system.volumeSerials = {};
  EXPECT_EQ(machine.Run(), 0);
  ASSERT_EQ(machine.system.volumeQueries.size(), 1u);
  EXPECT_EQ(machine.system.volumeQueries[0], std::string(260, 'W'));
}

TEST(Report, PromptIsFlushedBeforeTheSingleKeyRead) {
  SimMachine machine;
  machine.console.input = 'x';
  EXPECT_EQ(machine.Run(), 0);
  EXPECT_TRUE(NoProblems(ReportProblems(machine.console)));
  EXPECT_EQ(machine.console.outputAtGetChar, machine.console.output.size());
  EXPECT_TRUE(machine.console.output.ends_with(kPrompt));
}

}  // namespace
}  // namespace hdsn::sim
