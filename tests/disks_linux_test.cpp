// hdsn-disks on a simulated Linux machine: whole machines read back through
// the JSON document, the bytes of the SG_IO and NVMe requests, rootless
// runs, the system disk and every call failing in turn.
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "protocol/byte_order.h"
#include "sim/sim_linux.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

using nlohmann::json;

testing::AssertionResult NothingLeftBehind(const SimLinuxMachine& machine) {
  return NoProblems(Leftovers(machine));
}

// The disks of the machine Debian's kernel showed under QEMU, one of each
// kind, named as it named them.
void QemuMachine(SimLinux& s) {
  AddDisk(s, {SimDiskKind::kPata, "sda", "PIIX-SER-0001", "HDSN IDE Disk", "ID01"});
  AddDisk(s, {SimDiskKind::kSata, "sdb", "AHCI-SER-0001", "HDSN AHCI Disk", "AH01"});
  AddDisk(s, {SimDiskKind::kVirtioScsi, "sdc", "VSCSI-SER-0001", "HDSN SCSI Disk", "VS01"});
  AddDisk(s, {SimDiskKind::kUas, "sdd", "UASDISK-SER-0001", "HDSN UAS Disk", "UA01",
              "UASUSB-SER-0001"});
  AddDisk(s, {SimDiskKind::kUsbStorage, "sde", "USBSTOR-SER-0001", "QEMU HARDDISK", "2.5+"});
  AddDisk(s, {SimDiskKind::kNvme, "nvme0n1", "NVME-SER-0001", "QEMU NVMe Ctrl", "7.2.22"});
  AddDisk(s, {SimDiskKind::kVirtioBlock, "vda", "VBLK-SER-0001", "", ""});
  MountRoot(s, "");
}

// One line per disk: device, bus, system, serial and its source, then each
// source's name, "ok" or its error, and its via.
std::vector<std::string> Summary(const json& document) {
  std::vector<std::string> lines;
  auto text = [](const json& value) {
    return value.is_null() ? std::string("null") : value.get<std::string>();
  };
  for (const json& disk : document.at("disks")) {
    std::string line = text(disk.at("device")) + " " + text(disk.at("bus")) + " " +
                       (disk.at("system").is_null() ? "null" : disk.at("system").dump()) + " " +
                       text(disk.at("serial")) + "<" + text(disk.at("serial_source")) + ">";
    for (const json& source : disk.at("sources")) {
      line += " | " + source.at("name").get<std::string>() + " " +
              (source.at("ok").get<bool>() ? "ok" : source.at("error").get<std::string>());
      if (!source.at("via").is_null()) line += " " + source.at("via").get<std::string>();
    }
    lines.push_back(line);
  }
  return lines;
}

struct MachineCase {
  const char* name;
  std::function<void(SimLinux&)> build;
  // Summary() of the document; not checked when empty.
  std::vector<std::string> summary;
  // "devices": the disks' devices in order; every other key is a JSON
  // pointer into the document and the value found there.
  const char* expected = "{}";
};

class LinuxMachines : public testing::TestWithParam<MachineCase> {};

TEST_P(LinuxMachines, ListEveryDiskWithWhatEachSourceSaid) {
  SimLinuxMachine m;
  GetParam().build(m.system);
  const int status = m.RunDisks({"--json"});
  RecordJson(m.console.output);
  const json document = json::parse(m.console.output);
  EXPECT_EQ(document.at("schema_version"), 3);
  bool anySerial = false;
  for (const json& disk : document.at("disks")) {
    anySerial |= !disk.at("serial").is_null();
    EXPECT_TRUE(disk.at("index").is_null());
  }
  if (!GetParam().summary.empty()) {
    EXPECT_EQ(Summary(document), GetParam().summary);
  }
  json devices = json::array();
  for (const json& disk : document.at("disks")) devices.push_back(disk.at("device"));
  const json expected = json::parse(GetParam().expected);
  for (const auto& [key, value] : expected.items())
    EXPECT_EQ(key == "devices" ? devices : document.at(json::json_pointer(key)), value) << key;
  EXPECT_EQ(status, anySerial ? 0 : 1);
  EXPECT_EQ(m.console.errorOutput, "");
  EXPECT_TRUE(NothingLeftBehind(m));
}

const std::vector<std::string> kQemuAsRoot = {
    "/dev/nvme0n1 NVMe false NVME-SER-0001<nvme-identify> | "
    "sysfs ok /sys/block/nvme0n1/device/serial | "
    "nvme-identify ok /sys/class/nvme/nvme0/serial | ata-identify not applicable | "
    "scsi-vpd80 not applicable | udev no udev database",
    "/dev/sda ATA false PIIX-SER-0001<ata-identify> | sysfs ok /sys/block/sda/device/model | "
    "nvme-identify not applicable | ata-identify ok /sys/class/ata_device/dev1.0/id | "
    "scsi-vpd80 ok /sys/block/sda/device/vpd_pg80 | udev no udev database",
    "/dev/sdb SATA false AHCI-SER-0001<ata-identify> | sysfs ok /sys/block/sdb/device/model | "
    "nvme-identify not applicable | ata-identify ok /sys/class/ata_device/dev2.0/id | "
    "scsi-vpd80 ok /sys/block/sdb/device/vpd_pg80 | udev no udev database",
    "/dev/sdc Virtual false VSCSI-SER-0001<scsi-vpd80> | sysfs ok /sys/block/sdc/device/model | "
    "nvme-identify not applicable | ata-identify sat-status: 2 /dev/sdc | "
    "scsi-vpd80 ok /sys/block/sdc/device/vpd_pg80 | udev no udev database",
    "/dev/sdd USB false UASDISK-SER-0001<scsi-vpd80> | "
    "sysfs ok /sys/devices/pci0000:00/0000:00:13.0/usb2/2-4/serial | "
    "nvme-identify not applicable | ata-identify sat-status: 2 /dev/sdd | "
    "scsi-vpd80 ok /sys/block/sdd/device/vpd_pg80 | udev no udev database",
    "/dev/sde USB false USBSTOR-SER-0001<scsi-vpd80> | "
    "sysfs ok /sys/devices/pci0000:00/0000:00:14.0/usb2/2-5/serial | "
    "nvme-identify not applicable | ata-identify sat-status: 2 /dev/sde | "
    "scsi-vpd80 ok /dev/sde | udev no udev database",
    "/dev/vda Virtual false VBLK-SER-0001<sysfs> | sysfs ok /sys/block/vda/serial | "
    "nvme-identify not applicable | ata-identify not applicable | "
    "scsi-vpd80 not applicable | udev no udev database"};

// The same as an unprivileged user: the device nodes do not open, sysfs
// still answers.
std::vector<std::string> QemuAsUser() {
  std::vector<std::string> lines = kQemuAsRoot;
  auto replace = [&](std::size_t disk, const std::string& from, const std::string& to) {
    lines[disk].replace(lines[disk].find(from), from.size(), to);
  };
  for (std::size_t disk = 3; disk <= 5; ++disk) replace(disk, "sat-status: 2", "open: 13");
  replace(5, "scsi-vpd80 ok /dev/sde", "scsi-vpd80 open: 13 /dev/sde");
  replace(5, "USBSTOR-SER-0001<scsi-vpd80>", "USBSTOR-SER-0001<sysfs>");
  return lines;
}

void NvmeOnly(SimLinux& s) {
  AddDisk(s, {SimDiskKind::kNvme, "nvme0n1", "NVME-SER-0001", "QEMU NVMe Ctrl", "7.2.22"});
  MountRoot(s, "");
}

// A root on a disk's partition, through device-mapper on md on partitions
// of two disks, and on a btrfs whose device number is its own.
void RootThroughStack(SimLinux& s) {
  AddDisk(s, {SimDiskKind::kSata, "sda", "SATA-A", "DISK", "1"});
  AddDisk(s, {SimDiskKind::kSata, "sdb", "SATA-B", "DISK", "1"});
  AddDisk(s, {SimDiskKind::kSata, "sdc", "SATA-C", "DISK", "1"});
  AddPartition(s, "sda", 1);
  AddPartition(s, "sdb", 1);
  AddStackedDevice(s, "md0", {"sda1", "sdb1"});
  AddStackedDevice(s, "dm-0", {"md0"});
  MountRoot(s, "dm-0");
}

INSTANTIATE_TEST_SUITE_P(
    Machines, LinuxMachines,
    testing::Values(
        MachineCase{"QemuAsRoot", QemuMachine, kQemuAsRoot,
                    R"({"/disks/1/model": "HDSN IDE Disk", "/disks/1/firmware": "ID01",
          "/disks/1/removable": false, "/disks/4/agree": false,
          "/disks/4/sources/0/serial": "UASUSB-SER-0001",
          "/disks/0/sources/1": {"name": "nvme-identify", "ok": true,
            "via": "/sys/class/nvme/nvme0/serial", "serial": "NVME-SER-0001",
            "model": "QEMU NVMe Ctrl", "firmware": "7.2.22"},
          "/system_volume": {"root": "/", "serial": null}})"},
        MachineCase{"QemuAsUser",
                    [](SimLinux& s) {
                      QemuMachine(s);
                      s.root = false;
                    },
                    QemuAsUser()},
        MachineCase{"NvmeWithoutItsClassAttributesAsksTheController",
                    [](SimLinux& s) {
                      NvmeOnly(s);
                      s.Remove(s.Resolved("/sys/class/nvme/nvme0") + "/serial");
                    },
                    {"/dev/nvme0n1 NVMe false NVME-SER-0001<nvme-identify> | "
                     "sysfs ok /sys/block/nvme0n1/device/model | nvme-identify ok /dev/nvme0 | "
                     "ata-identify not applicable | scsi-vpd80 not applicable | "
                     "udev no udev database"},
                    R"({"/disks/0/sources/1/model": "QEMU NVMe Ctrl",
          "/disks/0/sources/1/firmware": "7.2.22"})"},
        // The controller's attributes are the namespace's device's: both
        // unreadable leave the node, which a user cannot open.
        MachineCase{"NvmeAttributesUnreadableAsUser",
                    [](SimLinux& s) {
                      NvmeOnly(s);
                      s.root = false;
                      s.refuseOpen[s.Resolved("/sys/class/nvme/nvme0/serial")] = kEacces;
                    },
                    {"/dev/nvme0n1 NVMe false null<null> | "
                     "sysfs ok /sys/block/nvme0n1/device/model | "
                     "nvme-identify open: 13 /dev/nvme0 | ata-identify not applicable | "
                     "scsi-vpd80 not applicable | udev no udev database"}},
        MachineCase{"IdentifyCopyUnreadableAsksTheDiskThroughSat",
                    [](SimLinux& s) {
                      AddDisk(s, {SimDiskKind::kSata, "sda", "AHCI-SER-0001", "DISK", "AH01"});
                      s.refuseRead[s.Resolved("/sys/class/ata_device/dev1.0/id")] = kEio;
                      s.Remove(s.Resolved("/sys/block/sda/device") + "/vpd_pg80");
                      MountRoot(s, "");
                    },
                    {"/dev/sda SATA false AHCI-SER-0001<ata-identify> | "
                     "sysfs ok /sys/block/sda/device/model | nvme-identify not applicable | "
                     "ata-identify ok /dev/sda | scsi-vpd80 ok /dev/sda | "
                     "udev no udev database"}},
        MachineCase{"ShortAndFailedAnswersOfTheNode",
                    [](SimLinux& s) {
                      AddDisk(s, {SimDiskKind::kUsbStorage, "sda", "BRIDGE-1", "DISK", "1"});
                      AddDisk(s, {SimDiskKind::kUsbStorage, "sdb", "BRIDGE-2", "DISK", "1"});
                      // A bridge that passes ATA commands but sends 60 bytes of 512.
                      Bytes identify = MakeLinuxIdentify("BEHIND-BRIDGE", "SATA DISK", "F1");
                      identify.resize(60);
                      s.Node("/dev/sda").identify = identify;
                      s.Node("/dev/sdb").hostStatus = 7;
                      MountRoot(s, "");
                    },
                    {"/dev/sda USB false BEHIND-BRIDGE<ata-identify> | "
                     "sysfs ok /sys/devices/pci0000:00/0000:00:10.0/usb2/2-1/serial | "
                     "nvme-identify not applicable | ata-identify ok /dev/sda | "
                     "scsi-vpd80 ok /dev/sda | udev no udev database",
                     "/dev/sdb USB false BRIDGE-2<sysfs> | "
                     "sysfs ok /sys/devices/pci0000:00/0000:00:11.0/usb2/2-2/serial | "
                     "nvme-identify not applicable | ata-identify sat-host-status: 7 /dev/sdb | "
                     "scsi-vpd80 scsi-host-status: 7 /dev/sdb | udev no udev database"},
                    // Words 30 on are past the 60 bytes: the model is cut
                    // after word 29.
                    R"({"/disks/0/sources/2/model": "SATA D", "/disks/0/sources/2/firmware": "F1",
          "/disks/0/agree": false})"},
        MachineCase{
            "UdevDatabase",
            [](SimLinux& s) {
              SimDisk disk{SimDiskKind::kVirtioBlock, "vda", "VBLK-1", "Virtio Disk", "1.0"};
              disk.udev = true;
              AddDisk(s, disk);
              AddDisk(s, {SimDiskKind::kVirtioBlock, "vdb", "VBLK-2", "", ""});
              MountRoot(s, "");
            },
            {"/dev/vda Virtual false VBLK-1<sysfs> | sysfs ok /sys/block/vda/serial | "
             "nvme-identify not applicable | ata-identify not applicable | "
             "scsi-vpd80 not applicable | udev ok /run/udev/data/b254:0",
             "/dev/vdb Virtual false VBLK-2<sysfs> | sysfs ok /sys/block/vdb/serial | "
             "nvme-identify not applicable | ata-identify not applicable | "
             "scsi-vpd80 not applicable | udev open: 2 /run/udev/data/b254:16"},
            R"({"/disks/0/sources/4": {"name": "udev", "ok": true,
          "via": "/run/udev/data/b254:0", "serial": "VBLK-1", "model": "Virtio_Disk",
          "firmware": "1.0"}, "/disks/0/model": "Virtio_Disk"})"},
        MachineCase{"NaturalOrderAndBlockDevicesThatAreNoDisks",
                    [](SimLinux& s) {
                      for (const char* name : {"sdz", "sdb", "sdaa", "sda"})
                        AddDisk(s, {SimDiskKind::kVirtioScsi, name, name, "D", "1"});
                      for (const char* name : {"nvme10n1", "nvme1n1", "nvme0n1"})
                        AddDisk(s, {SimDiskKind::kNvme, name, name, "N", "1"});
                      // A CD-ROM drive, a loop device and a device-mapper one.
                      AddDisk(s, {SimDiskKind::kVirtioScsi, "sr0", "CD", "CD", "1"});
                      s.AddFile(s.Resolved("/sys/block/sr0/device") + "/type", "5\n");
                      s.AddLink("/sys/block/loop0", "../devices/virtual/block/loop0");
                      s.AddFile("/sys/devices/virtual/block/loop0/dev", "7:0\n");
                      AddStackedDevice(s, "dm-0", {"sda"});
                    },
                    {},
                    R"({"devices": ["/dev/nvme0n1", "/dev/nvme1n1", "/dev/nvme10n1", "/dev/sda",
          "/dev/sdb", "/dev/sdz", "/dev/sdaa"], "/disks/0/system": null,
          "/system_volume/serial": null})"},
        MachineCase{"SasAndSdCard",
                    [](SimLinux& s) {
                      AddDisk(s, {SimDiskKind::kSas, "sda", "SAS-0001", "SAS DISK", "S1"});
                      AddDisk(s, {SimDiskKind::kMmc, "mmcblk0", "0x1234abcd", "SD32G", ""});
                      MountRoot(s, "mmcblk0");
                    },
                    {"/dev/mmcblk0 SD true 0x1234abcd<sysfs> | "
                     "sysfs ok /sys/block/mmcblk0/device/serial | nvme-identify not applicable | "
                     "ata-identify not applicable | scsi-vpd80 not applicable | "
                     "udev no udev database",
                     "/dev/sda SAS false SAS-0001<scsi-vpd80> | "
                     "sysfs ok /sys/block/sda/device/model | nvme-identify not applicable | "
                     "ata-identify sat-status: 2 /dev/sda | "
                     "scsi-vpd80 ok /sys/block/sda/device/vpd_pg80 | udev no udev database"},
                    R"({"/disks/0/model": "SD32G"})"}),
    RowName());

// The root file system's disks, and its UUID.
struct RootCase {
  const char* name;
  std::function<void(SimLinux&)> build;
  std::vector<bool> system;  // of sda, sdb, sdc; empty: null for every disk
  const char* uuid;          // nullptr: null
};

class RootDisks : public testing::TestWithParam<RootCase> {};

TEST_P(RootDisks, AreTheSystemDisks) {
  SimLinuxMachine m;
  GetParam().build(m.system);
  m.RunDisks({"--json"});
  RecordJson(m.console.output);
  const json document = json::parse(m.console.output);
  std::vector<bool> system;
  for (const json& disk : document.at("disks")) {
    if (GetParam().system.empty()) {
      EXPECT_TRUE(disk.at("system").is_null());
    } else {
      system.push_back(disk.at("system").get<bool>());
    }
  }
  EXPECT_EQ(system, GetParam().system);
  EXPECT_EQ(document.at("/system_volume/root"_json_pointer), "/");
  EXPECT_EQ(document.at("/system_volume/serial"_json_pointer),
            GetParam().uuid ? json(GetParam().uuid) : json());
  EXPECT_TRUE(NothingLeftBehind(m));
}

void ThreeDisks(SimLinux& s) {
  for (const char* name : {"sda", "sdb", "sdc"})
    AddDisk(s, {SimDiskKind::kSata, name, name, "DISK", "1"});
}

INSTANTIATE_TEST_SUITE_P(
    Roots, RootDisks,
    testing::Values(
        RootCase{"OnAPartition",
                 [](SimLinux& s) {
                   ThreeDisks(s);
                   AddPartition(s, "sdb", 2);
                   MountRoot(s, "sdb2");
                   s.AddFile("/run/udev/data/b8:18", "E:ID_FS_UUID=0b3c-uuid-of-root\n");
                 },
                 {false, true, false},
                 "0b3c-uuid-of-root"},
        RootCase{"OnDeviceMapperOnMdOnTwoDisks", RootThroughStack, {true, true, false}, nullptr},
        RootCase{"OnAWholeDiskUuidFromBlkidCache",
                 [](SimLinux& s) {
                   ThreeDisks(s);
                   MountRoot(s, "sdc");
                   s.AddFile("/etc/blkid.tab",
                             "<device DEVNO=\"0x0810\" TIME=\"1.2\" UUID=\"other\" "
                             "TYPE=\"ext4\">/dev/sdb</device>\n"
                             "<device DEVNO=\"0x0820\" TIME=\"1.2\" UUID=\"c-uuid\" "
                             "TYPE=\"ext4\">/dev/sdc</device>\n");
                 },
                 {false, false, true},
                 "c-uuid"},
        RootCase{"BtrfsWithADeviceNumberOfItsOwn",
                 [](SimLinux& s) {
                   ThreeDisks(s);
                   AddPartition(s, "sda", 1);
                   s.AddFile("/proc/self/mountinfo",
                             "30 1 0:31 /@ / rw,relatime shared:1 - btrfs /dev/sda1 rw\n");
                   s.AddLink("/dev/sda1", "../sys/class/block/sda1");
                 },
                 {true, false, false},
                 nullptr},
        RootCase{"OnTheInitramfs",
                 [](SimLinux& s) {
                   ThreeDisks(s);
                   MountRoot(s, "");
                 },
                 {false, false, false},
                 nullptr},
        RootCase{"MountTableUnreadable", ThreeDisks, {}, nullptr}),
    RowName());

// The requests the nodes received, byte by byte.
TEST(LinuxRequests, CarryTheCommandsTheKernelPassesOn) {
  SimLinuxMachine m;
  AddDisk(m.system, {SimDiskKind::kUsbStorage, "sda", "BRIDGE-1", "DISK", "1"});
  AddDisk(m.system, {SimDiskKind::kNvme, "nvme0n1", "NVME-1", "N", "1"});
  m.system.Remove(m.system.Resolved("/sys/class/nvme/nvme0") + "/serial");
  MountRoot(m.system, "");
  ASSERT_EQ(m.RunDisks({"--json"}), 0);

  const std::vector<SgIoRecord>& sgIo = m.system.sgIo;
  ASSERT_EQ(sgIo.size(), 2u);
  const Bytes ataPassThrough = {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0};
  const Bytes inquiry = {0x12, 0x01, 0x80, 0x00, 0xFC, 0x00};
  EXPECT_EQ(sgIo[0].cdb, ataPassThrough);
  EXPECT_EQ(sgIo[0].length, 512u);
  EXPECT_EQ(sgIo[1].cdb, inquiry);
  EXPECT_EQ(sgIo[1].length, 252u);
  for (const SgIoRecord& request : sgIo) {
    EXPECT_EQ(request.path, "/dev/sda");
    EXPECT_EQ(request.interfaceId, 'S');
    EXPECT_EQ(request.direction, -3);  // from the device
    EXPECT_EQ(request.timeout, 3000u);
    EXPECT_EQ(request.senseLength, 32u);
  }
  ASSERT_EQ(m.system.nvmeAdmin.size(), 1u);
  const NvmeAdminRecord& identify = m.system.nvmeAdmin[0];
  EXPECT_EQ(identify.path, "/dev/nvme0");
  EXPECT_EQ(identify.opcode, 0x06);
  EXPECT_EQ(identify.cdw10, 1u);  // CNS 1: the controller
  EXPECT_EQ(identify.nsid, 0u);
  EXPECT_EQ(identify.length, 4096u);
  EXPECT_EQ(identify.timeout, 3000u);

  // Nodes open read-only and non-blocking, once per source that needs one.
  std::vector<std::string> nodes;
  for (const LinuxOpenRecord& open : m.system.NodeOpens()) {
    EXPECT_EQ(open.mode, OpenMode::kDevice) << open.path;
    nodes.push_back(open.path);
  }
  EXPECT_EQ(nodes, (std::vector<std::string>{"/dev/nvme0", "/dev/sda", "/dev/sda"}));
  for (const LinuxOpenRecord& open : m.system.opens) {
    if (open.path.compare(0, 5, "/dev/") != 0) {
      EXPECT_EQ(open.mode, OpenMode::kFile) << open.path;
    }
  }
  EXPECT_TRUE(NothingLeftBehind(m));
}

TEST(LinuxProgram, UsageNamesTheLinuxSources) {
  SimLinuxMachine m;
  EXPECT_EQ(m.RunDisks({"--help"}), 0);
  EXPECT_NE(m.console.output.find("sysfs"), std::string::npos);
  EXPECT_NE(m.console.output.find("udev"), std::string::npos);
  EXPECT_EQ(m.system.calls, std::vector<std::string>{});
  SimLinuxMachine bad;
  EXPECT_EQ(bad.RunDisks({"--json", "-x"}), 2);
  EXPECT_EQ(bad.console.output, "");
  EXPECT_EQ(bad.console.errorOutput.rfind("hdsn-disks: unknown option '-x'\nusage:", 0), 0u);
}

TEST(LinuxProgram, TableNamesDisksByTheirNodes) {
  SimLinuxMachine m;
  AddDisk(m.system, {SimDiskKind::kVirtioBlock, "vda", "VBLK-1", "", ""});
  MountRoot(m.system, "vda");
  EXPECT_EQ(m.RunDisks(), 0);
  EXPECT_EQ(m.console.output,
            "Disk       Bus      Size  Serial  Model  Firmware  Source\n"
            "/dev/vda*  Virtual     -  VBLK-1  -      -         sysfs\n"
            "* holds the system volume /\n"
            "\n"
            "System volume / serial -\n");
}

// A machine with a disk of each kind, as root, with udev, the root on a
// partition under device-mapper and the class attributes of NVMe missing, so
// that every kind of call is made.
void RichLinuxMachine(SimLinux& s) {
  QemuMachine(s);
  s.Remove(s.Resolved("/sys/class/nvme/nvme0") + "/serial");
  SimDisk udev{SimDiskKind::kSata, "sdf", "UDEV-1", "UDEV DISK", "1"};
  udev.udev = true;
  AddDisk(s, udev);
  AddPartition(s, "sdf", 1);
  AddStackedDevice(s, "dm-0", {"sdf1"});
  MountRoot(s, "dm-0");
  s.AddFile("/run/udev/data/b253:0", "E:ID_FS_UUID=root-uuid\n");
}

TEST(LinuxFaultSweep, EveryCallFailingInTurnKeepsTheDocumentWholeAndLeavesNothingBehind) {
  long total = 0;
  {
    SimLinuxMachine reference;
    RichLinuxMachine(reference.system);
    ASSERT_EQ(reference.RunDisks({"--json"}), 0);
    const json document = json::parse(reference.console.output);
    ASSERT_EQ(document.at("/system_volume/serial"_json_pointer), "root-uuid");
    ASSERT_EQ(document.at("/disks/6/system"_json_pointer), true);
    total = reference.faults.calls();
  }
  ASSERT_GT(total, 100);
  for (long k = 1; k <= total; ++k) {
    SimLinuxMachine m;
    RichLinuxMachine(m.system);
    m.faults.FailCall(k);
    const int status = m.RunDisks({"--json"});
    ASSERT_EQ(m.faults.failed().size(), 1u) << "call " << k;
    SCOPED_TRACE("call " + std::to_string(k) + " fails: " + m.faults.failed()[0]);
    RecordJson(m.console.output);
    const json document = json::parse(m.console.output, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << m.console.output;
    bool serial = false;
    for (const json& disk : document.at("disks")) serial |= !disk.at("serial").is_null();
    EXPECT_EQ(status, serial ? 0 : 1);
    EXPECT_EQ(m.console.errorOutput, "");
    EXPECT_TRUE(NothingLeftBehind(m));
  }
}

}  // namespace
}  // namespace hdsn::sim
