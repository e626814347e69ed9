// Whole runs of the program on simulated machines, compared byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "sim/sim_machine.h"

namespace hdsn::sim {
namespace {

const std::string kBanner =
    "\nhdsn, master hard disk and system volume serial numbers, \xA9"
    "2026 the hdsn authors\n";
const std::string kDashes = "------------------------------------\n";
const std::string kPrompt = "\n\nPress any key to exit...";

std::string Report(const std::string& serial, const std::string& root, const std::string& volume) {
  return kBanner + kDashes + "Your master hard disk serial number is " + serial + "\n" +
         "Your volume number for system drive " + root + " is " + volume + "\n" + kPrompt;
}

TEST(Report, NothingFoundOnNt) {
  SimMachine machine;
  EXPECT_EQ(machine.Run(), 0);
  EXPECT_EQ(machine.console.output,
            "hdd serial retrieves with method 0: \n" + Report("unknown", "C:\\", "43000000"));
}

// Which texts become the master serial: the first block's, trimmed, when it
// is usable; otherwise WMI's, exactly as it came; otherwise "unknown".
struct MachineCase {
  const char* name;
  std::function<void(SimDevices&)> drives;
  // Disk 0's SerialNumber in WMI; none: WMI knows no disk at all.
  std::optional<std::u16string> wmiSerial;
  std::string progress;
  std::string method0;
  std::string master;
};

void PrintTo(const MachineCase& c, std::ostream* os) { *os << c.name; }

class MasterSerialRun : public testing::TestWithParam<MachineCase> {};

TEST_P(MasterSerialRun, PrintsEveryByteOfTheReport) {
  const MachineCase& c = GetParam();
  SimMachine machine;
  c.drives(machine.devices);
  if (c.wmiSerial) {
    BuildRealisticMachine(machine.wmi);
    machine.wmi.Find("Win32_DiskDrive", "DeviceID", "\\\\.\\PHYSICALDRIVE0")
        ->properties["SerialNumber"] = *c.wmiSerial;
  }
  EXPECT_EQ(machine.Run(), 0);
  EXPECT_EQ(machine.console.output, c.progress + "hdd serial retrieves with method 0: " +
                                        c.method0 + "\n" + Report(c.master, "C:\\", "43000000"));
}

void AtaDisk(SimDevices& d, const std::string& serial) {
  d.physicalDrives[0] = MakeAtaDrive(serial, "DISK");
}

const std::string kLine1 = "hdd serial retrieves with method 1\n";
const std::string kLine2 = "hdd serial retrieves with method 2\n";
const std::string kLine4 = "hdd serial retrieves with method 4\n";

INSTANTIATE_TEST_SUITE_P(
    Machines, MasterSerialRun,
    testing::Values(
        // An ATAPI drive answers only method 1's IDENTIFY PACKET DEVICE, a
        // disk behind a SCSI port only method 2.
        MachineCase{"Methods1And2",
                    [](SimDevices& d) {
                      d.physicalDrives[0] = MakeAtapiDrive("CDROM-01", "DVD", 0x10);
                      d.scsiPorts[1].targets[0] = MakeIdentifyBlock("SCSI-DISK-7", "DISK");
                    },
                    u"WMI-SERIAL", kLine1 + kLine2, "WMI-SERIAL", "CDROM-01"},
        MachineCase{"NothingAnywhere", [](SimDevices&) {}, std::nullopt, "", "", "unknown"},
        MachineCase{"WmiStandsIn", [](SimDevices&) {}, u"  WD-WCAV12345678 ", "", "WD-WCAV12345678",
                    "WD-WCAV12345678"},
        // Only blanks are trimmed from the WMI text; the fallback takes it as it is.
        MachineCase{"WmiTextWithTabsTakenAsItIs", [](SimDevices&) {}, u"\tXY\t", "", "\tXY\t",
                    "\tXY\t"},
        MachineCase{"WmiUnknownInCapitalsStays", [](SimDevices&) {}, u"UNKNOWN", "", "UNKNOWN",
                    "UNKNOWN"},
        MachineCase{"WmiTooShort", [](SimDevices&) {}, u"AB", "", "AB", "unknown"},
        MachineCase{"DeviceUnknownInCapitalsGivesWayToWmi",
                    [](SimDevices& d) { AtaDisk(d, "UNKNOWN"); }, u"WMI-SERIAL", kLine1 + kLine4,
                    "WMI-SERIAL", "WMI-SERIAL"},
        MachineCase{"DeviceUnknownInCapitalsNoWmi", [](SimDevices& d) { AtaDisk(d, "UNKNOWN"); },
                    std::nullopt, kLine1 + kLine4, "", "unknown"},
        MachineCase{"BlankSerialField", [](SimDevices& d) { AtaDisk(d, ""); }, u"WMI-SERIAL",
                    kLine1 + kLine4, "WMI-SERIAL", "WMI-SERIAL"},
        MachineCase{"TwoCharacters", [](SimDevices& d) { AtaDisk(d, " AB"); }, std::nullopt,
                    kLine1 + kLine4, "", "unknown"},
        MachineCase{"ThreeCharacters", [](SimDevices& d) { AtaDisk(d, " ABC"); }, u"WMI-SERIAL",
                    kLine1 + kLine4, "WMI-SERIAL", "ABC"},
        // Only block 0 counts, even when a later drive has a good serial.
        MachineCase{"OnlyTheFirstBlockCounts",
                    [](SimDevices& d) {
                      AtaDisk(d, "");
                      d.physicalDrives[1] = MakeAtaDrive("SECOND-DISK", "DISK");
                    },
                    std::nullopt, kLine1 + kLine4, "", "unknown"}),
    [](const testing::TestParamInfo<MachineCase>& row) { return row.param.name; });

struct VolumeCase {
  const char* name;
  std::string windowsDirectory;
  bool failWindowsDirectory;
  std::string volumeRoot;
  std::uint32_t serial;
  std::string expectedRoot;
  std::string expectedVolume;
};

class VolumeLine : public testing::TestWithParam<VolumeCase> {};

TEST_P(VolumeLine, PrintsRootAndSerial) {
  const VolumeCase& c = GetParam();
  SimMachine machine;
  machine.system.windowsDirectory = c.windowsDirectory;
  machine.system.failWindowsDirectory = c.failWindowsDirectory;
  machine.system.volumeSerials = {{c.volumeRoot, c.serial}};
  EXPECT_EQ(machine.Run(), 0);
  const std::string line =
      "Your volume number for system drive " + c.expectedRoot + " is " + c.expectedVolume + "\n";
  EXPECT_NE(machine.console.output.find(line), std::string::npos) << machine.console.output;
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
        VolumeCase{"VolumeFails", "C:\\WINDOWS", false, "Z:\\", 0x43000000u, "C:\\", "0"}),
    [](const testing::TestParamInfo<VolumeCase>& row) { return row.param.name; });

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
  EXPECT_EQ(machine.console.getCharCalls, 1);
  EXPECT_TRUE(machine.console.flushedBeforeGetChar);
  EXPECT_EQ(machine.console.outputAtGetChar, machine.console.output.size());
  EXPECT_TRUE(machine.console.output.ends_with(kPrompt));
}

}  // namespace
}  // namespace hdsn::sim
