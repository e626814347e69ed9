// Every platform call of a whole run failing in turn: the k-th call fails,
// for every k from the first call to the last. Whatever fails, the report
// comes out in full with status 0, every handle is closed, the priority class
// is set back, COM is left as it was found and every WMI object and string is
// given back. (Leaks of memory are LeakSanitizer's to find at exit.)
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <string>

#include "app/hard_drive_info.h"
#include "sim/sim_machine.h"
#include "wmi/wql_text.h"

namespace hdsn::sim {
namespace {

constexpr std::uint32_t kNormalClass = 0x20;
constexpr std::uint32_t kRealtimeClass = 0x100;

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
  m.wmi.Find("Win32_DiskDrive", "DeviceID", "\\\\.\\PHYSICALDRIVE0")->properties["SerialNumber"] =
      std::nullopt;
}

void RichLegacyMachine(SimMachine& m) {
  m.system.platformId = 1;
  m.devices.vxdAnswer = MakeVxdAnswer(
      {1, 1, 0, 0}, {1, 0, 0xFF, 0, 0, 0, 0, 0},
      {{0, MakeIdentifyBlock("VXD-MASTER", "DISK")}, {2, MakeIdentifyBlock("VXD-SECOND", "DISK")}});
  m.devices.refuseFirstOpens["\\\\.\\IDE21201.VXD"] = 1;
  BuildRealisticMachine(m.wmi);
}

const std::regex kFullReport(
    "(hdd serial retrieves with method [1-5]\n)*"
    "hdd serial retrieves with method 0: [^\n]*\n"
    "\nhdsn, master hard disk and system volume serial numbers, \xA9"
    "2026 the hdsn authors\n"
    "-{36}\n"
    "Your master hard disk serial number is [^\n]{3,}\n"
    "Your volume number for system drive [^\n]* is [0-9a-f]+\n"
    "\n\nPress any key to exit\\.\\.\\.");

struct SweepCase {
  const char* name;
  std::function<void(SimMachine&)> build;
};

void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.name; }

class FaultSweep : public testing::TestWithParam<SweepCase> {};

TEST_P(FaultSweep, EveryCallFailingInTurnLeavesNothingBehind) {
  long total = 0;
  {
    SimMachine reference;
    GetParam().build(reference);
    ASSERT_EQ(reference.Run(), 0);
    total = reference.faults.calls;
  }
  ASSERT_GT(total, 40);

  int outOfMemory = 0;
  for (long k = 1; k <= total; ++k) {
    SCOPED_TRACE("call " + std::to_string(k) + " of " + std::to_string(total) + " fails");
    SimMachine m;
    GetParam().build(m);
    m.faults.failAt = k;
    int status = -1;
    try {
      status = m.Run();
    } catch (const ComError& error) {
      // A COM string that cannot be had is memory exhaustion, which ends the
      // run on purpose; what was obtained is still given back on the way out.
      EXPECT_EQ(m.faults.failedCall, "SysAllocStringLen");
      EXPECT_EQ(error.Error(), kEOutOfMemory);
      ++outOfMemory;
    }
    if (m.faults.failedCall != "SysAllocStringLen") {
      EXPECT_EQ(status, 0) << m.faults.failedCall;
      EXPECT_TRUE(std::regex_match(m.console.output, kFullReport)) << m.faults.failedCall << "\n"
                                                                   << m.console.output;
      EXPECT_EQ(m.console.getCharCalls, 1);
      EXPECT_TRUE(m.console.flushedBeforeGetChar);
    }
    EXPECT_EQ(m.devices.OpenHandleCount(), 0u) << m.faults.failedCall;
    EXPECT_EQ(m.devices.badHandleUses, 0);

    // Each raise to realtime is followed by a request for the normal class,
    // and the class is normal unless that very last request was refused.
    const auto& classes = m.devices.priorityClassCalls;
    EXPECT_EQ(std::count(classes.begin(), classes.end(), kRealtimeClass),
              std::count(classes.begin(), classes.end(), kNormalClass));
    if (!classes.empty()) {
      EXPECT_EQ(classes.back(), kNormalClass);
    }
    // Windows refusing the last request for the normal class is the one way
    // to stay in realtime; the program has nothing better to do than exit.
    if (m.faults.failedCall != "SetPriorityClass") {
      EXPECT_EQ(m.devices.priorityClass, kNormalClass);
    }

    EXPECT_EQ(m.wmi.comInitializations, 0) << m.faults.failedCall;
    EXPECT_EQ(m.wmi.LiveObjects(), 0) << m.faults.failedCall;
    EXPECT_EQ(m.wmi.LiveStrings(), 0) << m.faults.failedCall;
    EXPECT_TRUE(m.wmi.errors.empty()) << m.faults.failedCall << ": " << m.wmi.errors.front();
    DestroyHardDriveInfo();
  }
  EXPECT_GT(outOfMemory, 0);
}

INSTANTIATE_TEST_SUITE_P(Machines, FaultSweep,
                         testing::Values(SweepCase{"Nt", RichNtMachine},
                                         SweepCase{"Legacy", RichLegacyMachine}),
                         [](const testing::TestParamInfo<SweepCase>& row) {
                           return row.param.name;
                         });

}  // namespace
}  // namespace hdsn::sim
