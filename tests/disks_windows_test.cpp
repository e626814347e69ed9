// hdsn-disks on the simulated machine: whole inventories read back through
// the JSON document, the bytes its requests carry, its arguments and exit
// status, and its table.
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "app/hard_drive_info.h"
#include "disks/disk_inventory.h"
#include "disks/windows/disk_list.h"
#include "protocol/ata.h"
#include "protocol/byte_order.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

using namespace layout;
using nlohmann::json;

constexpr char kNvmeId[] = "0025_3881_91B2_1234.";
// "WD-WCAZA5237485" as Windows 7 reports an ATA serial: the 20 bytes of its
// words, low byte first, in hexadecimal.
constexpr char kHexSerial[] = "2020202057202d4443575a413541333234373538";
constexpr bool k64 = sizeof(void*) == 8;
const std::vector<std::string> kSourceNames = {
    "storage-descriptor", "nvme-identify", "ata-identify",     "scsi-vpd80",   "wmi",
    "nvme-namespace",     "scsi-vpd83",    "access-alignment", "seek-penalty", "disk-geometry"};

struct InventoryCase {
  const char* name;
  std::function<void(SimMachine&)> build;
  // "indexes": the disks' indexes in order; every other key is a JSON
  // pointer into the document and the value found there.
  const char* expected;
};

class Inventory : public testing::TestWithParam<InventoryCase> {};

TEST_P(Inventory, ListsEveryDiskWithWhatEachSourceSaid) {
  SimMachine m;
  GetParam().build(m);
  const int status = m.RunDisks({"--json"});
  const json document = json::parse(m.console.output);
  RecordJson(m.console.output);
  json indexes = json::array();
  bool anySerial = false;
  for (const json& disk : document.at("disks")) {
    indexes.push_back(disk.at("index"));
    anySerial |= !disk.at("serial").is_null();
    std::vector<std::string> names;
    for (const json& source : disk.at("sources")) names.push_back(source.at("name"));
    EXPECT_EQ(names, kSourceNames);
  }
  const json expected = json::parse(GetParam().expected);
  for (const auto& [key, value] : expected.items()) {
    EXPECT_EQ(key == "indexes" ? indexes : document.at(json::json_pointer(key)), value) << key;
  }
  EXPECT_EQ(status, anySerial ? 0 : 1);
  EXPECT_EQ(m.console.errorOutput, "");
  EXPECT_TRUE(NothingLeftBehind(m));
}

void Nvme(SimMachine& m) {
  m.devices.administrator = false;
  m.devices.physicalDrives[0] = MakeNvmeDrive(kNvmeId, "NVME0R123456A", "NVMe SSD 1TB");
  m.wmi.AddInventoryDisk(0, u"0025_3881_91B2_1234.", u"NVMe SSD 1TB", u"NV-FW-01");
}

void Sata(SimMachine& m) {
  m.devices.physicalDrives[0] = MakeSataDrive("WD-WCAV12345678", "SATA SSD 500");
  m.wmi.AddInventoryDisk(0, u"WD-WCAV12345678", u"SATA SSD 500", u"1.0");
}

// Disk 0 read without administrator rights, its descriptor changed.
std::function<void(SimMachine&)> Descriptor(
    const std::string& product, const std::string& serial,
    std::function<void(Bytes&)> change = [](Bytes&) {}) {
  return [=](SimMachine& m) {
    m.devices.administrator = false;
    m.devices.physicalDrives[0].storageDescriptor =
        MakeDeviceDescriptor(11, "", product, "", serial);
    change(*m.devices.physicalDrives[0].storageDescriptor);
  };
}

INSTANTIATE_TEST_SUITE_P(
    Machines, Inventory,
    testing::Values(
        InventoryCase{"NvmeWithoutAdministratorRights", Nvme, R"({"indexes": [0], "/disks/0": {
          "index": 0, "device": "\\\\.\\PhysicalDrive0", "bus": "NVMe", "removable": false,
          "system": null,
          "serial": "NVME0R123456A", "serial_source": "nvme-identify", "serial_kind": "serial",
          "model": "NVMe SSD 1TB", "firmware": "NV-FW-01", "agree": false,
          "wwn": null, "wwn_source": null,
          "eui64": "0025388191b21234", "eui64_source": "nvme-namespace",
          "nguid": null, "nguid_source": null, "uuid": null, "uuid_source": null,
          "size": 1000204886016, "size_source": "nvme-namespace",
          "logical_sector_size": 512, "logical_sector_size_source": "nvme-namespace",
          "physical_sector_size": 512, "physical_sector_size_source": "access-alignment",
          "rotational": false, "rotational_source": "seek-penalty",
          "rotation_rate": null, "rotation_rate_source": null, "shared_with": {}, "sources": [
          {"name": "storage-descriptor", "ok": true, "serial": "0025_3881_91B2_1234.",
           "model": "NVMe SSD 1TB", "firmware": "1.0"},
          {"name": "nvme-identify", "ok": true, "serial": "NVME0R123456A",
           "model": "NVMe SSD 1TB", "firmware": "NV-FW-01"},
          {"name": "ata-identify", "ok": false, "error": "open: 5"},
          {"name": "scsi-vpd80", "ok": false, "error": "open: 5"},
          {"name": "wmi", "ok": true, "serial": "0025_3881_91B2_1234.",
           "model": "NVMe SSD 1TB", "firmware": "NV-FW-01"},
          {"name": "nvme-namespace", "ok": true, "serial": null, "model": null, "firmware": null,
           "eui64": "0025388191b21234", "size": 1000204886016, "logical_sector_size": 512,
           "placeholders": {"nguid": "all zero"}},
          {"name": "scsi-vpd83", "ok": true, "serial": null, "model": null, "firmware": null,
           "eui64": "0025388191b21234"},
          {"name": "access-alignment", "ok": true, "serial": null, "model": null,
           "firmware": null, "logical_sector_size": 512, "physical_sector_size": 512},
          {"name": "seek-penalty", "ok": true, "serial": null, "model": null, "firmware": null,
           "rotational": false},
          {"name": "disk-geometry", "ok": true, "serial": null, "model": null, "firmware": null,
           "size": 1000204886016, "logical_sector_size": 512}]},
          "/system_volume": {"root": "C:\\", "serial": "43000000"}})"},
        InventoryCase{"SataWithAdministratorRights", Sata, R"({"/disks/0/bus": "SATA",
          "/disks/0/serial_source": "ata-identify", "/disks/0/agree": true,
          "/disks/0/sources/1/error": "query: 1",
          "/disks/0/sources/2/serial": "WD-WCAV12345678",
          "/disks/0/sources/3/serial": "WD-WCAV12345678",
          "/disks/0/wwn": "0x5000c500a1b2c3d4", "/disks/0/wwn_source": "ata-identify",
          "/disks/0/size": 500107862016, "/disks/0/size_source": "ata-identify",
          "/disks/0/logical_sector_size_source": "ata-identify",
          "/disks/0/rotational": false, "/disks/0/rotational_source": "ata-identify",
          "/disks/0/rotation_rate": null, "/disks/0/sources/5/error": "query: 1",
          "/disks/0/sources/6": {"name": "scsi-vpd83", "ok": true, "serial": null, "model": null,
                                 "firmware": null, "wwn": "0x5000c500a1b2c3d4"}})"},
        InventoryCase{"SataWithoutAdministratorRights",
                      [](SimMachine& m) {
                        Sata(m);
                        m.devices.administrator = false;
                      },
                      R"({"/disks/0/serial": "WD-WCAV12345678",
          "/disks/0/serial_source": "storage-descriptor",
          "/disks/0/sources/2": {"name": "ata-identify", "ok": false, "error": "open: 5"},
          "/disks/0/sources/3/error": "open: 5",
          "/disks/0/wwn": "0x5000c500a1b2c3d4", "/disks/0/wwn_source": "scsi-vpd83",
          "/disks/0/size": 500107862016, "/disks/0/size_source": "disk-geometry",
          "/disks/0/logical_sector_size_source": "access-alignment",
          "/disks/0/rotational": false, "/disks/0/rotational_source": "seek-penalty"})"},
        InventoryCase{"AllZeroWwnOfTheDriveGivesWayToTheStacks",
                      [](SimMachine& m) {
                        Sata(m);
                        SimPhysicalDrive& drive = m.devices.physicalDrives[0];
                        std::fill_n(drive.identify.begin() + 2 * kWwnFirstWord, 8, 0);
                        drive.deviceIdDescriptor = MakeDeviceIdDescriptor(
                            {{.identifier = Bytes(8, 0)},
                             {.identifier = {0x50, 0, 0xc5, 0, 0xa1, 0xb2, 0xc3, 0xd4}}});
                      },
                      R"({"/disks/0/wwn": "0x5000c500a1b2c3d4",
          "/disks/0/wwn_source": "scsi-vpd83",
          "/disks/0/sources/2/placeholders": {"wwn": "all zero"},
          "/disks/0/sources/6/placeholders": {"wwn": "all zero"}})"},
        InventoryCase{"NamespaceIdInTheSerialsPlaceOnlyWhenNothingElseIsGiven",
                      [](SimMachine& m) {
                        Nvme(m);
                        m.devices.physicalDrives[0].nvmeAnswer.reset();
                        m.devices.physicalDrives[1] = m.devices.physicalDrives[0];
                        m.wmi.AddInventoryDisk(1, u"S4EWNF0M123456", u"NVMe SSD 1TB", u"");
                      },
                      R"({"/disks/0/serial": "0025_3881_91B2_1234.",
          "/disks/0/serial_source": "storage-descriptor", "/disks/0/serial_kind": "eui64",
          "/disks/0/agree": true, "/disks/0/eui64": "0025388191b21234",
          "/disks/0/eui64_source": "nvme-namespace",
          "/disks/1/serial": "S4EWNF0M123456", "/disks/1/serial_source": "wmi",
          "/disks/1/serial_kind": "serial", "/disks/1/agree": false})"},
        InventoryCase{"NamespaceOfTheLogicalUnitAskedOfTheAdapterAfterTheDevice",
                      [](SimMachine& m) {
                        Nvme(m);
                        SimPhysicalDrive& drive = m.devices.physicalDrives[0];
                        drive.lun = 4;
                        drive.namespaceId = 5;
                        drive.nvmeNamespaceProperty = kStorageAdapterProtocolSpecificProperty;
                        m.devices.physicalDrives[1] =
                            MakeNvmeDrive(kNvmeId, "NVME-NO-ADDRESS", "M");
                        m.devices.physicalDrives[1].lun.reset();
                      },
                      R"({"/disks/0/sources/5/size": 1000204886016,
          "/disks/1/sources/5": {"name": "nvme-namespace", "ok": false, "error": "address: 1"},
          "/disks/1/eui64_source": "scsi-vpd83", "/disks/1/size_source": "disk-geometry"})"},
        InventoryCase{
            "DeviceIdWalkEndsAtTheAnswersEnd",
            [](SimMachine& m) {
              m.devices.physicalDrives[0] = MakeSataDrive("FAR-NEXT", "DISK");
              m.devices.physicalDrives[1] = MakeSataDrive("HUGE-SIZE", "DISK");
              m.devices.administrator = false;
              Bytes& far = *m.devices.physicalDrives[0].deviceIdDescriptor;
              StoreLe32(far.data() + STORAGE_DEVICE_ID_DESCRIPTOR::NumberOfIdentifiers.offset,
                        0xFFFFFFFF);
              StoreLe16(far.data() + 12 + STORAGE_IDENTIFIER::NextOffset.offset, 20);
              Bytes& huge = *m.devices.physicalDrives[1].deviceIdDescriptor;
              StoreLe16(huge.data() + 12 + STORAGE_IDENTIFIER::IdentifierSize.offset, 0xFFFF);
            },
            R"({"/disks/0/sources/6/wwn": "0x5000c500a1b2c3d4",
          "/disks/1/sources/6": {"name": "scsi-vpd83", "ok": true, "serial": null,
                                 "model": null, "firmware": null}})"},
        InventoryCase{"GeometryOfNoSize",
                      [](SimMachine& m) {
                        m.devices.physicalDrives[0] = MakeUsbBridge("EMPTY", "CARD READER");
                        m.devices.physicalDrives[0].geometry = MakeGeometryAnswer(0, 512);
                        m.devices.physicalDrives[1] = MakeUsbBridge("NEGATIVE", "CARD READER");
                        m.devices.physicalDrives[1].geometry = MakeGeometryAnswer(1ull << 63, 512);
                      },
                      R"({"/disks/0/size": null, "/disks/0/size_source": null,
          "/disks/0/logical_sector_size_source": "access-alignment", "/disks/1/size": null,
          "/disks/1/sources/9": {"name": "disk-geometry", "ok": true, "serial": null,
                                 "model": null, "firmware": null, "logical_sector_size": 512}})"},
        InventoryCase{"DisksSharingIdentifiers",
                      [](SimMachine& m) {
                        for (const int drive : {0, 1})
                          m.devices.physicalDrives[drive] = MakeUsbBridge("ONE-BRIDGE", "HUB");
                        m.devices.physicalDrives[2] = MakeUsbBridge("OTHER", "HUB");
                        m.devices.physicalDrives[3] = MakeSataDrive("CLONE-A", "SSD");
                        m.devices.physicalDrives[4] = MakeSataDrive("CLONE-B", "SSD");
                        for (const int drive : {5, 6})
                          m.devices.physicalDrives[drive] = MakeUsbBridge("", "NO SERIAL");
                        m.devices.physicalDrives[7] = MakeNvmeDrive(kNvmeId, "NVME-A", "NVMe");
                        m.devices.physicalDrives[8] = MakeNvmeDrive(kNvmeId, "NVME-B", "NVMe");
                      },
                      R"({"/disks/0/shared_with": {"serial": ["\\\\.\\PhysicalDrive1"]},
          "/disks/1/shared_with": {"serial": ["\\\\.\\PhysicalDrive0"]},
          "/disks/2/shared_with": {},
          "/disks/3/shared_with": {"wwn": ["\\\\.\\PhysicalDrive4"]},
          "/disks/5/shared_with": {}, "/disks/6/shared_with": {},
          "/disks/7/shared_with": {"eui64": ["\\\\.\\PhysicalDrive8"]}})"},
        InventoryCase{"Windows7HexEncodedSerialFromEverySource",
                      [](SimMachine& m) {
                        Descriptor("SATA HDD", kHexSerial)(m);
                        m.wmi.AddInventoryDisk(0, u"2020202057202D4443575A413541333234373538",
                                               u"SATA HDD", u"1.0");
                      },
                      R"({"/disks/0/serial": "WD-WCAZA5237485", "/disks/0/agree": true,
          "/disks/0/sources/4/serial": "WD-WCAZA5237485"})"},
        InventoryCase{"FortyHexDigitsOfNoTextKeptAsGiven",
                      Descriptor("SATA HDD", "4142434445464748494a4b4c4d4e4f50515253ff"),
                      R"({"/disks/0/serial": "4142434445464748494a4b4c4d4e4f50515253ff"})"},
        InventoryCase{"UsbBridgeAnswersOnlyTheDescriptorAndVpd80",
                      [](SimMachine& m) {
                        m.devices.physicalDrives[0] = MakeUsbBridge("USB-BRIDGE-0001", "USB Disk");
                      },
                      R"({"/disks/0/bus": "USB", "/disks/0/removable": true,
          "/disks/0/serial_source": "scsi-vpd80", "/disks/0/model": "USB Disk",
          "/disks/0/sources/2/error": "ata-pass-through: 1; sat-status: 2; smart-version: 1",
          "/disks/0/sources/3": {"name": "scsi-vpd80", "ok": true, "serial": "USB-BRIDGE-0001",
                                 "model": null, "firmware": null},
          "/disks/0/sources/4": {"name": "wmi", "ok": true, "serial": null, "model": null,
                                 "firmware": null}})"},
        InventoryCase{"IdentifySerialsWithNulsAtTheirStartOrInside",
                      [](SimMachine& m) {
                        m.devices.physicalDrives[0] = MakeSataDrive("    AB-SERIAL", "DISK");
                        std::fill_n(m.devices.physicalDrives[0].identify.begin() + 20, 4, 0);
                        m.devices.physicalDrives[1] = MakeAtaDrive("AB CD", "DISK");
                        m.devices.physicalDrives[1].identify[2 * 11 + 1] = 0;  // the blank
                      },
                      R"({"/disks/0/sources/2/serial": "AB-SERIAL",
          "/disks/1/sources/2/serial": "AB\u0000CD", "/disks/1/sources/2/firmware": "1.0"})"},
        InventoryCase{"SystemDisksFromTheVolumesExtents",
                      [](SimMachine& m) {
                        for (int drive : {0, 1, 2})
                          m.devices.physicalDrives[drive] = MakeUsbBridge("USB", "DISK");
                        m.wmi.AddInventoryDisk(7, u"WMI-ONLY", u"Virtual Disk", u"");
                        m.devices.volumeExtents = {2, 1};
                        m.devices.volumeDeviceNumber = {.number = 0};
                      },
                      R"({"indexes": [0, 1, 2, 7], "/disks/0/system": false,
          "/disks/1/system": true, "/disks/2/system": true, "/disks/3/system": false})"},
        InventoryCase{"SystemDiskFromTheDeviceNumberWhenNoExtent",
                      [](SimMachine& m) {
                        Sata(m);
                        m.devices.physicalDrives[1] = MakeUsbBridge("USB", "DISK");
                        m.devices.volumeExtents.emplace();
                        m.devices.volumeDeviceNumber = {.number = 1};
                      },
                      R"({"/disks/0/system": false, "/disks/1/system": true})"},
        InventoryCase{"SystemUnknownWhenTheVolumeIsNoDisk",
                      [](SimMachine& m) {
                        Sata(m);
                        m.devices.volumeDeviceNumber = {.type = 0x24, .number = 0};
                      },
                      R"({"/disks/0/system": null})"},
        InventoryCase{"SystemUnknownForARootThatNamesNoDrive",
                      [](SimMachine& m) {
                        Sata(m);
                        m.system.windowsDirectory = "\\\\SERVER\\WINDOWS";
                        m.devices.volumeDeviceNumber = {.number = 0};
                      },
                      R"({"/disks/0/system": null})"},
        InventoryCase{"ExtentCountBeyondTheAnswerIsCut",
                      [](SimMachine& m) {
                        Sata(m);
                        m.devices.physicalDrives[1] = MakeUsbBridge("USB", "DISK");
                        Bytes extents(32, 0);
                        extents[0] = 200;
                        extents[8] = 1;
                        m.devices.answerOverrides[kIoctlVolumeGetVolumeDiskExtents] = {extents};
                      },
                      R"({"/disks/0/system": false, "/disks/1/system": true})"},
        InventoryCase{"UsbBridgeCarryingSatGivesTheDrivesOwnSerial",
                      [](SimMachine& m) {
                        m.devices.physicalDrives[0] =
                            MakeSatBridge("BRIDGE-0001", "WD-WX12A3456789", "SATA HDD 2TB");
                        m.devices.physicalDrives[1] = MakeSatBridge("B2", "ATAPI", "DVD");
                        m.devices.physicalDrives[1].kind = DriveKind::kAtapi;
                      },
                      R"({"/disks/0/serial": "WD-WX12A3456789", "/disks/0/agree": false,
          "/disks/0/sources/2": {"name": "ata-identify", "ok": true, "serial": "WD-WX12A3456789",
                                 "model": "SATA HDD 2TB", "firmware": "1.0",
                                 "wwn": "0x50014ee2b1c2d3e4", "size": 2000398934016,
                                 "logical_sector_size": 512, "physical_sector_size": 4096,
                                 "rotational": true, "rotation_rate": 7200},
          "/disks/0/rotation_rate": 7200, "/disks/0/rotation_rate_source": "ata-identify",
          "/disks/0/physical_sector_size": 4096,
          "/disks/0/physical_sector_size_source": "ata-identify",
          "/disks/0/sources/8/error": "query: 1",
          "/disks/0/sources/3/serial": "BRIDGE-0001",
          "/disks/1/sources/2/error": "ata-pass-through: 1; sat-status: 2; smart-version: 1"})"},
        // IDENTIFY data whose bytes do not sum to 0 under the signature of
        // word 255 is its source's error, whichever way it came: the ATA
        // pass-through, SAT, SMART.
        InventoryCase{"IdentifyFailingItsChecksumIsTheSourcesError",
                      [](SimMachine& m) {
                        auto garbage = [](SimPhysicalDrive drive) {
                          drive.identify[510] = 0xA5;  // word 255's signature
                          unsigned sum = 0;
                          for (const std::uint8_t byte : drive.identify) sum += byte;
                          drive.identify[511] = static_cast<std::uint8_t>(1 - sum);
                          return drive;
                        };
                        m.devices.physicalDrives[0] = garbage(MakeSataDrive("GOOD-0", "DISK"));
                        m.devices.physicalDrives[1] =
                            garbage(MakeSatBridge("BRIDGE-1", "DRIVE-1", "DISK"));
                        m.devices.physicalDrives[2] = garbage(MakeAtaDrive("DRIVE-2", "DISK"));
                      },
                      R"({"/disks/0/serial": "GOOD-0", "/disks/0/serial_source": "scsi-vpd80",
          "/disks/0/sources/2/error": "identify-checksum: 1",
          "/disks/1/serial": "BRIDGE-1",
          "/disks/1/sources/2/error": "ata-pass-through: 1; identify-checksum: 1; smart-version: 1",
          "/disks/2/serial": null,
          "/disks/2/sources/2/error":
            "ata-pass-through: 1; sat-status: 2; identify-checksum: 1"})"},
        InventoryCase{"SatAnswerReadOnlyAsFarAsTransferred",
                      [](SimMachine& m) {
                        m.devices.physicalDrives[0] =
                            MakeSatBridge("B", "DRIVE-SERIAL-NUMBER", "M");
                        const IdentifyBlock block = MakeIdentifyBlock("DRIVE-SERIAL-NUMBER", "M");
                        Bytes sat(SCSI_PASS_THROUGH::kSize + 32, 0);
                        sat[SCSI_PASS_THROUGH::DataTransferLength.offset] = 34;
                        sat.insert(sat.end(), block.begin(), block.end());
                        m.devices.answerOverrides[kIoctlScsiPassThrough] = {sat};
                      },
                      R"({"/disks/0/sources/2": {"name": "ata-identify", "ok": true,
          "serial": "DRIVE-SERIAL-N", "model": null, "firmware": null}})"},
        InventoryCase{"DrivesRefusingIdentifyAndBusesBeyondTheNamedOnes",
                      [](SimMachine& m) {
                        m.devices.physicalDrives[0] = MakeAtapiDrive("CD", "DVD");
                        m.devices.physicalDrives[0].ataPassThrough = true;
                        m.devices.physicalDrives[1] = MakeAtaDrive("SMART-SERIAL", "DISK");
                        Bytes smart(SENDCMDOUTPARAMS::kIdentifyAnswerSize, 0);
                        smart[SENDCMDOUTPARAMS::DriverStatus.offset] = 1;  // SMART_IDE_ERROR
                        m.devices.answerOverrides[kSmartRcvDriveData] = {smart};
                        m.devices.physicalDrives[0].storageDescriptor =
                            MakeDeviceDescriptor(20, "", "", "", "");
                        m.devices.physicalDrives[1].storageDescriptor =
                            MakeDeviceDescriptor(21, "", "", "", "");
                      },
                      R"({"/disks/0/sources/2/error": "ata-status: 0x51",
          "/disks/1/sources/2/error":
            "ata-pass-through: 1; sat-status: 2; smart-driver-error: 1",
          "/disks/0/bus": "NVMeoF", "/disks/1/bus": "21"})"},
        InventoryCase{"GapInTheNumbering",
                      [](SimMachine& m) {
                        m.devices.physicalDrives[0] = MakeSataDrive("FIRST", "DISK");
                        m.devices.physicalDrives[2] = MakeSataDrive("THIRD", "DISK");
                      },
                      R"({"indexes": [0, 2], "/disks/1/serial": "THIRD"})"},
        InventoryCase{"DisksOnlyWmiKnowsAndOneBeyond63",
                      [](SimMachine& m) {
                        m.wmi.AddInventoryDisk(5, u"WMI-ONLY", u"Virtual Disk", u"");
                        m.devices.physicalDrives[70] = MakeSataDrive("SEVENTY", "DISK");
                        m.wmi.AddInventoryDisk(70, u"SEVENTY", u"DISK", u"1.0");
                      },
                      R"({"indexes": [5, 70], "/disks/0/bus": null, "/disks/0/removable": null,
          "/disks/0/serial_source": "wmi", "/disks/0/firmware": null,
          "/disks/0/sources/0/error": "open: 2", "/disks/0/sources/3/error": "open: 2",
          "/disks/1/serial_source": "ata-identify"})"},
        InventoryCase{"SourcesDisagreeAndTheOrderOfPreferenceDecides",
                      [](SimMachine& m) {
                        SimPhysicalDrive& drive = m.devices.physicalDrives[0] =
                            MakeSataDrive("ATA-SERIAL", "ATA MODEL");
                        drive.storageDescriptor =
                            MakeDeviceDescriptor(11, "", "DESC MODEL", "", "DESC-SERIAL");
                        drive.vpdPage = MakeVpdSerialPage("VPD-SERIAL");
                        m.wmi.AddInventoryDisk(0, u"WMI-SERIAL", u"WMI MODEL", u"");
                        m.devices.physicalDrives[1] = drive;
                        m.devices.physicalDrives[1].ataPassThrough = false;
                        m.devices.physicalDrives[1].smart = false;
                      },
                      R"({"/disks/0/serial": "ATA-SERIAL", "/disks/0/model": "ATA MODEL",
          "/disks/0/agree": false, "/disks/1/serial": "VPD-SERIAL",
          "/disks/1/model": "DESC MODEL", "/disks/1/agree": false})"},
        InventoryCase{"DescriptorTextsPastTheAnswerOrUnterminatedAtItsEnd",
                      Descriptor("DISK", "TAIL-SERIAL",
                                 [](Bytes& answer) {
                                   answer.pop_back();                    // the serial's terminator
                                   StoreLe32(answer.data() + 12, 5000);  // vendor
                                   StoreLe32(answer.data() + 20,         // revision
                                             static_cast<std::uint32_t>(answer.size()));
                                 }),
                      R"({"/disks/0/sources/0": {"name": "storage-descriptor", "ok": true,
          "serial": "TAIL-SERIAL", "model": "DISK", "firmware": null}})"},
        InventoryCase{"NvmeDataOffsetAndLengthBeyondTheAnswer",
                      [](SimMachine& m) {
                        m.devices.physicalDrives[0] = MakeNvmeDrive("", "NVME-FAR", "FAR MODEL");
                        StoreLe32(m.devices.physicalDrives[0].nvmeAnswer->data() + 24, 0xFFFFFFF0);
                        m.devices.physicalDrives[1] = MakeNvmeDrive("", "NVME-CUT", "CUT MODEL");
                        m.devices.physicalDrives[1].nvmeAnswer->resize(48 + 30);
                      },
                      R"({"/disks/0/sources/1/ok": true, "/disks/0/sources/1/serial": null,
          "/disks/0/model": "FAR MODEL", "/disks/1/sources/1": {"name": "nvme-identify",
          "ok": true, "serial": "NVME-CUT", "model": "CUT MO", "firmware": null}})"},
        InventoryCase{"AtaDataOffsetAndVpdPageLengthBeyondTheAnswer",
                      [](SimMachine& m) {
                        m.devices.physicalDrives[0] = MakeSataDrive("SATA-SERIAL", "DISK");
                        m.devices.physicalDrives[0].vpdPage = Bytes{0, 0x80, 0, 200, 'V', '1'};
                        Bytes ata(ATA_PASS_THROUGH_EX::kSize + kIdentifyBlockSize, 0);
                        StoreLe32(ata.data() + ATA_PASS_THROUGH_EX::DataBufferOffset.offset, 4000);
                        m.devices.answerOverrides[kIoctlAtaPassThrough] = {ata};
                      },
                      R"({"/disks/0/sources/3/serial": "V1", "/disks/0/sources/2": {
          "name": "ata-identify", "ok": true, "serial": null, "model": null, "firmware": null}})"},
        InventoryCase{"AnswersShorterThanTheirHeaders",
                      [](SimMachine& m) {
                        m.devices.physicalDrives[0] = MakeSataDrive("SATA-SERIAL", "DISK");
                        m.devices.physicalDrives[0].storageDescriptor = Bytes(6);
                        m.devices.physicalDrives[0].nvmeAnswer = Bytes(47);
                        m.devices.physicalDrives[0].nvmeProperty = 50;
                        m.devices.answerOverrides[kIoctlAtaPassThrough] = {Bytes(20)};
                        m.devices.answerOverrides[kIoctlScsiPassThrough] = {Bytes(10)};
                        m.devices.answerOverrides[kIoctlScsiGetAddress] = {Bytes(7)};
                        m.devices.physicalDrives[0].deviceIdDescriptor = Bytes(11);
                        m.devices.physicalDrives[0].alignmentDescriptor = Bytes(23);
                        m.devices.physicalDrives[0].seekPenaltyDescriptor = Bytes(8);
                        m.devices.physicalDrives[0].geometry = Bytes(31);
                      },
                      R"({"/disks/0/bus": null, "/disks/0/sources/0/error": "short: 6",
          "/disks/0/sources/1/error": "short: 47", "/disks/0/sources/2/error": "short: 20",
          "/disks/0/sources/3/error": "scsi-short: 10",
          "/disks/0/sources/5/error": "address-short: 7", "/disks/0/sources/6/error": "short: 11",
          "/disks/0/sources/7/error": "short: 23", "/disks/0/sources/8/error": "short: 8",
          "/disks/0/sources/9/error": "short: 31", "/disks/0/size": null})"},
        InventoryCase{"WmiFailingForEveryDisk",
                      [](SimMachine& m) {
                        Sata(m);
                        m.devices.physicalDrives[1] = MakeUsbBridge("USB-1", "USB Disk");
                        m.faults.FailEvery("ConnectServer");
                      },
                      R"({"/disks/0/sources/4": {"name": "wmi", "ok": false,
          "error": "ConnectServer: 0x80004005"},
          "/disks/1/sources/4/error": "ConnectServer: 0x80004005"})"},
        InventoryCase{"DeviceBytesBeyondAsciiAsTheirCodes", Descriptor("DISK\x01\xE9", "SN\x7F"),
                      R"({"/disks/0/model": "DISK\u0001\u00e9", "/disks/0/serial": "SN\u007f"})"},
        InventoryCase{
            "WmiTextsAsUtf8",
            [](SimMachine& m) { m.wmi.AddInventoryDisk(3, u"S\u00e9rie", u"Disque \u4e2d", u""); },
            R"({"indexes": [3], "/disks/0/serial": "S\u00e9rie",
          "/disks/0/model": "Disque \u4e2d"})"}),
    RowName());

// ListDisks is a library call: threads listing their own machines at once
// each get their own disks, read through the pass-through and SMART alike.
// Each thread first reads its IDENTIFY texts in a tight loop, where a
// process-wide buffer would be overwritten under it at once.
TEST(ListDisks, ThreadsListingAtOnceEachGetTheirOwnDisks) {
  const auto list = [](std::string serial, std::string& failure) {
    const IdentifyBlock block = MakeIdentifyBlock(serial, "DISK");
    for (int read = 0; read < 20000 && failure.empty(); ++read) {
      if (ReadIdentifyTexts(block).serial != serial) failure = "read " + std::to_string(read);
    }
    for (int run = 0; run < 20 && failure.empty(); ++run) {
      SimMachine m;
      for (int drive = 0; drive < 4; ++drive) {
        m.devices.physicalDrives[drive] = MakeSataDrive(serial + std::to_string(drive), "DISK");
        m.devices.physicalDrives[drive].ataPassThrough = drive % 2 == 0;
      }
      const DiskInventory inventory = ListDisks(m.platform);
      for (int drive = 0; drive < 4 && failure.empty(); ++drive) {
        const DiskEntry& disk = inventory.disks.at(static_cast<std::size_t>(drive));
        if (disk.sources.at(2).serial != serial + std::to_string(drive))
          failure = "run " + std::to_string(run) + ": " + disk.sources.at(2).serial.value_or("-");
      }
    }
  };
  std::string failures[2];
  std::thread first(list, "FIRST-MACHINE-", std::ref(failures[0]));
  std::thread second(list, "OTHER-COMPUTER-", std::ref(failures[1]));
  first.join();
  second.join();
  EXPECT_EQ(failures[0], "");
  EXPECT_EQ(failures[1], "");
}

// The requests with these codes (any, when none given) sent to
// \\.\PhysicalDriveN.
std::vector<RequestRecord> Requests(const SimMachine& m, int drive,
                                    const std::vector<std::uint32_t>& codes = {}) {
  std::vector<RequestRecord> found;
  for (const RequestRecord& request : m.devices.requests) {
    if (request.path == "\\\\.\\PhysicalDrive" + std::to_string(drive) &&
        (codes.empty() || std::find(codes.begin(), codes.end(), request.code) != codes.end()))
      found.push_back(request);
  }
  return found;
}

// One run's requests as the drivers received them: an NVMe drive whose
// adapter property fails, a drive missing, and a SATA drive whose port
// refuses ATA pass-through, so that SMART takes over.
void RequestsMachine(SimMachine& m) {
  m.devices.physicalDrives[0] = MakeNvmeDrive(kNvmeId, "NVME0R123456A", "NVMe SSD");
  m.devices.physicalDrives[0].nvmeProperty = kStorageDeviceProtocolSpecificProperty;
  // The third namespace, on logical unit 2.
  m.devices.physicalDrives[0].lun = 2;
  m.devices.physicalDrives[0].namespaceId = 3;
  m.devices.physicalDrives[2] = MakeSataDrive("SATA-SERIAL", "DISK");
  m.devices.physicalDrives[2].ataPassThrough = false;
  m.devices.volumeExtents.emplace();
  m.devices.volumeDeviceNumber = {.number = 2};
}

TEST(DiskRequests, CarryTheFieldsTheDriversRead) {
  SimMachine m;
  RequestsMachine(m);
  ASSERT_EQ(m.RunDisks({"--json"}), 0);
  constexpr std::uint32_t kAtaHeader = k64 ? 48 : 40, kScsiHeader = k64 ? 56 : 44;
  constexpr std::size_t kScsiCdb = k64 ? 36 : 28, kOffset = k64 ? 24 : 20, kPointer = k64 ? 8 : 4;
  const std::uint32_t query = kIoctlStorageQueryProperty, ata = kIoctlAtaPassThrough,
                      scsi = kIoctlScsiPassThrough;
  struct Row {
    const char* name;
    int drive;
    std::uint32_t code;
    std::size_t nth, offset, width;
    std::uint64_t value;
  };
  const Row rows[] = {
      {"DescriptorPropertyAndQueryType", 0, query, 0, 0, 8, 0},
      {"NvmeAdapterPropertyFirst", 0, query, 1, 0, 4, 49},
      {"NvmeDevicePropertyThen", 0, query, 2, 0, 4, 50},
      {"NvmeStandardQuery", 0, query, 2, 4, 4, 0},
      {"NvmeProtocolType", 0, query, 2, 8, 4, 3},
      {"NvmeDataTypeIdentify", 0, query, 2, 12, 4, 1},
      {"NvmeRequestValueController", 0, query, 2, 16, 4, 1},
      {"NvmeRequestSubValue", 0, query, 2, 20, 4, 0},
      {"NvmeProtocolDataOffset", 0, query, 2, 24, 4, 40},
      {"NvmeProtocolDataLength", 0, query, 2, 28, 4, 4096},
      {"NamespaceOfTheDeviceFirst", 0, query, 3, 0, 4, 50},
      {"NamespaceProtocolType", 0, query, 3, 8, 4, 3},
      {"NamespaceDataTypeIdentify", 0, query, 3, 12, 4, 1},
      {"NamespaceRequestValueNamespace", 0, query, 3, 16, 4, 0},
      {"NamespaceIdOneAboveTheLogicalUnit", 0, query, 3, 20, 4, 3},
      {"NamespaceProtocolDataOffset", 0, query, 3, 24, 4, 40},
      {"NamespaceProtocolDataLength", 0, query, 3, 28, 4, 4096},
      {"DeviceIdPropertyStandardQuery", 0, query, 4, 0, 8, 2},
      {"AccessAlignmentPropertyStandardQuery", 0, query, 5, 0, 8, 6},
      {"SeekPenaltyPropertyStandardQuery", 0, query, 6, 0, 8, 7},
      {"AtaLength", 2, ata, 0, 0, 2, kAtaHeader},
      {"AtaFlagsDrdyAndDataIn", 2, ata, 0, 2, 2, 3},
      {"AtaDataTransferLength", 2, ata, 0, 8, 4, 512},
      {"AtaDataBufferOffset", 2, ata, 0, kOffset, kPointer, kAtaHeader},
      {"AtaIdentifyDeviceCommand", 2, ata, 0, kAtaHeader - 2, 1, 0xEC},
      {"SatLength", 2, scsi, 0, 0, 2, kScsiHeader},
      {"SatCdbLength", 2, scsi, 0, 6, 1, 16},
      {"SatSenseLength", 2, scsi, 0, 7, 1, 32},
      {"SatDataIn", 2, scsi, 0, 8, 1, 1},
      {"SatDataTransferLength", 2, scsi, 0, 12, 4, 512},
      {"SatDataBufferOffset", 2, scsi, 0, kOffset, kPointer, kScsiHeader + 32},
      {"SatSenseInfoOffset", 2, scsi, 0, kOffset + kPointer, 4, kScsiHeader},
      {"ScsiLength", 2, scsi, 1, 0, 2, kScsiHeader},
      {"ScsiCdbLength", 2, scsi, 1, 6, 1, 6},
      {"ScsiDataIn", 2, scsi, 1, 8, 1, 1},
      {"ScsiInquiryEvpdPage80", 2, scsi, 1, kScsiCdb, 3, 0x800112},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<RequestRecord> sent = Requests(m, row.drive, {row.code});
    ASSERT_GT(sent.size(), row.nth);
    ASSERT_GE(sent[row.nth].input.size(), row.offset + row.width);
    std::uint64_t value = 0;
    for (std::size_t k = row.width; k-- > 0;)
      value = value << 8 | sent[row.nth].input[row.offset + k];
    EXPECT_EQ(value, row.value);
  }

  // The descriptor's query and answer apart; one buffer for each other
  // request, whose data fits in it.
  const std::vector<RequestRecord> queries = Requests(m, 0, {query});
  ASSERT_EQ(queries.size(), 7u);
  EXPECT_EQ(std::make_tuple(queries[0].inSize, queries[0].outSize, queries[0].sameBuffer),
            std::make_tuple(12u, 4096u, false));
  for (const std::size_t nvme : {2, 3})
    EXPECT_EQ(
        std::make_tuple(queries[nvme].inSize, queries[nvme].outSize, queries[nvme].sameBuffer),
        std::make_tuple(4144u, 4144u, true));
  for (const std::size_t property : {4, 5, 6})
    EXPECT_EQ(std::make_tuple(queries[property].inSize, queries[property].outSize),
              std::make_tuple(12u, 1024u));
  // The address and the geometry are asked with no input, into room for
  // the whole answer.
  for (const auto& [code, outSize] :
       {std::pair{kIoctlScsiGetAddress, 8u}, std::pair{kIoctlDiskGetDriveGeometryEx, 256u}}) {
    const std::vector<RequestRecord> sent = Requests(m, 0, {code});
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(std::make_tuple(sent[0].inSize, sent[0].input.size(), sent[0].outSize),
              std::make_tuple(0u, std::size_t{0}, outSize));
  }
  for (const RequestRecord& request : Requests(m, 2, {ata, scsi}))
    EXPECT_TRUE(request.sameBuffer && request.inSize == request.outSize);
  // ATA PASS-THROUGH (16): PIO data-in, from the device, one block counted
  // in the count field, IDENTIFY DEVICE.
  const Bytes sat = Requests(m, 2, {scsi}).at(0).input;
  EXPECT_EQ(Bytes(sat.begin() + kScsiCdb, sat.begin() + kScsiCdb + 16),
            (Bytes{0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0}));
  EXPECT_EQ(sat.size(), kScsiHeader + 32 + 512u);
  const Bytes header = Requests(m, 2, {scsi}).at(1).input;
  EXPECT_EQ(header[kScsiCdb + 3] << 8 | header[kScsiCdb + 4], LoadLe32(&header[12]))
      << "allocation length and transfer length";
  EXPECT_LE(LoadLe32(&header[kOffset]) + LoadLe32(&header[12]), header.size());
}

TEST(DiskRequests, OpenEachDriveWithoutRightsThenForReadingAndWritingAndCloseEachOnce) {
  SimMachine m;
  RequestsMachine(m);
  ASSERT_EQ(m.RunDisks({"--json"}), 0);
  std::map<std::string, std::vector<std::uint32_t>> access;
  std::vector<DeviceHandle> opened;
  for (const OpenRecord& open : m.devices.opens) {
    access[open.path].push_back(open.access);
    EXPECT_EQ(std::make_tuple(open.share, open.disposition, open.flags),
              std::make_tuple(3u, 3u, 0u));
    if (open.handle != kInvalidHandleValue) opened.push_back(open.handle);
  }
  EXPECT_EQ(access.size(), 65u);
  EXPECT_EQ(access["\\\\.\\C:"], std::vector<std::uint32_t>{0});
  EXPECT_EQ(access["\\\\.\\PhysicalDrive0"],
            (std::vector<std::uint32_t>{0, kGenericRead | kGenericWrite}));
  EXPECT_EQ(access["\\\\.\\PhysicalDrive1"], std::vector<std::uint32_t>{0});
  EXPECT_EQ(access["\\\\.\\PhysicalDrive63"], std::vector<std::uint32_t>{0});
  EXPECT_EQ(m.devices.closes, opened);
  EXPECT_EQ(m.wmi.queries, std::vector<std::string>{"SELECT * FROM Win32_DiskDrive"});

  // Drive 2's requests in order, the first ten on the handle without rights:
  // the descriptor, the NVMe controller's two queries, the address and the
  // namespace's two queries, the device id, alignment and seek penalty
  // properties, the geometry.
  std::vector<std::pair<std::uint32_t, bool>> order;
  for (const RequestRecord& request : Requests(m, 2))
    order.emplace_back(request.code, request.handle == opened[2]);
  const std::uint32_t query = kIoctlStorageQueryProperty;
  EXPECT_EQ(order,
            (std::vector<std::pair<std::uint32_t, bool>>{{query, true},
                                                         {query, true},
                                                         {query, true},
                                                         {kIoctlScsiGetAddress, true},
                                                         {query, true},
                                                         {query, true},
                                                         {query, true},
                                                         {query, true},
                                                         {query, true},
                                                         {kIoctlDiskGetDriveGeometryEx, true},
                                                         {kIoctlAtaPassThrough, false},
                                                         {kIoctlScsiPassThrough, false},
                                                         {kSmartGetVersion, false},
                                                         {kSmartRcvDriveData, false},
                                                         {kIoctlScsiPassThrough, false}}));

  // The system volume: its extents (none, as under Wine), then its device
  // number, each with no input and room for the whole answer.
  std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> volume;
  for (const RequestRecord& request : m.devices.requests) {
    if (request.path == kSystemVolumePath)
      volume.emplace_back(request.code, request.inSize, request.outSize);
  }
  EXPECT_EQ(volume, (std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>>{
                        {kIoctlVolumeGetVolumeDiskExtents, 0, 1544},
                        {kIoctlStorageGetDeviceNumber, 0, 12}}));
}

// The SMART fallback sends what method 1 sends for the same drive index.
TEST(DiskRequests, SmartFallbackIsMethod1sRequest) {
  SimMachine m, method1;
  RequestsMachine(m);
  RequestsMachine(method1);
  ASSERT_EQ(m.RunDisks({"--json"}), 0);
  HardDriveInfo(method1.platform).ReadPhysicalDriveWithSmart();
  const auto smart = [](const SimMachine& machine) {
    std::vector<std::tuple<std::uint32_t, Bytes, std::uint32_t, std::uint32_t>> sent;
    for (const RequestRecord& r : Requests(machine, 2, {kSmartGetVersion, kSmartRcvDriveData}))
      sent.emplace_back(r.code, r.input, r.inSize, r.outSize);
    return sent;
  };
  ASSERT_EQ(smart(m).size(), 2u);
  EXPECT_EQ(smart(m), smart(method1));
}

enum class Disks { kNone, kWithSerial, kWithoutSerial };
struct ProgramCase {
  const char* name;
  std::vector<const char*> arguments;
  std::uint32_t platformId;
  Disks disks;
  int status;
  std::string output;       // "usage", "json", "table", "prometheus" or nothing
  std::string errorOutput;  // "usage" stands for the usage text
};

class Program : public testing::TestWithParam<ProgramCase> {};

TEST_P(Program, ChecksItsArgumentsFirstAndExitsAsTheDisksSay) {
  const ProgramCase& c = GetParam();
  SimMachine help;
  ASSERT_EQ(help.RunDisks({"--help"}), 0);
  const std::string usage = help.console.output;
  EXPECT_EQ(usage.rfind("usage: hdsn-disks [--json | --prometheus] [--output FILE]\n"
                        "                  [--fingerprint [--salt TEXT]] [--help]\n",
                        0),
            0u);

  SimMachine m;
  m.system.platformId = c.platformId;
  if (c.disks != Disks::kNone)
    m.devices.physicalDrives[0] = MakeUsbBridge(c.disks == Disks::kWithSerial ? "USB-1" : "", "M");
  EXPECT_EQ(m.RunDisks(c.arguments), c.status);
  if (c.output == "json") {
    EXPECT_TRUE(json::accept(m.console.output)) << m.console.output;
  } else if (c.output == "table") {
    EXPECT_NE(m.console.output.find("\nSystem volume C:\\ serial 43000000\n"), std::string::npos);
  } else if (c.output == "prometheus") {
    EXPECT_EQ(m.console.output.rfind("# HELP hdsn_disk_info ", 0), 0u) << m.console.output;
  } else {
    EXPECT_EQ(m.console.output, c.output == "usage" ? usage : "");
  }
  std::string errorOutput = c.errorOutput;
  if (const std::size_t at = errorOutput.find("usage"); at != std::string::npos)
    errorOutput.replace(at, 5, usage);
  EXPECT_EQ(m.console.errorOutput, errorOutput);
  // Only a run that lists the disks asks a device or WMI.
  const bool lists = c.output == "json" || c.output == "table" || c.output == "prometheus";
  EXPECT_EQ(!m.devices.opens.empty(), lists);
  EXPECT_EQ(!m.wmi.calls.empty(), lists);
  EXPECT_EQ(m.console.getCharCalls, 0);
  // No row writes a file: a usage error or --help stops before one.
  EXPECT_EQ(m.files.calls, std::vector<std::string>{});
  EXPECT_TRUE(NothingLeftBehind(m));
}

constexpr std::uint32_t kNt = kVerPlatformWin32Nt, k9x = kVerPlatformWin32Windows;
INSTANTIATE_TEST_SUITE_P(
    Cases, Program,
    testing::Values(
        ProgramCase{"Help", {"--help"}, kNt, Disks::kWithSerial, 0, "usage", ""},
        ProgramCase{"HelpWithJson", {"--json", "--help"}, kNt, Disks::kNone, 0, "usage", ""},
        ProgramCase{"TableOfADiskWithSerial", {}, kNt, Disks::kWithSerial, 0, "table", ""},
        ProgramCase{"TableOfNoDisk", {}, kNt, Disks::kNone, 1, "table", ""},
        ProgramCase{
            "JsonOfADiskWithoutSerial", {"--json"}, kNt, Disks::kWithoutSerial, 1, "json", ""},
        ProgramCase{"JsonOfNoDisk", {"--json"}, kNt, Disks::kNone, 1, "json", ""},
        ProgramCase{"UnknownOption",
                    {"--bogus"},
                    kNt,
                    Disks::kWithSerial,
                    2,
                    "",
                    "hdsn-disks: unknown option '--bogus'\nusage"},
        ProgramCase{"UnknownOptionAfterHelp",
                    {"--help", "/?"},
                    kNt,
                    Disks::kNone,
                    2,
                    "",
                    "hdsn-disks: unknown option '/?'\nusage"},
        ProgramCase{"UnknownOptionNotNt",
                    {"-json"},
                    k9x,
                    Disks::kNone,
                    2,
                    "",
                    "hdsn-disks: unknown option '-json'\nusage"},
        ProgramCase{"PrometheusOfADiskWithoutSerial",
                    {"--prometheus"},
                    kNt,
                    Disks::kWithoutSerial,
                    1,
                    "prometheus",
                    ""},
        ProgramCase{"OutputWithoutItsFile",
                    {"--json", "--output"},
                    kNt,
                    Disks::kWithSerial,
                    2,
                    "",
                    "hdsn-disks: --output needs a file name\nusage"},
        ProgramCase{"OutputOfAnEmptyName",
                    {"--output", "", "--json"},
                    kNt,
                    Disks::kWithSerial,
                    2,
                    "",
                    "hdsn-disks: --output needs a file name\nusage"},
        ProgramCase{"JsonAndPrometheus",
                    {"--prometheus", "--json"},
                    kNt,
                    Disks::kWithSerial,
                    2,
                    "",
                    "hdsn-disks: --json and --prometheus exclude each other\nusage"},
        ProgramCase{"HelpWithOutput",
                    {"--output", "C:\\metrics\\hdsn.prom", "--help"},
                    kNt,
                    Disks::kWithSerial,
                    0,
                    "usage",
                    ""},
        ProgramCase{"SaltWithoutItsValue",
                    {"--fingerprint", "--salt"},
                    kNt,
                    Disks::kWithSerial,
                    2,
                    "",
                    "hdsn-disks: option '--salt' needs a value\nusage"},
        ProgramCase{"SaltWithoutFingerprint",
                    {"--salt", "--fingerprint-like-salt"},
                    kNt,
                    Disks::kWithSerial,
                    2,
                    "",
                    "hdsn-disks: option '--salt' needs '--fingerprint'\nusage"},
        ProgramCase{"FingerprintAndPrometheus",
                    {"--fingerprint", "--prometheus"},
                    kNt,
                    Disks::kWithSerial,
                    2,
                    "",
                    "hdsn-disks: --fingerprint and --prometheus exclude each other\nusage"},
        ProgramCase{"FingerprintNotNt",
                    {"--fingerprint"},
                    k9x,
                    Disks::kWithSerial,
                    1,
                    "",
                    "hdsn-disks: needs Windows NT\n"},
        ProgramCase{"NotNt", {}, k9x, Disks::kWithSerial, 1, "", "hdsn-disks: needs Windows NT\n"},
        ProgramCase{"NotNtWithOutput",
                    {"--output", "C:\\metrics\\hdsn.prom"},
                    k9x,
                    Disks::kWithSerial,
                    1,
                    "",
                    "hdsn-disks: needs Windows NT\n"},
        ProgramCase{"NotNtJson",
                    {"--json"},
                    k9x,
                    Disks::kWithSerial,
                    1,
                    "",
                    "hdsn-disks: needs Windows NT\n"}),
    RowName());

TEST(DisksTable, ListsEachDiskThenTheDisagreementsThenTheSystemVolume) {
  SimMachine m;
  Nvme(m);
  m.devices.administrator = true;
  m.devices.physicalDrives[1] = MakeSataDrive("WD-WCAV12345678", "SATA SSD 500");
  m.system.volumeSerials = {{"C:\\", 0x5C1D2E3F}};
  m.devices.volumeDeviceNumber = {.number = 1};
  EXPECT_EQ(m.RunDisks(), 0);
  EXPECT_EQ(m.console.output,
            "Disk  Bus     Size  Serial           Model         Firmware  Source\n"
            "0     NVMe  931.5G  NVME0R123456A    NVMe SSD 1TB  NV-FW-01  nvme-identify\n"
            "1*    SATA  465.8G  WD-WCAV12345678  SATA SSD 500  1.0       ata-identify\n"
            "* holds the system volume C:\\\n"
            "\n"
            "Disk 0 sources disagree: storage-descriptor \"0025_3881_91B2_1234.\", nvme-identify "
            "\"NVME0R123456A\", wmi \"0025_3881_91B2_1234.\"\n"
            "System volume C:\\ serial 5c1d2e3f\n");
  EXPECT_EQ(m.console.flushedLength, m.console.output.size());
}

// The Prometheus text of the table's machine: the families, their order,
// the labels' order and the escapes of Windows' device paths and roots.
TEST(DisksPrometheus, WritesEachFamilyWithItsHelpAndType) {
  SimMachine m;
  Nvme(m);
  m.devices.administrator = true;
  m.devices.physicalDrives[1] = MakeSataDrive("WD-WCAV12345678", "SATA SSD 500");
  m.system.volumeSerials = {{"C:\\", 0x5C1D2E3F}};
  m.devices.volumeDeviceNumber = {.number = 1};
  EXPECT_EQ(m.RunDisks({"--prometheus"}), 0);
  EXPECT_EQ(
      m.console.output,
      "# HELP hdsn_disk_info A disk of this machine with its serial number, model, firmware "
      "and world wide name, the source of the serial and whether the disk holds the system "
      "volume; an empty label is unknown.\n"
      "# TYPE hdsn_disk_info gauge\n"
      "hdsn_disk_info{device=\"\\\\\\\\.\\\\PhysicalDrive0\",bus=\"NVMe\",serial=\"NVME0R123456A\","
      "serial_source=\"nvme-identify\",model=\"NVMe SSD 1TB\",firmware=\"NV-FW-01\",wwn=\"\","
      "system=\"false\"} 1\n"
      "hdsn_disk_info{device=\"\\\\\\\\.\\\\PhysicalDrive1\",bus=\"SATA\",serial=\"WD-"
      "WCAV12345678\","
      "serial_source=\"ata-identify\",model=\"SATA SSD 500\",firmware=\"1.0\","
      "wwn=\"0x5000c500a1b2c3d4\",system=\"true\"} 1\n"
      "# HELP hdsn_disk_size_bytes A disk's size in bytes, where a source gave it.\n"
      "# TYPE hdsn_disk_size_bytes gauge\n"
      "hdsn_disk_size_bytes{device=\"\\\\\\\\.\\\\PhysicalDrive0\"} 1000204886016\n"
      "hdsn_disk_size_bytes{device=\"\\\\\\\\.\\\\PhysicalDrive1\"} 500107862016\n"
      "# HELP hdsn_disk_sources_agree 1 when every source that gave a disk's serial number "
      "gave the same one, else 0.\n"
      "# TYPE hdsn_disk_sources_agree gauge\n"
      "hdsn_disk_sources_agree{device=\"\\\\\\\\.\\\\PhysicalDrive0\"} 0\n"
      "hdsn_disk_sources_agree{device=\"\\\\\\\\.\\\\PhysicalDrive1\"} 1\n"
      "# HELP hdsn_system_volume_info The system volume's root and serial number (on Linux "
      "the UUID of the root file system); an empty label is unknown.\n"
      "# TYPE hdsn_system_volume_info gauge\n"
      "hdsn_system_volume_info{root=\"C:\\\\\",serial=\"5c1d2e3f\"} 1\n");
}

// The document's bytes: key order, line breaks and the escapes of device
// paths are what scripts read.
TEST(DisksJson, WritesEveryKeyInItsPlace) {
  SimMachine m;
  m.devices.physicalDrives[0] = MakeUsbBridge("USB-1", "USB Disk");
  m.system.volumeSerials = {{"C:\\", 0x0C1D2E3F}};
  EXPECT_EQ(m.RunDisks({"--json"}), 0);
  EXPECT_EQ(
      m.console.output,
      "{\"schema_version\": 3,\n"
      " \"disks\": [\n"
      "  {\"index\": 0, \"device\": \"\\\\\\\\.\\\\PhysicalDrive0\", \"bus\": \"USB\", "
      "\"removable\": true, \"system\": null,\n"
      "   \"serial\": \"USB-1\", \"serial_source\": \"scsi-vpd80\", \"serial_kind\": \"serial\",\n"
      "   \"model\": \"USB Disk\", \"firmware\": \"0001\", \"agree\": true,\n"
      "   \"wwn\": null, \"wwn_source\": null, \"eui64\": null, \"eui64_source\": null,\n"
      "   \"nguid\": null, \"nguid_source\": null, \"uuid\": null, \"uuid_source\": null,\n"
      "   \"size\": 17179869184, \"size_source\": \"disk-geometry\",\n"
      "   \"logical_sector_size\": 512, \"logical_sector_size_source\": \"access-alignment\",\n"
      "   \"physical_sector_size\": 512, \"physical_sector_size_source\": \"access-alignment\",\n"
      "   \"rotational\": null, \"rotational_source\": null, \"rotation_rate\": null, "
      "\"rotation_rate_source\": null,\n"
      "   \"shared_with\": {},\n"
      "   \"sources\": [\n"
      "     {\"name\": \"storage-descriptor\", \"ok\": true, \"serial\": null, \"model\": "
      "\"USB Disk\", \"firmware\": \"0001\"},\n"
      "     {\"name\": \"nvme-identify\", \"ok\": false, \"error\": \"query: 1\"},\n"
      "     {\"name\": \"ata-identify\", \"ok\": false, \"error\": \"ata-pass-through: 1; "
      "sat-status: 2; smart-version: 1\"},\n"
      "     {\"name\": \"scsi-vpd80\", \"ok\": true, \"serial\": \"USB-1\", \"model\": null, "
      "\"firmware\": null},\n"
      "     {\"name\": \"wmi\", \"ok\": true, \"serial\": null, \"model\": null, "
      "\"firmware\": null},\n"
      "     {\"name\": \"nvme-namespace\", \"ok\": false, \"error\": \"address: 1\"},\n"
      "     {\"name\": \"scsi-vpd83\", \"ok\": false, \"error\": \"query: 1\"},\n"
      "     {\"name\": \"access-alignment\", \"ok\": true, \"serial\": null, \"model\": null, "
      "\"firmware\": null, \"logical_sector_size\": 512, \"physical_sector_size\": 512},\n"
      "     {\"name\": \"seek-penalty\", \"ok\": false, \"error\": \"query: 1\"},\n"
      "     {\"name\": \"disk-geometry\", \"ok\": true, \"serial\": null, \"model\": null, "
      "\"firmware\": null, \"size\": 17179869184, \"logical_sector_size\": 512}]}],\n"
      " \"system_volume\": {\"root\": \"C:\\\\\", \"serial\": \"c1d2e3f\"}}\n");
}

}  // namespace
}  // namespace hdsn::sim
