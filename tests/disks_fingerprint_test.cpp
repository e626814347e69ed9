// hdsn-disks --fingerprint on the simulated Windows machine: the exact input
// the HMAC is given, the value's promises (a machine changed in a way that
// must not change it, or must), the runs that print nothing, the document of
// --json and the library call's returns.
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "disks/windows/json_call.h"
#include "protocol/identity.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

using nlohmann::json;
using Build = std::function<void(SimMachine&)>;

constexpr char kNoInput[] = "hdsn-disks: no system disk gives a serial number or world wide name\n";
// "WD-WCAZA5237485" as Windows 7's storage descriptor gives an ATA serial.
constexpr char kHexSerial[] = "2020202057202d4443575a413541333234373538";
constexpr char kNvmeId[] = "0025_3881_91B2_1234.";

// What the HMAC of this build makes of the salt and the input, as printed.
std::string Expected(const std::string& salt, const std::string& input) {
  Sha256Digest digest{};
  const auto bytes = [](const std::string& text) {
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                         text.size());
  };
  EXPECT_EQ(HostHmac().HmacSha256(bytes(salt), bytes(input), digest), "");
  return "hdsn-fp1:" + HexDigits(digest);
}

// Disk `drive` a SATA drive of that serial, the system volume on `system`.
Build Sata(std::string serial, int drive = 0) {
  return [=](SimMachine& m) {
    m.devices.physicalDrives[drive] = MakeSataDrive(serial, "SATA SSD 500");
    m.wmi.AddInventoryDisk(drive, std::u16string(serial.begin(), serial.end()), u"SATA SSD 500",
                           u"1.0");
  };
}

Build SystemOn(std::vector<std::uint32_t> extents) {
  return [=](SimMachine& m) { m.devices.volumeExtents = extents; };
}

Build All(std::vector<Build> builds) {
  return [=](SimMachine& m) {
    for (const Build& build : builds) build(m);
  };
}

// A USB disk whose media is fixed, as an external SSD's is: its bus alone
// keeps it out.
Build UsbSsd(int drive) {
  return [=](SimMachine& m) {
    m.devices.physicalDrives[drive] = MakeUsbBridge("USB-0001", "USB SSD");
    m.devices.physicalDrives[drive].storageDescriptor =
        MakeDeviceDescriptor(7, "", "USB SSD", "", "USB-0001", /*removable=*/false);
  };
}

const Build kHome = All({Sata("WD-WCAV12345678"), SystemOn({0})});

struct Printed {
  int status;
  std::string output;
  std::string errorOutput;
  std::vector<std::string> keys;
  std::vector<std::string> messages;
};

Printed Fingerprint(const Build& build, std::vector<const char*> arguments = {}) {
  SimMachine m;
  build(m);
  arguments.insert(arguments.begin(), "--fingerprint");
  const int status = m.RunDisks(arguments);
  EXPECT_TRUE(NothingLeftBehind(m));
  return {status, m.console.output, m.console.errorOutput, m.hmac.keys, m.hmac.messages};
}

// The input the HMAC is given, byte for byte, and the value printed.
struct InputCase {
  const char* name;
  Build build;
  std::vector<const char*> arguments;
  std::string salt;
  std::string input;
};

class FingerprintInput : public testing::TestWithParam<InputCase> {};

TEST_P(FingerprintInput, IsTheVersionThenEachSystemDisksLineInByteOrder) {
  const InputCase& c = GetParam();
  const Printed run = Fingerprint(c.build, c.arguments);
  EXPECT_EQ(run.status, 0) << run.errorOutput;
  ASSERT_FALSE(run.messages.empty());
  EXPECT_EQ(run.messages[0], c.input);
  EXPECT_EQ(run.keys[0], c.salt);
  EXPECT_EQ(run.output, Expected(c.salt, c.input) + "\n");
  EXPECT_EQ(run.errorOutput, "");
}

INSTANTIATE_TEST_SUITE_P(
    Machines, FingerprintInput,
    testing::Values(
        InputCase{"SataSerialNoSalt", kHome, {}, "", "hdsn-fp1\nserial\tWD-WCAV12345678\n"},
        InputCase{"SaltFromTheAnsiCodePageKeysAsUtf8",
                  kHome,
                  {"--salt", "--Soci\xE9t\xE9"},
                  "--Société",
                  "hdsn-fp1\nserial\tWD-WCAV12345678\n"},
        InputCase{"HexFormOfTheDescriptorDecoded",
                  [](SimMachine& m) {
                    m.devices.administrator = false;
                    m.devices.physicalDrives[0].storageDescriptor =
                        MakeDeviceDescriptor(11, "", "SATA HDD", "", kHexSerial);
                    m.devices.volumeExtents = {0};
                  },
                  {},
                  "",
                  "hdsn-fp1\nserial\tWD-WCAZA5237485\n"},
        InputCase{"NvmeDrivesOwnSerialNotTheNamespaceText",
                  [](SimMachine& m) {
                    m.devices.administrator = false;
                    m.devices.physicalDrives[0] =
                        MakeNvmeDrive(kNvmeId, "NVME0R123456A", "NVMe SSD 1TB");
                    m.wmi.AddInventoryDisk(0, u"0025_3881_91B2_1234.", u"NVMe SSD 1TB", u"");
                    m.devices.volumeExtents = {0};
                  },
                  {},
                  "",
                  "hdsn-fp1\nserial\tNVME0R123456A\n"},
        InputCase{"NamespaceTextAloneGivesItsEui64",
                  [](SimMachine& m) {
                    m.devices.physicalDrives[0] =
                        MakeNvmeDrive(kNvmeId, "NVME0R123456A", "NVMe SSD 1TB");
                    m.devices.physicalDrives[0].nvmeAnswer.reset();
                    m.wmi.AddInventoryDisk(0, u"0025_3881_91B2_1234.", u"NVMe SSD 1TB", u"");
                    m.devices.volumeExtents = {0};
                  },
                  {},
                  "",
                  "hdsn-fp1\neui64\t0025388191b21234\n"},
        InputCase{"NoSerialGivesTheWwn",
                  All({Sata(""), SystemOn({0})}),
                  {},
                  "",
                  "hdsn-fp1\nwwn\t0x5000c500a1b2c3d4\n"},
        InputCase{
            "TwoSystemDisksByTheirLinesNotTheirNumbers",
            All({Sata("ZZ-SECOND", 0), Sata("AA-FIRST", 1), Sata("", 2), SystemOn({0, 1, 2})}),
            {},
            "",
            "hdsn-fp1\nserial\tAA-FIRST\nserial\tZZ-SECOND\nwwn\t0x5000c500a1b2c3d4\n"},
        InputCase{"BytesOutsidePrintableAsciiAndPercentEscaped",
                  All({Sata("50%OFF\x7F\xE9"), SystemOn({0})}),
                  {},
                  "",
                  "hdsn-fp1\nserial\t50%25OFF%7F%E9\n"},
        InputCase{"OneLineForTwoDisksOfOneSerial",
                  All({Sata("CLONED-1", 0), Sata("CLONED-1", 1), SystemOn({0, 1})}),
                  {},
                  "",
                  "hdsn-fp1\nserial\tCLONED-1\n"}),
    RowName());

// Two machines, or two runs, that must give the same value, or must not.
struct PromiseCase {
  const char* name;
  Build before;
  Build after;
  std::vector<const char*> argumentsAfter;
  bool same;
};

class FingerprintPromise : public testing::TestWithParam<PromiseCase> {};

TEST_P(FingerprintPromise, HoldsOnTheSimulatedWindowsMachine) {
  const PromiseCase& c = GetParam();
  const Printed before = Fingerprint(c.before);
  const Printed after = Fingerprint(c.after, c.argumentsAfter);
  ASSERT_EQ(before.status, 0) << before.errorOutput;
  ASSERT_EQ(after.status, 0) << after.errorOutput;
  EXPECT_EQ(before.output == after.output, c.same) << before.output << after.output;
}

Build UserRights() {
  return [](SimMachine& m) { m.devices.administrator = false; };
}

INSTANTIATE_TEST_SUITE_P(
    Machines, FingerprintPromise,
    testing::Values(
        PromiseCase{"AsAUser", kHome, All({kHome, UserRights()}), {}, true},
        PromiseCase{"UsbDiskPluggedIn",
                    kHome,
                    All({kHome,
                         [](SimMachine& m) {
                           m.devices.physicalDrives[1] = MakeUsbBridge("USB-0001", "USB Disk");
                         }}),
                    {},
                    true},
        PromiseCase{"FixedUsbDiskHoldingPartOfTheSystemVolume",
                    kHome,
                    All({kHome, UsbSsd(1), SystemOn({0, 1})}),
                    {},
                    true},
        PromiseCase{
            "SecondInternalDiskAdded", kHome, All({kHome, Sata("WD-DATA-0002", 1)}), {}, true},
        PromiseCase{"AfterARebootWmiAnswersInAnotherOrder",
                    All({Sata("WD-WCAV12345678", 0), Sata("WD-DATA-0002", 1), SystemOn({0, 1})}),
                    All({Sata("WD-DATA-0002", 1), Sata("WD-WCAV12345678", 0), SystemOn({1, 0})}),
                    {},
                    true},
        PromiseCase{"DisksRenumbered",
                    All({Sata("WD-WCAV12345678", 0), Sata("WD-DATA-0002", 1), SystemOn({0})}),
                    All({Sata("WD-DATA-0002", 0), Sata("WD-WCAV12345678", 1), SystemOn({1})}),
                    {},
                    true},
        PromiseCase{"SpannedVolumeRenumbered",
                    All({Sata("WD-ONE", 0), Sata("WD-TWO", 1), SystemOn({0, 1})}),
                    All({Sata("WD-TWO", 3), Sata("WD-ONE", 5), SystemOn({5, 3})}),
                    {},
                    true},
        PromiseCase{"EmptySaltIsNoSalt", kHome, kHome, {"--salt", ""}, true},
        PromiseCase{
            "SystemDiskReplaced", kHome, All({Sata("WD-WCAV99999999"), SystemOn({0})}), {}, false},
        PromiseCase{"SaltChanged", kHome, kHome, {"--salt", "another application"}, false},
        PromiseCase{"SecondDiskJoinsTheSystemVolume",
                    kHome,
                    All({kHome, Sata("WD-DATA-0002", 1), SystemOn({0, 1})}),
                    {},
                    false}),
    RowName());

// A run without an input, or without HMAC: the reason alone, and no value.
struct NoValueCase {
  const char* name;
  Build build;
  std::string errorOutput;
};

class FingerprintNoValue : public testing::TestWithParam<NoValueCase> {};

TEST_P(FingerprintNoValue, PrintsTheReasonAndNothingOnStandardOutput) {
  const NoValueCase& c = GetParam();
  for (const bool asJson : {false, true}) {
    const Printed run = Fingerprint(
        c.build, asJson ? std::vector<const char*>{"--json"} : std::vector<const char*>{});
    EXPECT_EQ(run.status, 1) << asJson;
    EXPECT_EQ(run.output, "") << asJson;
    EXPECT_EQ(run.errorOutput, c.errorOutput) << asJson;
    // A hash of nothing is never made.
    if (c.errorOutput == kNoInput) {
      EXPECT_TRUE(run.messages.empty());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Machines, FingerprintNoValue,
    testing::Values(
        NoValueCase{"VirtualDiskWithNeitherSerialNorWwn",
                    [](SimMachine& m) {
                      m.devices.administrator = false;
                      m.devices.physicalDrives[0].storageDescriptor =
                          MakeDeviceDescriptor(11, "", "Virtual Disk", "", "");
                      m.devices.volumeExtents = {0};
                    },
                    kNoInput},
        NoValueCase{"SystemDiskUnknown",
                    All({Sata("WD-WCAV12345678"),
                         [](SimMachine& m) {
                           m.devices.volumeDeviceNumber = {.type = 0x24, .number = 0};
                         }}),
                    kNoInput},
        NoValueCase{"SystemOnAFixedUsbDiskOnly", All({UsbSsd(0), SystemOn({0})}), kNoInput},
        NoValueCase{"SerialOnAnotherDiskOnly",
                    All({Sata("WD-DATA-0002", 1),
                         [](SimMachine& m) {
                           m.devices.physicalDrives[0].storageDescriptor =
                               MakeDeviceDescriptor(11, "", "Virtual Disk", "", "");
                           m.devices.administrator = false;
                         },
                         SystemOn({0})}),
                    kNoInput},
        NoValueCase{"NoBcryptDll",
                    All({kHome, [](SimMachine& m) { m.faults.FailEvery("HmacSha256"); }}),
                    "hdsn-disks: HMAC-SHA256 is not available (bcrypt.dll: 126)\n"}),
    RowName());

// Drives of the serials of the QEMU guest's two root disks give the value
// the guest prints (tests/e2e/qemu_disks.py, QEMU_FINGERPRINT): the same
// drives on Windows and on Linux, one fingerprint.
TEST(FingerprintOfTheQemuGuestsDrives, IsTheValueTheLinuxGuestPrints) {
  const Printed run = Fingerprint(All({Sata("VSCSI-SER-0001", 0), Sata("AHCI-SER-0002", 1),
                                       Sata("NVME-SER-0001", 2), SystemOn({0, 1})}),
                                  {"--salt", "hdsn-qemu"});
  EXPECT_EQ(run.output,
            "hdsn-fp1:f143325532453294323c712d011163d02ae6431c80f29dff793b391c8656eb59\n");
}

// The document: the value printed without it, each disk's kind, source and
// own HMAC, and none of the identifiers themselves.
TEST(FingerprintJson, GivesEachDisksOwnHmacAndNoIdentifier) {
  const Build machine = All({Sata("WD-WCAV12345678", 0), Sata("", 1), SystemOn({1, 0})});
  const Printed plain = Fingerprint(machine, {"--salt", "app"});
  const Printed run = Fingerprint(machine, {"--json", "--salt", "app"});
  ASSERT_EQ(run.status, 0) << run.errorOutput;
  RecordJson(run.output, "fingerprint");
  const json document = json::parse(run.output);
  EXPECT_EQ(document.at("schema_version"), 1);
  EXPECT_EQ(document.at("version"), "hdsn-fp1");
  EXPECT_EQ(document.at("value").get<std::string>() + "\n", plain.output);
  EXPECT_EQ(
      document.at("components"),
      json::parse(R"([{"kind": "serial", "source": "ata-identify", "hmac": ")" +
                  Expected("app", "hdsn-fp1\nserial\tWD-WCAV12345678\n").substr(9) +
                  R"("}, {"kind": "wwn", "source": "ata-identify", "hmac": ")" +
                  Expected("app", "hdsn-fp1\nwwn\t0x5000c500a1b2c3d4\n").substr(9) + R"("}])"));
  for (const char* identifier : {"WD-WCAV12345678", "5000c500a1b2c3d4", "app"})
    EXPECT_EQ(run.output.find(identifier), std::string::npos) << identifier;
  EXPECT_EQ(run.output.back(), '\n');
}

// hdsn_disks_fingerprint on the simulated machine: the size protocol of
// hdsn_disks_json and the returns of its own.
struct CallCase {
  const char* name;
  Build build;
  std::uint32_t platformId;
  long sizeLessNeeded;  // the buffer's size: the value's, NUL included, less this
  int expected;
};

class FingerprintCall : public testing::TestWithParam<CallCase> {};

TEST_P(FingerprintCall, WritesTheProgramsValueOnlyWhenItFits) {
  const CallCase& c = GetParam();
  const std::string value = Expected("app", "hdsn-fp1\nserial\tWD-WCAV12345678\n");
  SimMachine m;
  c.build(m);
  m.system.platformId = c.platformId;
  m.wmi.securityIsTheHosts = true;
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
  EXPECT_TRUE(Calls(m.wmi, "CoInitializeSecurity").empty());
  EXPECT_TRUE(NothingLeftBehind(m));
}

constexpr std::uint32_t kNt = kVerPlatformWin32Nt;
INSTANTIATE_TEST_SUITE_P(
    Cases, FingerprintCall,
    testing::Values(CallCase{"ExactSize", kHome, kNt, 0, kDisksJsonWritten},
                    CallCase{"OneByteShortForTheNul", kHome, kNt, 1, kDisksJsonTooSmall},
                    CallCase{"NotNtFamily", kHome, kVerPlatformWin32Windows, 0, kDisksJsonNotNt},
                    CallCase{"NoInput", Sata("WD-WCAV12345678"), kNt, 0, kDisksCallNoInput},
                    CallCase{"NoBcryptDll",
                             All({kHome, [](SimMachine& m) { m.faults.FailEvery("HmacSha256"); }}),
                             kNt, 0, kDisksCallNoHmac}),
    RowName());

// A null buffer asks the size; a null salt is the empty one.
TEST(FingerprintCall, NullBufferAsksTheSizeAndNullSaltIsEmpty) {
  SimMachine m;
  kHome(m);
  std::size_t needed = 0;
  ASSERT_EQ(WriteDisksFingerprint(m.platform, nullptr, nullptr, 0, &needed), kDisksJsonTooSmall);
  std::string value(needed, '\0');
  ASSERT_EQ(WriteDisksFingerprint(m.platform, nullptr, value.data(), value.size(), nullptr),
            kDisksJsonWritten);
  EXPECT_EQ(value.c_str(), Expected("", "hdsn-fp1\nserial\tWD-WCAV12345678\n"));
  EXPECT_EQ(needed, 74u);
  EXPECT_TRUE(NothingLeftBehind(m));
}

// --output takes the fingerprint as it takes the disks; a run without a value
// leaves the collector's old file as it was.
TEST(FingerprintOutput, GoesIntoTheFileWholeOrLeavesTheOldOne) {
  constexpr char kFile[] = "C:\\metrics\\licence.fp";
  for (const bool usable : {true, false}) {
    SimMachine m;
    if (usable)
      kHome(m);
    else
      UsbSsd(0)(m);
    m.files.files[kFile] = "old\n";
    EXPECT_EQ(m.RunDisks({"--fingerprint", "--output", kFile}), usable ? 0 : 1);
    EXPECT_EQ(m.console.output, "");
    EXPECT_EQ(m.console.errorOutput, usable ? "" : kNoInput);
    EXPECT_EQ(m.files.files,
              (std::map<std::string, std::string>{
                  {kFile, usable ? Expected("", "hdsn-fp1\nserial\tWD-WCAV12345678\n") + "\n"
                                 : "old\n"}}));
    EXPECT_TRUE(NothingLeftBehind(m));
  }
}

}  // namespace
}  // namespace hdsn::sim
