// Every platform call of a whole run failing in turn: the k-th call fails,
// for every k from the first call to the last. Whatever fails, hdsn's report
// comes out in full with status 0, hdsn-disks' document is valid JSON, and
// nothing is left behind. (Leaks of memory are LeakSanitizer's to find at
// exit.)
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "app/hard_drive_info.h"
#include "test_support.h"
#include "wmi/wql_text.h"

namespace hdsn::sim {
namespace {

void RichNtMachine(SimMachine& m) {
  m.devices.physicalDrives[0] = MakeAtaDrive("WD-WCAV12345678", "WDC WD5000", 0x31);
  m.devices.physicalDrives[0].storageDescriptor = MakeStorageDescriptor(64, "3231343332");
  m.devices.physicalDrives[0].mediaSerial = MakeMediaSerial("MEDIA");
  m.devices.physicalDrives[1] = MakeAtapiDrive("CD0001", "DVD-ROM", 0x31);
  m.devices.physicalDrives[3] = MakeAtaDrive("SECOND", "DISK", 0x00);
  m.devices.scsiPorts[0].targets[0] = m.devices.physicalDrives[0].identify;
  m.devices.scsiPorts[2].targets[1] = MakeIdentifyBlock("BEHIND-PORT", "DISK");
  // No serial number on the disk drive in WMI: the chain goes on to its
  // physical media, so every one of its seven queries runs.
  BuildRealisticMachine(m.wmi);
  m.wmi.DiskDrive(0).properties["SerialNumber"] = std::nullopt;
}

void RichLegacyMachine(SimMachine& m) {
  m.system.platformId = kVerPlatformWin32Windows;
  m.devices.vxdAnswer = MakeVxdAnswer(
      {1, 1, 0, 0}, {1, 0, 0xFF, 0, 0, 0, 0, 0},
      {{0, MakeIdentifyBlock("VXD-MASTER", "DISK")}, {2, MakeIdentifyBlock("VXD-SECOND", "DISK")}});
  m.devices.refuseFirstOpens[kLegacyVxdPath] = 1;
  BuildRealisticMachine(m.wmi);
}

struct SweepCase {
  const char* name;
  std::function<void(SimMachine&)> build;
};

class FaultSweep : public testing::TestWithParam<SweepCase> {};

TEST_P(FaultSweep, EveryCallFailingInTurnLeavesNothingBehind) {
  long total = 0;
  {
    SimMachine reference;
    GetParam().build(reference);
    ASSERT_EQ(reference.Run(), 0);
    total = reference.faults.calls();
  }
  ASSERT_GT(total, 40);

  int outOfMemory = 0;
  for (long k = 1; k <= total; ++k) {
    SimMachine m;
    GetParam().build(m);
    m.faults.FailCall(k);
    int status = -1;
    try {
      status = m.Run();
    } catch (const ComError& error) {
      // A COM string that cannot be had is memory exhaustion, which ends the
      // run on purpose; what was obtained is still given back on the way out.
      EXPECT_EQ(error.Error(), kEOutOfMemory);
      ++outOfMemory;
    }
    ASSERT_EQ(m.faults.failed().size(), 1u) << "call " << k;
    const std::string& failed = m.faults.failed()[0];
    SCOPED_TRACE("call " + std::to_string(k) + " of " + std::to_string(total) +
                 " fails: " + failed);
    EXPECT_EQ(status == -1, failed == "SysAllocStringLen");
    if (status != -1) {
      EXPECT_EQ(status, 0);
      EXPECT_TRUE(NoProblems(ReportProblems(m.console)));
    }
    EXPECT_TRUE(NothingLeftBehind(m));
    DestroyHardDriveInfo();
  }
  EXPECT_GT(outOfMemory, 0);
}

INSTANTIATE_TEST_SUITE_P(Machines, FaultSweep,
                         testing::Values(SweepCase{"Nt", RichNtMachine},
                                         SweepCase{"Legacy", RichLegacyMachine}),
                         RowName());

// hdsn-disks on a machine with a disk of each kind: whatever fails, the
// document is whole, the status says whether a disk has a serial, and every
// handle, COM object and string is given back.
void RichDisksMachine(SimMachine& m) {
  m.devices.physicalDrives[0] = MakeNvmeDrive("0025_3881_91B2_1234.", "NVME0R123456A", "NVMe SSD");
  m.devices.physicalDrives[1] = MakeSataDrive("WD-WCAV12345678", "SATA SSD");
  m.devices.physicalDrives[1].ataPassThrough = false;  // SMART's requests too
  m.devices.physicalDrives[3] = MakeUsbBridge("USB-BRIDGE-0001", "USB Disk");
  m.wmi.AddInventoryDisk(0, u"0025_3881_91B2_1234.", u"NVMe SSD", u"NV-FW-01");
  m.wmi.AddInventoryDisk(5, u"WMI-ONLY", u"Virtual Disk", u"1.0");
  m.devices.volumeExtents.emplace();  // and so the device number is asked too
  m.devices.volumeDeviceNumber = {.number = 1};
}

TEST(DisksFaultSweep, EveryCallFailingInTurnKeepsTheDocumentWholeAndLeavesNothingBehind) {
  long total = 0;
  {
    SimMachine reference;
    RichDisksMachine(reference);
    ASSERT_EQ(reference.RunDisks({"--json"}), 0);
    total = reference.faults.calls();
  }
  ASSERT_GT(total, 100);
  for (long k = 1; k <= total; ++k) {
    SimMachine m;
    RichDisksMachine(m);
    m.faults.FailCall(k);
    const int status = m.RunDisks({"--json"});
    ASSERT_EQ(m.faults.failed().size(), 1u) << "call " << k;
    SCOPED_TRACE("call " + std::to_string(k) + " fails: " + m.faults.failed()[0]);
    // A version that cannot be read is not the NT family's.
    if (m.faults.Failed("GetVersionExA")) {
      EXPECT_EQ(std::make_tuple(status, m.console.output, m.console.errorOutput),
                std::make_tuple(1, std::string(), std::string("hdsn-disks: needs Windows NT\n")));
      continue;
    }
    const nlohmann::json document = nlohmann::json::parse(m.console.output, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << m.console.output;
    bool serial = false;
    for (const nlohmann::json& disk : document.at("disks")) serial |= !disk.at("serial").is_null();
    EXPECT_EQ(status, serial ? 0 : 1);
    EXPECT_EQ(m.console.errorOutput, "");
    EXPECT_TRUE(NothingLeftBehind(m));
  }
}

}  // namespace
}  // namespace hdsn::sim
