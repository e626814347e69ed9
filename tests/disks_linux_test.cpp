// hdsn-disks on a simulated Linux machine: whole machines read back through
// the JSON document, the bytes of the SG_IO and NVMe requests, rootless
// runs, the system disk and every call failing in turn.
#include <algorithm>
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

SimDisk Identified(SimDisk disk, const SimIdentity& identity) {
  disk.identity = identity;
  return disk;
}

// A SCSI disk of 10000 RPM and one of 4096-byte sectors that does not
// rotate, as QEMU is given them in the proof on a real kernel.
SimIdentity ScsiDiskIdentity() {
  return {
      .sectors = 98304, .wwn = {0x50, 0x00, 0xc5, 0x00, 0xa1, 0xb2, 0xc3, 0xe6}, .rotation = 10000};
}
SimIdentity ScsiSsdIdentity() {
  return {.sectors = 33554432,
          .logicalSectorSize = 4096,
          .physicalSectorSize = 4096,
          .wwn = {0x50, 0x00, 0xc5, 0x00, 0xa1, 0xb2, 0xc3, 0xe7},
          .rotation = 1};
}

// The disks of the machine Debian's kernel showed under QEMU, one of each
// kind, named as it named them, with the identities QEMU is given; the
// kernel distrusts the namespace identifiers of QEMU's NVMe controller.
void QemuMachine(SimLinux& s) {
  AddDisk(s, Identified({SimDiskKind::kPata, "sda", "PIIX-SER-0001", "HDSN IDE Disk", "ID01"},
                        SataDiskIdentity()));
  AddDisk(s, Identified({SimDiskKind::kSata, "sdb", "AHCI-SER-0001", "HDSN AHCI Disk", "AH01"},
                        SataSsdIdentity()));
  AddDisk(s,
          Identified({SimDiskKind::kVirtioScsi, "sdc", "VSCSI-SER-0001", "HDSN SCSI Disk", "VS01"},
                     ScsiDiskIdentity()));
  AddDisk(s, Identified({SimDiskKind::kUas, "sdd", "UASDISK-SER-0001", "HDSN UAS Disk", "UA01",
                         "UASUSB-SER-0001"},
                        ScsiSsdIdentity()));
  AddDisk(s,
          Identified({SimDiskKind::kUsbStorage, "sde", "USBSTOR-SER-0001", "QEMU HARDDISK", "2.5+"},
                     {.sectors = 33554432}));
  SimDisk nvme = Identified(
      {SimDiskKind::kNvme, "nvme0n1", "NVME-SER-0001", "QEMU NVMe Ctrl", "7.2.22"}, NvmeIdentity());
  nvme.bogusNamespaceIds = true;
  AddDisk(s, nvme);
  AddDisk(s, Identified({SimDiskKind::kVirtioBlock, "vda", "VBLK-SER-0001", "", ""},
                        {.sectors = 67108864, .physicalSectorSize = 4096}));
  MountRoot(s, "");
}

// One line per disk: device, bus, system, serial and its source, then the
// name of each source of the texts (the first five), "ok" or its error, and
// its via.
std::vector<std::string> Summary(const json& document) {
  std::vector<std::string> lines;
  auto text = [](const json& value) {
    return value.is_null() ? std::string("null") : value.get<std::string>();
  };
  for (const json& disk : document.at("disks")) {
    std::string line = text(disk.at("device")) + " " + text(disk.at("bus")) + " " +
                       (disk.at("system").is_null() ? "null" : disk.at("system").dump()) + " " +
                       text(disk.at("serial")) + "<" + text(disk.at("serial_source")) + ">";
    const json& sources = disk.at("sources");
    for (std::size_t at = 0; at < 5 && at < sources.size(); ++at) {
      const json& source = sources[at];
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
    "/dev/sde USB false USBSTOR-SER-0001<sysfs> | "
    "sysfs ok /sys/devices/pci0000:00/0000:00:14.0/usb2/2-5/serial | "
    "nvme-identify not applicable | ata-identify sat-status: 2 /dev/sde | "
    "scsi-vpd80 open: 2 /sys/block/sde/device/vpd_pg80 | udev no udev database",
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
                      AddDisk(s, {SimDiskKind::kUas, "sda", "BRIDGE-1", "DISK", "1"});
                      AddDisk(s, {SimDiskKind::kUas, "sdb", "BRIDGE-2", "DISK", "1"});
                      for (const char* name : {"sda", "sdb"})
                        s.Remove(s.Resolved("/sys/block/" + std::string(name) + "/device") +
                                 "/vpd_pg80");
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
        // udev's rules give the serial alone as ID_SERIAL only to virtio-blk
        // and MMC disks; a drive without a serial has its model there; a
        // SCSI disk with a WWN has that as ID_SERIAL_SHORT, and its unit
        // serial as ID_SCSI_SERIAL.
        MachineCase{
            "UdevTextsAsUdevMeansThem",
            [](SimLinux& s) {
              auto withUdev = [](SimDisk disk) {
                disk.udev = true;
                return disk;
              };
              AddDisk(s, withUdev({SimDiskKind::kVirtioBlock, "vda", "VBLK-1", "", ""}));
              AddDisk(s, withUdev({SimDiskKind::kSata, "sda", "", "HDSN  NOSERIAL", "1"}));
              AddDisk(s, withUdev({SimDiskKind::kSata, "sdb", "SATA-2", "HDSN  Disk", "2"}));
              AddDisk(s, withUdev({SimDiskKind::kMmc, "mmcblk0", "0x1234abcd", "SD32G", ""}));
              AddDisk(s, {SimDiskKind::kVirtioBlock, "vdb", "VBLK-2", "", ""});
              SimDisk sas{SimDiskKind::kSas, "sdc", "SAS-3", "D", "3"};
              sas.identity.wwn = {0x50, 0x00, 0xc5, 0x00, 0xa1, 0xb2, 0xc3, 0xe6};
              AddDisk(s, withUdev(sas));
              MountRoot(s, "");
            },
            {},
            R"({"devices": ["/dev/mmcblk0", "/dev/sda", "/dev/sdb", "/dev/sdc", "/dev/vda", "/dev/vdb"],
          "/disks/3/sources/4/serial": "SAS-3", "/disks/3/agree": true,
          "/disks/0/sources/4": {"name": "udev", "ok": true, "via": "/run/udev/data/b179:0",
            "serial": "0x1234abcd", "model": null, "firmware": null},
          "/disks/1/sources/4": {"name": "udev", "ok": true, "via": "/run/udev/data/b8:0",
            "serial": null, "model": "HDSN  NOSERIAL", "firmware": "1"},
          "/disks/1/serial": null, "/disks/2/sources/4/serial": "SATA-2",
          "/disks/2/sources/4/model": "HDSN  Disk",
          "/disks/4/sources/4": {"name": "udev", "ok": true, "via": "/run/udev/data/b254:0",
            "serial": "VBLK-1", "model": null, "firmware": null},
          "/disks/5/sources/4/error": "open: 2"})"},
        // Native multipath: the subsystem's disk is the one disk, its paths
        // through each controller hidden (one on a kernel too old to say so,
        // known by its name); a controller whose copy is unreadable is
        // passed over for the next.
        MachineCase{"MultipathNvmeIsOneDisk",
                    [](SimLinux& s) {
                      SimDisk disk{SimDiskKind::kNvme, "nvme0n1", "NVME-MP-1", "M", "1"};
                      disk.nvmePaths = 2;
                      AddDisk(s, disk);
                      s.Remove(s.Resolved("/sys/block/nvme0c1n1") + "/hidden");
                      s.refuseOpen[s.Resolved("/sys/class/nvme/nvme0/serial")] = kEacces;
                      MountRoot(s, "");
                    },
                    {},
                    R"({"devices": ["/dev/nvme0n1"], "/disks/0/bus": "NVMe",
          "/disks/0/sources/1/via": "/sys/class/nvme/nvme1/serial"})"},
        MachineCase{"NvmeStatusIsTheControllersError",
                    [](SimLinux& s) {
                      NvmeOnly(s);
                      s.Remove(s.Resolved("/sys/class/nvme/nvme0") + "/serial");
                      s.Node("/dev/nvme0").nvmeStatus = 0x4002;
                    },
                    {},
                    R"({"/disks/0/sources/1/error": "nvme-status: 16386"})"},
        // Over a fabric, alone or through a subsystem of several controllers.
        MachineCase{"NvmeOverFabrics",
                    [](SimLinux& s) {
                      AddDisk(s, {SimDiskKind::kNvmeOverFabrics, "nvme3n1", "F1", "Linux", "6"});
                      SimDisk multipath{SimDiskKind::kNvmeOverFabrics, "nvme4n1", "F2", "L", "6"};
                      multipath.nvmePaths = 2;
                      AddDisk(s, multipath);
                      MountRoot(s, "");
                    },
                    {},
                    R"({"/disks/0/bus": "NVMeoF", "/disks/0/serial_source": "nvme-identify",
          "/disks/0/sources/1/via": "/sys/class/nvme/nvme3/serial", "/disks/1/bus": "NVMeoF",
          "/disks/1/sources/1/via": "/sys/class/nvme/nvme4/serial"})"},
        // An eMMC's boot and replay-protected areas are no disks; its
        // firmware is fwrev, or before eMMC 5.0 the CID's product revision.
        MachineCase{"EmmcAreasAndFirmware",
                    [](SimLinux& s) {
                      AddDisk(s, {SimDiskKind::kEmmc, "mmcblk0", "0x0000abcd", "OLD8G", "0x0"});
                      s.AddFile(s.Resolved("/sys/block/mmcblk0/device") + "/prv", "0x12\n");
                      AddDisk(s, {SimDiskKind::kEmmc, "mmcblk1", "0x1234abcd", "NEW32G",
                                  "0x0300000000000000"});
                      MountRoot(s, "");
                    },
                    {},
                    R"({"devices": ["/dev/mmcblk0", "/dev/mmcblk1"], "/disks/0/bus": "MMC",
          "/disks/0/firmware": "0x12", "/disks/1/firmware": "0x0300000000000000"})"},
        // Port P of a multiplier is libata's devN.P.0; devN.0 is the
        // multiplier itself, which has no IDENTIFY data.
        MachineCase{"BehindAPortMultiplier",
                    [](SimLinux& s) {
                      for (const int port : {0, 2}) {
                        SimDisk disk{SimDiskKind::kSata, port == 0 ? "sda" : "sdb",
                                     "PMP-PORT-" + std::to_string(port), "DISK", "1"};
                        disk.multiplierPort = port;
                        disk.ataPort = 5;
                        AddDisk(s, disk);
                      }
                      MountRoot(s, "");
                    },
                    {},
                    R"({"/disks/0/bus": "SATA", "/disks/0/serial": "PMP-PORT-0",
          "/disks/0/sources/2/via": "/sys/class/ata_device/dev5.0.0/id",
          "/disks/1/bus": "SATA", "/disks/1/serial": "PMP-PORT-2",
          "/disks/1/sources/2/via": "/sys/class/ata_device/dev5.2.0/id"})"},
        // IDENTIFY data that fails its checksum, or is not an ATA device's,
        // is its source's error: the serial comes from a good source.
        MachineCase{"IdentifyDataThatCannotBeBelieved",
                    [](SimLinux& s) {
                      Bytes garbage = MakeLinuxIdentify("GARBAGE-SN", "DISK", "1");
                      garbage[20] ^= 0x01;  // "GA" becomes "G@": the sum is 255
                      Bytes atapi = MakeLinuxIdentify("ATAPI-SN", "DISK", "1");
                      atapi[1] = 0x85;
                      AddDisk(s, {SimDiskKind::kSata, "sda", "SATA-GOOD-SN", "DISK", "1"});
                      s.AddFile(s.Resolved("/sys/class/ata_device/dev1.0/id"), AtaIdText(garbage));
                      AddDisk(s, {SimDiskKind::kUas, "sdb", "BRIDGE-B", "DISK", "1"});
                      s.Node("/dev/sdb").identify = garbage;
                      AddDisk(s, {SimDiskKind::kUas, "sdc", "BRIDGE-C", "DISK", "1"});
                      s.Node("/dev/sdc").identify = WithIdentifyChecksum(atapi);
                      MountRoot(s, "");
                    },
                    {},
                    R"({"/disks/0/serial": "SATA-GOOD-SN", "/disks/0/serial_source": "scsi-vpd80",
          "/disks/0/sources/2/error": "identify-checksum: 255",
          "/disks/0/sources/2/via": "/sys/class/ata_device/dev1.0/id",
          "/disks/1/serial": "BRIDGE-B", "/disks/1/agree": true,
          "/disks/1/sources/2/error": "identify-checksum: 255",
          "/disks/2/serial": "BRIDGE-C",
          "/disks/2/sources/2/error": "identify-not-ata: 0x8540"})"},
        // SG_IO answers the kernel does not vouch for: a driver's error, a
        // summary saying something went wrong, a count of missing bytes
        // outside what was asked. DRIVER_SENSE alone is no error.
        MachineCase{"SgIoAnswersTheKernelDisowns",
                    [](SimLinux& s) {
                      for (const char* name : {"sda", "sdb", "sdc", "sdd", "sde"}) {
                        AddDisk(s, {SimDiskKind::kUas, name, std::string("UAS-") + name, "D", "1"});
                        s.Remove(s.Resolved("/sys/block/" + std::string(name) + "/device") +
                                 "/vpd_pg80");
                      }
                      s.Node("/dev/sda").driverStatus = 0x04;
                      s.Node("/dev/sdb").driverStatus = 0x18;
                      s.Node("/dev/sdc").info = 1;
                      s.Node("/dev/sdd").resid = -4;
                      s.Node("/dev/sde").resid = 300;
                      MountRoot(s, "");
                    },
                    {},
                    R"({"/disks/0/sources/2/error": "sat-driver-status: 4",
          "/disks/0/sources/3/error": "scsi-driver-status: 4",
          "/disks/1/sources/2/error": "sat-status: 2",
          "/disks/1/sources/3/serial": "UAS-sdb",
          "/disks/2/sources/3/error": "scsi-info: 1",
          "/disks/3/sources/3/error": "scsi-resid: -4",
          "/disks/4/sources/3/error": "scsi-resid: 300"})"},
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

// One line per disk: each field of its identity that was given, with its
// source; each source of the identity's own that applies, "ok" or its
// error, its via and the placeholders it noted; the identifiers it shares.
std::vector<std::string> IdentitySummary(const json& document) {
  std::vector<std::string> lines;
  for (const json& disk : document.at("disks")) {
    std::string line = disk.at("device").get<std::string>();
    for (const char* field : {"wwn", "eui64", "nguid", "uuid", "size", "logical_sector_size",
                              "physical_sector_size", "rotational", "rotation_rate"}) {
      const json& value = disk.at(field);
      if (value.is_null()) continue;
      line += std::string(" ") + field + "=" +
              (value.is_string() ? value.get<std::string>() : value.dump()) + "<" +
              disk.at(std::string(field) + "_source").get<std::string>() + ">";
    }
    const json& sources = disk.at("sources");
    for (std::size_t at = 5; at < sources.size(); ++at) {
      const json& source = sources[at];
      if (source.value("error", "") == "not applicable") continue;
      line += " | " + source.at("name").get<std::string>() + " " +
              (source.at("ok").get<bool>() ? "ok" : source.at("error").get<std::string>()) + " " +
              source.at("via").get<std::string>();
      if (source.contains("placeholders")) line += " " + source.at("placeholders").dump();
    }
    if (!disk.at("shared_with").empty()) line += " | shared " + disk.at("shared_with").dump();
    lines.push_back(line);
  }
  return lines;
}

struct IdentityCase {
  const char* name;
  std::function<void(SimLinux&)> build;
  std::vector<std::string> identities;  // IdentitySummary() of the document
};

class LinuxIdentities : public testing::TestWithParam<IdentityCase> {};

TEST_P(LinuxIdentities, ComeFromTheFirstSourceThatGivesEach) {
  SimLinuxMachine m;
  GetParam().build(m.system);
  m.RunDisks({"--json"});
  RecordJson(m.console.output);
  const json document = json::parse(m.console.output);
  EXPECT_EQ(IdentitySummary(document), GetParam().identities);
  // A placeholder the document names twice for a source, which a parser
  // reads as one, would be two in the text.
  std::size_t placeholders = 0;
  for (const json& disk : document.at("disks")) {
    for (const json& source : disk.at("sources"))
      placeholders += source.value("placeholders", json::object()).size();
  }
  std::size_t written = 0;
  for (std::size_t at = 0; (at = m.console.output.find("\": \"all ", at)) != std::string::npos;
       ++at)
    ++written;
  EXPECT_EQ(written, placeholders);
  EXPECT_TRUE(NothingLeftBehind(m));
}

const std::vector<std::string> kQemuIdentitiesAsRoot = {
    "/dev/nvme0n1 eui64=0025388191b21234<nvme-namespace> "
    "uuid=6b1a3c2e-4d5f-4a60-8b71-92a3b4c5d6e7<nvme-namespace> size=1000204886016<nvme-namespace> "
    "logical_sector_size=512<nvme-namespace> physical_sector_size=512<sysfs> "
    "rotational=false<sysfs> "
    "| nvme-namespace ok /dev/nvme0 {\"nguid\":\"all zero\"}",
    "/dev/sda wwn=0x50014ee2b1c2d3e4<ata-identify> size=2000398934016<ata-identify> "
    "logical_sector_size=512<ata-identify> physical_sector_size=4096<ata-identify> "
    "rotational=true<ata-identify> rotation_rate=7200<ata-identify> "
    "| scsi-vpd83 ok /sys/block/sda/device/vpd_pg83 | scsi-vpdb1 ok /sys/block/sda/device/vpd_pgb1",
    "/dev/sdb wwn=0x5000c500a1b2c3d4<ata-identify> size=500107862016<ata-identify> "
    "logical_sector_size=512<ata-identify> physical_sector_size=512<ata-identify> "
    "rotational=false<ata-identify> "
    "| scsi-vpd83 ok /sys/block/sdb/device/vpd_pg83 | scsi-vpdb1 ok /sys/block/sdb/device/vpd_pgb1",
    "/dev/sdc wwn=0x5000c500a1b2c3e6<scsi-vpd83> size=50331648<sysfs> "
    "logical_sector_size=512<sysfs> physical_sector_size=512<sysfs> rotational=true<scsi-vpdb1> "
    "rotation_rate=10000<scsi-vpdb1> "
    "| scsi-vpd83 ok /sys/block/sdc/device/vpd_pg83 | scsi-vpdb1 ok /sys/block/sdc/device/vpd_pgb1",
    "/dev/sdd wwn=0x5000c500a1b2c3e7<scsi-vpd83> size=137438953472<sysfs> "
    "logical_sector_size=4096<sysfs> physical_sector_size=4096<sysfs> rotational=false<scsi-vpdb1> "
    "| scsi-vpd83 ok /sys/block/sdd/device/vpd_pg83 | scsi-vpdb1 ok /sys/block/sdd/device/vpd_pgb1",
    // usb-storage: the kernel asks no VPD page, and assumes rotating media.
    "/dev/sde size=17179869184<sysfs> logical_sector_size=512<sysfs> "
    "physical_sector_size=512<sysfs> rotational=true<sysfs> "
    "| scsi-vpd83 open: 2 /sys/block/sde/device/vpd_pg83 "
    "| scsi-vpdb1 open: 2 /sys/block/sde/device/vpd_pgb1",
    "/dev/vda size=34359738368<sysfs> logical_sector_size=512<sysfs> "
    "physical_sector_size=4096<sysfs> rotational=true<sysfs>"};

// As a user, the namespace's identifiers the kernel did not publish are
// unknown; everything else comes from files.
std::vector<std::string> QemuIdentitiesAsUser() {
  std::vector<std::string> lines = kQemuIdentitiesAsRoot;
  lines[0] =
      "/dev/nvme0n1 size=1000204886016<sysfs> logical_sector_size=512<sysfs> "
      "physical_sector_size=512<sysfs> rotational=false<sysfs> | nvme-namespace open: 13 "
      "/dev/nvme0";
  return lines;
}

// An NVMe namespace with every identifier, and one with an NGUID only.
void PublishedNamespaces(SimLinux& s) {
  const Bytes nguid = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                       0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
  SimIdentity every = NvmeIdentity();
  every.nguid = nguid;
  AddDisk(s, Identified({SimDiskKind::kNvme, "nvme0n1", "NVME-1", "N", "1"}, every));
  Bytes other = nguid;
  other[15] = 0x11;
  AddDisk(s, Identified({SimDiskKind::kNvme, "nvme1n1", "NVME-2", "N", "1"},
                        {.sectors = 1000, .nguid = other}));
  MountRoot(s, "");
}

INSTANTIATE_TEST_SUITE_P(
    Machines, LinuxIdentities,
    testing::Values(
        IdentityCase{"QemuAsRoot", QemuMachine, kQemuIdentitiesAsRoot},
        IdentityCase{"QemuAsUser",
                     [](SimLinux& s) {
                       QemuMachine(s);
                       s.root = false;
                     },
                     QemuIdentitiesAsUser()},
        // Real drives, whose identifiers the kernel publishes: read without
        // root. Without a UUID, the kernel's uuid file shows the NGUID.
        IdentityCase{"NamespaceIdentifiersTheKernelPublishesAsUser",
                     [](SimLinux& s) {
                       PublishedNamespaces(s);
                       s.root = false;
                     },
                     {"/dev/nvme0n1 eui64=0025388191b21234<nvme-namespace> "
                      "nguid=0123456789abcdeffedcba9876543210<nvme-namespace> "
                      "uuid=6b1a3c2e-4d5f-4a60-8b71-92a3b4c5d6e7<nvme-namespace> "
                      "size=1000204886016<sysfs> logical_sector_size=512<sysfs> "
                      "physical_sector_size=512<sysfs> rotational=false<sysfs> "
                      "| nvme-namespace ok /sys/block/nvme0n1/eui",
                      "/dev/nvme1n1 nguid=0123456789abcdeffedcba9876543211<nvme-namespace> "
                      "size=512000<sysfs> logical_sector_size=512<sysfs> "
                      "physical_sector_size=512<sysfs> rotational=false<sysfs> "
                      "| nvme-namespace ok /sys/block/nvme1n1/nguid"}},
        // Kernels before the identifier files (or a page that cannot be
        // read) leave the wwid the kernel chose.
        IdentityCase{"TheWwidWhereTheFilesAreMissing",
                     [](SimLinux& s) {
                       PublishedNamespaces(s);
                       for (const char* file : {"eui", "nguid", "uuid"})
                         s.Remove(s.Resolved("/sys/block/nvme1n1") + "/" + file);
                       AddDisk(s, Identified({SimDiskKind::kSas, "sda", "SAS-1", "D", "1"},
                                             ScsiDiskIdentity()));
                       s.Remove(s.Resolved("/sys/block/sda/device") + "/vpd_pg83");
                       s.Remove(s.Resolved("/sys/block/nvme0n1"));
                       s.root = false;
                     },
                     {"/dev/nvme1n1 nguid=0123456789abcdeffedcba9876543211<nvme-namespace> "
                      "size=512000<sysfs> logical_sector_size=512<sysfs> "
                      "physical_sector_size=512<sysfs> rotational=false<sysfs> "
                      "| nvme-namespace ok /sys/block/nvme1n1/wwid",
                      "/dev/sda wwn=0x5000c500a1b2c3e6<scsi-vpd83> size=50331648<sysfs> "
                      "logical_sector_size=512<sysfs> physical_sector_size=512<sysfs> "
                      "rotational=true<scsi-vpdb1> rotation_rate=10000<scsi-vpdb1> "
                      "| scsi-vpd83 ok /sys/block/sda/device/wwid "
                      "| scsi-vpdb1 ok /sys/block/sda/device/vpd_pgb1"}},
        // As root: a controller that knows no descriptor list (before NVMe
        // 1.3), a multipath namespace whose first controller fails Identify,
        // INQUIRY where the kernel keeps no page, and one WWN on two paths.
        IdentityCase{"IdentifyAndInquiryAsRoot",
                     [](SimLinux& s) {
                       SimDisk old = Identified({SimDiskKind::kNvme, "nvme0n1", "NVME-1", "N", "1"},
                                                NvmeIdentity());
                       old.bogusNamespaceIds = true;
                       AddDisk(s, old);
                       s.Node("/dev/nvme0").nvmeDescriptors.clear();
                       SimDisk multipath = old;
                       multipath.name = "nvme1n1";
                       multipath.serial = "NVME-MP";
                       multipath.identity.eui64[7] = 0x56;
                       multipath.nvmePaths = 2;
                       AddDisk(s, multipath);
                       s.Node("/dev/nvme1").nvmeStatus = 0x4002;
                       for (const char* name : {"sda", "sdb"})
                         AddDisk(s, Identified({SimDiskKind::kSas, name, "SAS-1", "D", "1"},
                                               ScsiDiskIdentity()));
                       for (const char* file : {"vpd_pg83", "vpd_pgb1", "wwid"})
                         s.Remove(s.Resolved("/sys/block/sda/device") + "/" + file);
                       MountRoot(s, "");
                     },
                     {"/dev/nvme0n1 eui64=0025388191b21234<nvme-namespace> "
                      "size=1000204886016<nvme-namespace> logical_sector_size=512<nvme-namespace> "
                      "physical_sector_size=512<sysfs> rotational=false<sysfs> "
                      "| nvme-namespace ok /dev/nvme0 {\"nguid\":\"all zero\"}",
                      "/dev/nvme1n1 eui64=0025388191b21256<nvme-namespace> "
                      "uuid=6b1a3c2e-4d5f-4a60-8b71-92a3b4c5d6e7<nvme-namespace> "
                      "size=1000204886016<nvme-namespace> logical_sector_size=512<nvme-namespace> "
                      "physical_sector_size=512<sysfs> rotational=false<sysfs> "
                      "| nvme-namespace ok /dev/nvme2 {\"nguid\":\"all zero\"}",
                      "/dev/sda wwn=0x5000c500a1b2c3e6<scsi-vpd83> size=50331648<sysfs> "
                      "logical_sector_size=512<sysfs> physical_sector_size=512<sysfs> "
                      "rotational=true<scsi-vpdb1> rotation_rate=10000<scsi-vpdb1> "
                      "| scsi-vpd83 ok /dev/sda | scsi-vpdb1 ok /dev/sda "
                      "| shared {\"serial\":[\"/dev/sdb\"],\"wwn\":[\"/dev/sdb\"]}",
                      "/dev/sdb wwn=0x5000c500a1b2c3e6<scsi-vpd83> size=50331648<sysfs> "
                      "logical_sector_size=512<sysfs> physical_sector_size=512<sysfs> "
                      "rotational=true<scsi-vpdb1> rotation_rate=10000<scsi-vpdb1> "
                      "| scsi-vpd83 ok /sys/block/sdb/device/vpd_pg83 "
                      "| scsi-vpdb1 ok /sys/block/sdb/device/vpd_pgb1 "
                      "| shared {\"serial\":[\"/dev/sda\"],\"wwn\":[\"/dev/sda\"]}"}},
        // Enclosures and drives that write zeros or FFh where they have no
        // name: null, said by each source, and shared by no disk.
        IdentityCase{
            "PlaceholdersNameNoDiskAndNoneShared",
            [](SimLinux& s) {
              SimIdentity zero = ScsiDiskIdentity();
              zero.wwn = Bytes(8, 0);
              for (const char* name : {"sda", "sdb"})
                AddDisk(s, Identified({SimDiskKind::kSas, name, name, "D", "1"}, zero));
              SimIdentity ones = SataSsdIdentity();
              ones.wwn = Bytes(8, 0xFF);
              AddDisk(s, Identified({SimDiskKind::kSata, "sdc", "SATA-1", "S", "1"}, ones));
              SimIdentity nvme = NvmeIdentity();
              nvme.eui64 = Bytes(8, 0xFF);
              nvme.uuid = Bytes(16, 0);
              SimDisk namespaced =
                  Identified({SimDiskKind::kNvme, "nvme0n1", "NVME-1", "N", "1"}, nvme);
              namespaced.bogusNamespaceIds = true;
              AddDisk(s, namespaced);
              MountRoot(s, "");
            },
            {"/dev/nvme0n1 size=1000204886016<nvme-namespace> "
             "logical_sector_size=512<nvme-namespace> physical_sector_size=512<sysfs> "
             "rotational=false<sysfs> | nvme-namespace ok /dev/nvme0 "
             "{\"eui64\":\"all FFh\",\"nguid\":\"all zero\",\"uuid\":\"all zero\"}",
             "/dev/sda size=50331648<sysfs> logical_sector_size=512<sysfs> "
             "physical_sector_size=512<sysfs> rotational=true<scsi-vpdb1> "
             "rotation_rate=10000<scsi-vpdb1> "
             "| scsi-vpd83 ok /sys/block/sda/device/vpd_pg83 {\"wwn\":\"all zero\"} "
             "| scsi-vpdb1 ok /sys/block/sda/device/vpd_pgb1",
             "/dev/sdb size=50331648<sysfs> logical_sector_size=512<sysfs> "
             "physical_sector_size=512<sysfs> rotational=true<scsi-vpdb1> "
             "rotation_rate=10000<scsi-vpdb1> "
             "| scsi-vpd83 ok /sys/block/sdb/device/vpd_pg83 {\"wwn\":\"all zero\"} "
             "| scsi-vpdb1 ok /sys/block/sdb/device/vpd_pgb1",
             "/dev/sdc size=500107862016<ata-identify> logical_sector_size=512<ata-identify> "
             "physical_sector_size=512<ata-identify> rotational=false<ata-identify> "
             "| scsi-vpd83 ok /sys/block/sdc/device/vpd_pg83 {\"wwn\":\"all FFh\"} "
             "| scsi-vpdb1 ok /sys/block/sdc/device/vpd_pgb1"}}),
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

// Three disks and "/" on a file system of a mount line without its first
// two fields.
std::function<void(SimLinux&)> RootOn(const std::string& mount) {
  return [mount](SimLinux& s) {
    ThreeDisks(s);
    s.AddFile("/proc/self/mountinfo", "30 1 " + mount + "\n");
  };
}

// Three disks, a partition sdc1 and loop0 backed by /srv/images/root.img on
// a file system of those numbers.
void LoopRoot(SimLinux& s, std::pair<unsigned, unsigned> numbers) {
  ThreeDisks(s);
  AddPartition(s, "sdc", 1);
  AddLoopDevice(s, "loop0", "/srv/images/root.img");
  s.fileSystems["/srv"] = numbers;
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
        RootCase{"MountTableUnreadable", ThreeDisks, {}, nullptr},
        // Where "/" cannot be followed to its devices, no disk is known not
        // to hold it.
        RootCase{
            "OnZfsUnknown", RootOn("0:40 / / rw shared:1 - zfs rpool/ROOT/debian rw"), {}, nullptr},
        RootCase{"InAContainerOnOverlayUnknown",
                 RootOn("0:52 / / rw - overlay overlay rw,lowerdir=/l,upperdir=/u"),
                 {},
                 nullptr},
        RootCase{"OnFuseUnknown", RootOn("0:45 / / rw - fuse.sshfs host:/ rw"), {}, nullptr},
        // In memory or on another machine: on no disk.
        RootCase{"OnTmpfsOnNoDisk",
                 RootOn("0:25 / / rw - tmpfs tmpfs rw"),
                 {false, false, false},
                 nullptr},
        RootCase{"OnNfsOnNoDisk",
                 RootOn("0:60 / / rw - nfs4 server:/export/root rw"),
                 {false, false, false},
                 nullptr},
        RootCase{"BtrfsOverTwoDisks",
                 [](SimLinux& s) {
                   ThreeDisks(s);
                   for (const char* name : {"sda", "sdb", "sdc"}) AddPartition(s, name, 1);
                   s.AddFile("/proc/self/mountinfo",
                             "30 1 0:31 /@ / rw,relatime shared:1 - btrfs /dev/sdb1 rw\n");
                   s.AddLink("/dev/sdb1", "../sys/class/block/sdb1");
                   s.AddDirectory("/sys/fs/btrfs/features");
                   s.AddLink("/sys/fs/btrfs/other-uuid/devices/sdc1", "/sys/class/block/sdc1");
                   for (const char* name : {"sda1", "sdb1"})
                     s.AddLink(std::string("/sys/fs/btrfs/root-uuid/devices/") + name,
                               std::string("/sys/class/block/") + name);
                 },
                 {true, true, false},
                 nullptr},
        RootCase{"OnALoopDeviceFollowsItsBackingFile",
                 [](SimLinux& s) {
                   LoopRoot(s, {8, 33});
                   s.AddFile("/proc/self/mountinfo",
                             "22 1 7:0 / / rw - ext4 /dev/loop0 rw\n"
                             "25 22 8:33 / /srv rw - ext4 /dev/sdc1 rw\n");
                 },
                 {false, false, true},
                 nullptr},
        RootCase{"OnALoopDeviceWhoseFileIsInMemory",
                 [](SimLinux& s) {
                   LoopRoot(s, {0, 30});
                   s.AddFile("/proc/self/mountinfo",
                             "22 1 7:0 / / rw - ext4 /dev/loop0 rw\n"
                             "25 22 0:30 / /srv rw - tmpfs tmpfs rw\n");
                 },
                 {false, false, false},
                 nullptr},
        RootCase{"OnALoopDeviceWhoseFileIsGone",
                 [](SimLinux& s) {
                   LoopRoot(s, {8, 33});
                   s.Remove("/srv/images/root.img");
                   s.AddFile("/proc/self/mountinfo", "22 1 7:0 / / rw - ext4 /dev/loop0 rw\n");
                 },
                 {},
                 nullptr}),
    RowName());

// What the program cannot read without giving a wrong answer: an error on
// standard error, no document, and exit status 1.
struct FailureCase {
  const char* name;
  std::function<void(SimLinuxMachine&)> build;
  const char* error;  // nullptr: none, the document
};

class LinuxFailures : public testing::TestWithParam<FailureCase> {};

TEST_P(LinuxFailures, AreSaidOnStandardError) {
  SimLinuxMachine m;
  GetParam().build(m);
  const int status = m.RunDisks({"--json"});
  if (GetParam().error == nullptr) {
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m.console.errorOutput, "");
    EXPECT_EQ(json::parse(m.console.output).at("/disks/2/system"_json_pointer), true);
  } else {
    EXPECT_EQ(status, 1);
    EXPECT_EQ(m.console.errorOutput, GetParam().error);
    EXPECT_EQ(m.console.output, "");
  }
  EXPECT_TRUE(NothingLeftBehind(m));
}

// A mount table of `size` bytes that mounts "/" from sdc in its last line.
void LongMountTable(SimLinuxMachine& m, std::size_t size) {
  ThreeDisks(m.system);
  const std::string root = "9999 1 8:32 / / rw - ext4 /dev/sdc rw\n";
  const std::string line = "23 22 0:21 / /sys rw - sysfs sysfs rw\n";
  std::string table;
  while (table.size() + line.size() + root.size() <= size) table += line;
  table += std::string(size - table.size() - root.size(), ' ') + root;
  m.system.AddFile("/proc/self/mountinfo", table);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinuxFailures,
    testing::Values(
        FailureCase{"MountTableAtItsLimit",
                    [](SimLinuxMachine& m) { LongMountTable(m, 1024 * 1024); }, nullptr},
        FailureCase{"MountTableBeyondItsLimit",
                    [](SimLinuxMachine& m) { LongMountTable(m, 1024 * 1024 + 1); },
                    "hdsn-disks: /proc/self/mountinfo holds more than 1048576 bytes, the most "
                    "read\n"},
        FailureCase{"SysBlockUnlistable",
                    [](SimLinuxMachine& m) {
                      ThreeDisks(m.system);
                      MountRoot(m.system, "");
                      m.faults.FailNth("opendir", 1);
                    },
                    "hdsn-disks: cannot list /sys/block: 5\n"},
        FailureCase{"NoSysfs", [](SimLinuxMachine& m) { MountRoot(m.system, ""); },
                    "hdsn-disks: cannot list /sys/block: 2\n"}),
    RowName());

// Files are read into buffers that grow with what they hold: a page first,
// whatever their limit.
TEST(LinuxFiles, AreReadInBuffersSizedByWhatTheyHold) {
  SimLinuxMachine m;
  AddDisk(m.system, {SimDiskKind::kVirtioBlock, "vda", "VBLK-1", "", ""});
  std::string table;
  while (table.size() < 9000) table += "23 22 0:21 / /sys rw - sysfs sysfs rw\n";
  m.system.AddFile("/proc/self/mountinfo", table + "22 1 254:0 / / rw - ext4 /dev/vda rw\n");
  ASSERT_EQ(m.RunDisks({"--json"}), 0);
  EXPECT_EQ(json::parse(m.console.output).at("/disks/0/system"_json_pointer), true);
  std::size_t largest = 0;
  for (const std::string& call : m.system.calls) {
    if (call.rfind("read ", 0) == 0)
      largest = std::max<std::size_t>(largest, std::stoul(call.substr(call.rfind(' ') + 1)));
  }
  EXPECT_EQ(largest, 8192u);  // the table's 9 KB, read a page, then the rest of 16 KB
}

// The requests the nodes received, byte by byte.
// A usb-storage disk is sent no INQUIRY of a VPD page: the kernel keeps
// them away from its bridges, some of which hang on one.
TEST(LinuxRequests, CarryTheCommandsTheKernelPassesOn) {
  SimLinuxMachine m;
  AddDisk(m.system, {SimDiskKind::kUas, "sda", "BRIDGE-1", "DISK", "1"});
  for (const char* page : {"vpd_pg80", "vpd_pg83", "vpd_pgb1"})
    m.system.Remove(m.system.Resolved("/sys/block/sda/device") + "/" + page);
  AddDisk(m.system, {SimDiskKind::kUsbStorage, "sdb", "BRIDGE-2", "DISK", "1"});
  AddDisk(m.system, {SimDiskKind::kNvme, "nvme0n1", "NVME-1", "N", "1"});
  m.system.Remove(m.system.Resolved("/sys/class/nvme/nvme0") + "/serial");
  MountRoot(m.system, "");
  ASSERT_EQ(m.RunDisks({"--json"}), 0);

  const std::vector<SgIoRecord>& sgIo = m.system.sgIo;
  const Bytes ataPassThrough = {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0};
  const std::vector<std::pair<Bytes, std::uint32_t>> expected = {
      {ataPassThrough, 512},
      {{0x12, 0x01, 0x80, 0x00, 0xFC, 0x00}, 252},
      {{0x12, 0x01, 0x83, 0x00, 0xFC, 0x00}, 252},
      {{0x12, 0x01, 0xB1, 0x00, 0x40, 0x00}, 64},
      {ataPassThrough, 512}};
  ASSERT_EQ(sgIo.size(), expected.size());
  for (std::size_t at = 0; at < sgIo.size(); ++at) {
    const SgIoRecord& request = sgIo[at];
    EXPECT_EQ(request.cdb, expected[at].first) << at;
    EXPECT_EQ(request.length, expected[at].second) << at;
    EXPECT_EQ(request.path, at + 1 < sgIo.size() ? "/dev/sda" : "/dev/sdb");
    EXPECT_EQ(request.interfaceId, 'S');
    EXPECT_EQ(request.direction, -3);  // from the device
    EXPECT_EQ(request.timeout, 3000u);
    EXPECT_EQ(request.senseLength, 32u);
  }
  // Identify of the controller (CNS 1), then of the namespace the kernel
  // numbers 1: its descriptor list (CNS 3) and its data (CNS 0).
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> identify = {{1, 0}, {3, 1}, {0, 1}};
  ASSERT_EQ(m.system.nvmeAdmin.size(), identify.size());
  for (std::size_t at = 0; at < identify.size(); ++at) {
    const NvmeAdminRecord& request = m.system.nvmeAdmin[at];
    EXPECT_EQ(request.path, "/dev/nvme0");
    EXPECT_EQ(request.opcode, 0x06);
    EXPECT_EQ(request.cdw10, identify[at].first) << at;
    EXPECT_EQ(request.nsid, identify[at].second) << at;
    EXPECT_EQ(request.length, 4096u);
    EXPECT_EQ(request.timeout, 3000u);
  }

  // Nodes open read-only and non-blocking, once per source that needs one.
  std::vector<std::string> nodes;
  for (const LinuxOpenRecord& open : m.system.NodeOpens()) {
    EXPECT_EQ(open.mode, OpenMode::kDevice) << open.path;
    nodes.push_back(open.path);
  }
  EXPECT_EQ(nodes, (std::vector<std::string>{"/dev/nvme0", "/dev/nvme0", "/dev/sda", "/dev/sda",
                                             "/dev/sda", "/dev/sda", "/dev/sdb"}));
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
    EXPECT_TRUE(NothingLeftBehind(m));
    // Without the list of block devices there is no inventory to print.
    if (k == 1) {
      EXPECT_EQ(m.console.errorOutput, "hdsn-disks: cannot list /sys/block: 5\n");
      EXPECT_EQ(status, 1);
      continue;
    }
    RecordJson(m.console.output);
    const json document = json::parse(m.console.output, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << m.console.output;
    bool serial = false;
    for (const json& disk : document.at("disks")) serial |= !disk.at("serial").is_null();
    EXPECT_EQ(status, serial ? 0 : 1);
    EXPECT_EQ(m.console.errorOutput, "");
  }
}

}  // namespace
}  // namespace hdsn::sim
