// hdsn-disks --fingerprint on the simulated Linux machine: the value's
// promises there, the same value as the simulated Windows machine for the
// same drive, the runs that print nothing and the library call's returns.
#include <functional>
#include <string>
#include <vector>

#include "disks/linux/json_call.h"
#include "protocol/identity.h"
#include "sim/sim_linux.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

using Build = std::function<void(SimLinux&)>;

constexpr char kNoInput[] = "hdsn-disks: no system disk gives a serial number or world wide name\n";

Build All(std::vector<Build> builds) {
  return [=](SimLinux& s) {
    for (const Build& build : builds) build(s);
  };
}

Build Disk(SimDiskKind kind, std::string name, std::string serial) {
  return [=](SimLinux& s) { AddDisk(s, {kind, name, serial, "DISK MODEL", "FW01"}); };
}

Build Root(std::string name) {
  return [=](SimLinux& s) { MountRoot(s, name); };
}

const Build kHome = All({Disk(SimDiskKind::kSata, "sda", "WD-WCAV12345678"), Root("sda")});

struct Printed {
  int status;
  std::string output;
  std::string errorOutput;
  std::vector<std::string> messages;
};

Printed Fingerprint(const Build& build, std::vector<const char*> arguments = {}, bool root = true) {
  SimLinuxMachine m;
  build(m.system);
  m.system.root = root;
  arguments.insert(arguments.begin(), "--fingerprint");
  const int status = m.RunDisks(arguments);
  EXPECT_TRUE(NoProblems(Leftovers(m)));
  return {status, m.console.output, m.console.errorOutput, m.hmac.messages};
}

// Two machines, or two runs, that must give the same value, or must not.
struct PromiseCase {
  const char* name;
  Build before;
  Build after;
  std::vector<const char*> argumentsAfter;
  bool afterAsRoot;
  bool same;
};

class LinuxFingerprintPromise : public testing::TestWithParam<PromiseCase> {};

TEST_P(LinuxFingerprintPromise, HoldsOnTheSimulatedLinuxMachine) {
  const PromiseCase& c = GetParam();
  const Printed before = Fingerprint(c.before);
  const Printed after = Fingerprint(c.after, c.argumentsAfter, c.afterAsRoot);
  ASSERT_EQ(before.status, 0) << before.errorOutput;
  ASSERT_EQ(after.status, 0) << after.errorOutput;
  EXPECT_EQ(before.output == after.output, c.same) << before.output << after.output;
}

const Build kNvmeHome =
    All({Disk(SimDiskKind::kNvme, "nvme0n1", "NVME0R123456A"), Root("nvme0n1")});

INSTANTIATE_TEST_SUITE_P(
    Machines, LinuxFingerprintPromise,
    testing::Values(
        PromiseCase{"SataAsAUser", kHome, kHome, {}, false, true},
        PromiseCase{"NvmeAsAUser", kNvmeHome, kNvmeHome, {}, false, true},
        PromiseCase{"UsbDiskHoldingPartOfTheRoot",
                    kHome,
                    All({Disk(SimDiskKind::kSata, "sda", "WD-WCAV12345678"),
                         Disk(SimDiskKind::kUas, "sdb", "UAS-0001"),
                         [](SimLinux& s) {
                           AddStackedDevice(s, "dm-0", {"sda", "sdb"});
                           MountRoot(s, "dm-0");
                         }}),
                    {},
                    true,
                    true},
        PromiseCase{"SecondInternalDiskAdded",
                    kHome,
                    All({kHome, Disk(SimDiskKind::kNvme, "nvme0n1", "NVME-DATA-0002")}),
                    {},
                    true,
                    true},
        PromiseCase{"DisksRenamed",
                    All({Disk(SimDiskKind::kSata, "sda", "WD-WCAV12345678"),
                         Disk(SimDiskKind::kSata, "sdb", "WD-DATA-0002"), Root("sda")}),
                    All({Disk(SimDiskKind::kSata, "sda", "WD-DATA-0002"),
                         Disk(SimDiskKind::kSata, "sdb", "WD-WCAV12345678"), Root("sdb")}),
                    {},
                    true,
                    true},
        PromiseCase{"SystemDiskReplaced",
                    kHome,
                    All({Disk(SimDiskKind::kSata, "sda", "WD-WCAV99999999"), Root("sda")}),
                    {},
                    true,
                    false},
        PromiseCase{"RootOnTwoDisksRenamed",
                    All({Disk(SimDiskKind::kSata, "sda", "WD-ONE"),
                         Disk(SimDiskKind::kSata, "sdb", "WD-TWO"),
                         [](SimLinux& s) {
                           AddStackedDevice(s, "md0", {"sda", "sdb"});
                           MountRoot(s, "md0");
                         }}),
                    All({Disk(SimDiskKind::kSata, "sda", "WD-TWO"),
                         Disk(SimDiskKind::kSata, "sdb", "WD-ONE"),
                         [](SimLinux& s) {
                           AddStackedDevice(s, "md0", {"sdb", "sda"});
                           MountRoot(s, "md0");
                         }}),
                    {},
                    true,
                    true}),
    RowName());

// The same drive under each system gives one value: the simulated Windows
// machine against the Linux one, with the same serial and model.
struct DualBootCase {
  const char* name;
  std::function<void(SimMachine&)> windows;
  Build linux;
};

class DualBoot : public testing::TestWithParam<DualBootCase> {};

TEST_P(DualBoot, GivesTheSameValueOnWindowsAndLinux) {
  const DualBootCase& c = GetParam();
  SimMachine windows;
  c.windows(windows);
  windows.devices.volumeExtents = {0};
  ASSERT_EQ(windows.RunDisks({"--fingerprint", "--salt", "app"}), 0) << windows.console.errorOutput;
  const Printed linux = Fingerprint(c.linux, {"--salt", "app"}, false);
  ASSERT_EQ(linux.status, 0) << linux.errorOutput;
  EXPECT_EQ(windows.console.output, linux.output);
  EXPECT_EQ(windows.hmac.messages, linux.messages);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, DualBoot,
    testing::Values(
        DualBootCase{"SataDrive",
                     [](SimMachine& m) {
                       m.devices.physicalDrives[0] = MakeSataDrive("WD-WCAV12345678", "DISK MODEL");
                       m.wmi.AddInventoryDisk(0, u"WD-WCAV12345678", u"DISK MODEL", u"1.0");
                     },
                     kHome},
        DualBootCase{"SataDriveWhoseSerialWindowsGivesInHex",
                     [](SimMachine& m) {
                       m.devices.administrator = false;
                       m.devices.physicalDrives[0].storageDescriptor = MakeDeviceDescriptor(
                           11, "", "DISK MODEL", "", "2020202057202d4443575a413541333234373538");
                     },
                     All({Disk(SimDiskKind::kSata, "sda", "WD-WCAZA5237485"), Root("sda")})},
        DualBootCase{"NvmeDriveWhoseNamespaceWindowsGivesAsSerial",
                     [](SimMachine& m) {
                       m.devices.administrator = false;
                       m.devices.physicalDrives[0] =
                           MakeNvmeDrive("0025_3881_91B2_1234.", "NVME0R123456A", "DISK MODEL");
                       m.wmi.AddInventoryDisk(0, u"0025_3881_91B2_1234.", u"DISK MODEL", u"");
                     },
                     kNvmeHome}),
    RowName());

// A run without an input: the reason alone, and no hash of nothing.
struct NoValueCase {
  const char* name;
  Build build;
  std::string errorOutput;
};

class LinuxFingerprintNoValue : public testing::TestWithParam<NoValueCase> {};

TEST_P(LinuxFingerprintNoValue, PrintsTheReasonAndNothingOnStandardOutput) {
  const NoValueCase& c = GetParam();
  const Printed run = Fingerprint(c.build);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(run.errorOutput, c.errorOutput);
  EXPECT_TRUE(run.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Machines, LinuxFingerprintNoValue,
    testing::Values(
        NoValueCase{"VirtioDiskWithoutSerial",
                    All({Disk(SimDiskKind::kVirtioBlock, "vda", ""), Root("vda")}), kNoInput},
        NoValueCase{"ContainerRootOnOverlay",
                    All({Disk(SimDiskKind::kSata, "sda", "WD-WCAV12345678"),
                         [](SimLinux& s) {
                           s.AddFile("/proc/self/mountinfo",
                                     "30 1 0:52 / / rw - overlay overlay rw,lowerdir=/l\n");
                         }}),
                    kNoInput},
        NoValueCase{"RootOnTheInitramfs",
                    All({Disk(SimDiskKind::kSata, "sda", "WD-WCAV12345678"), Root("")}), kNoInput},
        NoValueCase{"RootOnAUsbStickOnly",
                    All({Disk(SimDiskKind::kUsbStorage, "sda", "USB-0001"), Root("sda")}),
                    kNoInput}),
    RowName());

// hdsn_disks_fingerprint of libhdsn_disks.so.1 on the simulated machine: the
// program's value, and none for disks that could not be listed (the size
// protocol and the other returns are the Windows call's, tested there).
struct CallCase {
  const char* name;
  std::function<void(SimLinuxMachine&)> build;
  long sizeLessNeeded;  // the buffer's size: the value's, NUL included, less this
  int expected;
};

class LinuxFingerprintCall : public testing::TestWithParam<CallCase> {};

TEST_P(LinuxFingerprintCall, WritesTheProgramsValueOnlyWhenItFits) {
  const CallCase& c = GetParam();
  const Printed program = Fingerprint(kHome, {"--salt", "app"});
  ASSERT_EQ(program.status, 0);
  const std::string value = program.output.substr(0, program.output.size() - 1);
  SimLinuxMachine m;
  c.build(m);
  const std::size_t size = value.size() + 1 - static_cast<std::size_t>(c.sizeLessNeeded);
  GuardedBuffer buffer(size, 'x');
  std::size_t needed = 12345;
  EXPECT_EQ(WriteDisksFingerprint(m.platform, "app", buffer.data(), size, &needed), c.expected);
  EXPECT_TRUE(buffer.CanariesIntact());
  if (c.expected == kDisksJsonWritten) {
    EXPECT_EQ(buffer.Text(), value);
  } else {
    EXPECT_EQ(buffer.Text(), std::string(size, 'x')) << "written though it failed";
  }
  const bool sized = c.expected == kDisksJsonWritten || c.expected == kDisksJsonTooSmall;
  EXPECT_EQ(needed, sized ? value.size() + 1 : 0);
  EXPECT_TRUE(NoProblems(Leftovers(m)));
}

INSTANTIATE_TEST_SUITE_P(Cases, LinuxFingerprintCall,
                         testing::Values(CallCase{"ExactSize",
                                                  [](SimLinuxMachine& m) { kHome(m.system); }, 0,
                                                  kDisksJsonWritten},
                                         CallCase{"DisksNotListed",
                                                  [](SimLinuxMachine& m) {
                                                    kHome(m.system);
                                                    m.faults.FailNth("opendir", 1);
                                                  },
                                                  0, kDisksJsonFailed}),
                         RowName());

}  // namespace
}  // namespace hdsn::sim
