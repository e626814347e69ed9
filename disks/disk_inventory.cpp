#include "inventory/disk_inventory.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>
#include <string>

#include "app/system_volume.h"
#include "inventory/device_sources.h"
#include "inventory/wmi_disk_drives.h"
#include "platform/platform.h"

namespace hdsn {
namespace {

// \\.\PhysicalDrive0 to 63: Windows numbers disks from 0 and may leave gaps.
constexpr int kPhysicalDrives = 64;
constexpr char kPhysicalDrivePrefix[] = "\\\\.\\PhysicalDrive";

// The sources of both systems in the order their texts are preferred: the
// drive's own identify data first, then what the system keeps of it, WMI and
// udev last.
constexpr const char* kPreference[] = {
    kSourceAtaIdentify, kSourceNvmeIdentify, kSourceScsiVpd80, kSourceStorageDescriptor,
    kSourceSysfs,       kSourceWmi,          kSourceUdev};

const DiskSource* FindSource(const DiskEntry& disk, const char* name) {
  for (const DiskSource& source : disk.sources) {
    if (source.name == name) return &source;
  }
  return nullptr;
}

// The first text the sources give, in the order of preference.
void Settle(const DiskEntry& disk, std::optional<std::string> DiskSource::*field,
            std::optional<std::string>& text, std::string& from) {
  for (const char* name : kPreference) {
    const DiskSource* source = FindSource(disk, name);
    if (source == nullptr || !source->ok || !(source->*field)) continue;
    text = source->*field;
    from = name;
    return;
  }
}

DiskSource WmiSource(const WmiDiskDrives& wmi, int index) {
  DiskSource source;
  source.name = kSourceWmi;
  source.ok = wmi.ok;
  source.error = wmi.error;
  const auto drive = wmi.drives.find(index);
  if (wmi.ok && drive != wmi.drives.end()) {
    source.serial = drive->second.serial;
    source.model = drive->second.model;
    source.firmware = drive->second.firmware;
  }
  return source;
}

}  // namespace

void SettleDisk(DiskEntry& disk) {
  disk.serial.reset();
  disk.model.reset();
  disk.firmware.reset();
  disk.serialSource.clear();
  disk.modelSource.clear();
  disk.firmwareSource.clear();
  Settle(disk, &DiskSource::serial, disk.serial, disk.serialSource);
  Settle(disk, &DiskSource::model, disk.model, disk.modelSource);
  Settle(disk, &DiskSource::firmware, disk.firmware, disk.firmwareSource);
  disk.agree = true;
  for (const DiskSource& source : disk.sources) {
    if (source.ok && source.serial && disk.serial && *source.serial != *disk.serial)
      disk.agree = false;
  }
}

DiskInventory ListDisks(const Platform& platform) {
  DiskInventory inventory;
  // WMI first: the disks it knows beyond the numbers tried anyway are
  // opened as well.
  const WmiDiskDrives wmi = QueryWmiDiskDrives(platform.wmi, platform.text);
  std::set<int> indexes;
  for (int index = 0; index < kPhysicalDrives; ++index) indexes.insert(index);
  for (const auto& [index, texts] : wmi.drives) indexes.insert(index);

  for (const int index : indexes) {
    DeviceSources device = AskDevice(platform.devices, platform.text, index);
    if (!device.present && wmi.drives.count(index) == 0) continue;
    DiskEntry& disk = inventory.disks.emplace_back();
    disk.index = index;
    disk.device = kPhysicalDrivePrefix + std::to_string(index);
    disk.busType = device.busType;
    disk.removable = device.removable;
    disk.sources = {std::move(device.descriptor), std::move(device.nvme), std::move(device.ata),
                    std::move(device.vpd), WmiSource(wmi, index)};
    SettleDisk(disk);
  }

  char root[kSystemRootSize];
  std::uint32_t serial = 0;
  const bool volumeRead = ReadSystemVolume(platform.system, root, serial);
  // An empty root would have asked for the current directory's volume.
  if (root[0] == '\0') return inventory;
  inventory.systemVolume.root = root;
  if (volumeRead) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(serial));
    inventory.systemVolume.serial = text;
  }
  if (const auto systemDisks = AskVolumeDisks(platform.devices, root)) {
    for (DiskEntry& disk : inventory.disks) {
      disk.system = std::find(systemDisks->begin(), systemDisks->end(),
                              static_cast<std::uint32_t>(*disk.index)) != systemDisks->end();
    }
  }
  return inventory;
}

std::string BusTypeName(std::uint32_t busType) {
  static constexpr const char* kNames[] = {
      "Unknown", "SCSI",  "ATAPI", "ATA",  "1394",  "SSA", "Fibre",   "USB",
      "RAID",    "iSCSI", "SAS",   "SATA", "SD",    "MMC", "Virtual", "FileBackedVirtual",
      "Spaces",  "NVMe",  "SCM",   "UFS",  "NVMeoF"};
  if (busType < std::size(kNames)) return kNames[busType];
  return std::to_string(busType);
}

}  // namespace hdsn
