// Whole runs of the program on machines with drives, compared byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/hard_drive_info.h"
#include "sim/sim_machine.h"

namespace hdsn::sim {
namespace {

std::string Report(const std::string& progress, const std::string& serial) {
  return progress + "hdd serial retrieves with method 0: \n" +
         "\nhdsn, master hard disk and system volume serial numbers, \xA9"
         "2026 the hdsn authors\n"
         "------------------------------------\n"
         "Your master hard disk serial number is " +
         serial +
         "\n"
         "Your volume number for system drive C:\\ is 43000000\n"
         "\n\nPress any key to exit...";
}

std::string Line(int method) {
  return "hdd serial retrieves with method " + std::to_string(method) + "\n";
}

const std::string kVxdPath = "\\\\.\\IDE21201.VXD";

struct RunCase {
  const char* name;
  std::function<void(SimMachine&)> setUp;
  std::string expectedOutput;
  int vxdOpens = 0;
  std::size_t otherOpens = 64;  // 16 devices for each of methods 1 to 4
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class DeviceReport : public testing::TestWithParam<RunCase> {};

TEST_P(DeviceReport, PrintsTheProgressLinesAndTheFirstBlocksSerial) {
  const RunCase& c = GetParam();
  SimMachine machine;
  c.setUp(machine);
  EXPECT_EQ(machine.Run(), 0);
  EXPECT_EQ(machine.console.output, c.expectedOutput);
  EXPECT_EQ(machine.devices.OpenHandleCount(), 0u);
  EXPECT_EQ(machine.devices.badHandleUses, 0);
  EXPECT_EQ(machine.devices.priorityClass, 0x20u);
  int vxdOpens = 0;
  for (const OpenRecord& open : machine.devices.opens) vxdOpens += open.path == kVxdPath;
  EXPECT_EQ(vxdOpens, c.vxdOpens);
  EXPECT_EQ(machine.devices.opens.size() - static_cast<std::size_t>(vxdOpens), c.otherOpens);
  EXPECT_EQ(machine.devices.priorityClassCalls.size(), static_cast<std::size_t>(2 * vxdOpens));
}

INSTANTIATE_TEST_SUITE_P(
    Nt, DeviceReport,
    testing::Values(
        // Drive 0 answers IDENTIFY DEVICE to methods 1 and 4; the ATAPI
        // drive only method 1's IDENTIFY PACKET DEVICE.
        RunCase{"AtaDiskThenAtapiDevice",
                [](SimMachine& m) {
                  m.devices.physicalDrives[0] = MakeAtaDrive("  WD-WCAV12345678", "WDC", 0x21);
                  m.devices.physicalDrives[1] = MakeAtapiDrive("CD0001", "DVD", 0x21);
                  m.devices.vxdAnswer = MakeVxdAnswer({1, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}, {});
                },
                Report(Line(1) + Line(4), "WD-WCAV12345678")},
        RunCase{"AtapiDeviceFirst",
                [](SimMachine& m) {
                  m.devices.physicalDrives[0] = MakeAtapiDrive("CD0001", "DVD", 0x12);
                  m.devices.physicalDrives[1] = MakeAtaDrive("WD-WCAV12345678", "WDC", 0x12);
                },
                Report(Line(1) + Line(4), "CD0001")},
        RunCase{"MiniportOnly",
                [](SimMachine& m) {
                  m.devices.scsiPorts[3].targets[1] = MakeIdentifyBlock("SCSI-SERIAL", "DISK");
                },
                Report(Line(2), "SCSI-SERIAL")},
        RunCase{"MapZeroLeavesItToMethod4",
                [](SimMachine& m) {
                  m.devices.physicalDrives[2] = MakeAtaDrive("DIRECT-ONLY", "DISK", 0x00);
                },
                Report(Line(4), "DIRECT-ONLY")},
        RunCase{"OneDriveByThreeMethods",
                [](SimMachine& m) {
                  m.devices.physicalDrives[0] = MakeAtaDrive("SAME", "DISK");
                  m.devices.scsiPorts[0].targets[0] = m.devices.physicalDrives[0].identify;
                  m.devices.physicalDrives[0].storageDescriptor = MakeStorageDescriptor(64, "3132");
                },
                Report(Line(1) + Line(2) + Line(4), "SAME")},
        // As under Wine: the drive opens, knows no SMART, and describes
        // itself without a serial.
        RunCase{"DriveWithoutSmart",
                [](SimMachine& m) {
                  m.devices.physicalDrives[0] = MakeAtaDrive("NEVER-READ", "DISK");
                  m.devices.physicalDrives[0].smart = false;
                  m.devices.physicalDrives[0].storageDescriptor = MakeStorageDescriptor(0, "");
                },
                Report("", "unknown")}),
    [](const testing::TestParamInfo<RunCase>& row) { return row.param.name; });

void SetUpLegacyVxd(SimMachine& m, int refusedOpens) {
  m.system.platformId = 1;  // VER_PLATFORM_WIN32_WINDOWS
  m.devices.vxdAnswer = MakeVxdAnswer({1, 0, 0, 0}, {0, 1, 0, 0, 0, 0, 0, 0},
                                      {{1, MakeIdentifyBlock("VXD-SLAVE", "DISK")}});
  m.devices.refuseFirstOpens[kVxdPath] = refusedOpens;
  m.devices.physicalDrives[0] = MakeAtaDrive("NT-ONLY", "DISK");
  m.devices.scsiPorts[0].targets[0] = MakeIdentifyBlock("NT-ONLY", "DISK");
}

INSTANTIATE_TEST_SUITE_P(
    LegacyPlatform, DeviceReport,
    testing::Values(RunCase{"VxdAnswersAtTheThirdCall", [](SimMachine& m) { SetUpLegacyVxd(m, 2); },
                            Report(Line(5), "VXD-SLAVE"), 3, 0},
                    RunCase{"VxdAnswersAtTheTenthCall", [](SimMachine& m) { SetUpLegacyVxd(m, 9); },
                            Report(Line(5), "VXD-SLAVE"), 10, 0},
                    RunCase{"VxdNeverAnswers", [](SimMachine& m) { SetUpLegacyVxd(m, 10); },
                            Report("", "unknown"), 10, 0}),
    [](const testing::TestParamInfo<RunCase>& row) { return row.param.name; });

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
  EXPECT_EQ(machine.console.output, Line(1) + Line(2) + Line(4));
}

}  // namespace
}  // namespace hdsn::sim
