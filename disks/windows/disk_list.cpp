#include "disks/windows/disk_list.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "disks/windows/sources.h"
#include "disks/windows/wmi_disk_drives.h"
#include "platform/platform.h"
#include "platform/system_volume.h"

namespace hdsn {
namespace {

// \\.\PhysicalDrive0 to 63: Windows numbers disks from 0 and may leave gaps.
constexpr int kPhysicalDrives = 64;
constexpr char kPhysicalDrivePrefix[] = "\\\\.\\PhysicalDrive";

DiskSource WmiSource(const WmiDiskDrives& wmi, int index) {
  if (!wmi.ok) return Refused(kSourceWmi, wmi.error);
  // A disk WMI does not list, after a query that succeeded, has no texts.
  const auto drive = wmi.drives.find(index);
  return Answered(kSourceWmi, drive != wmi.drives.end() ? drive->second : SourceTexts{});
}

}  // namespace

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
    disk.bus = device.bus;
    disk.removable = device.removable;
    disk.sources = {std::move(device.descriptor),  std::move(device.nvme),
                    std::move(device.ata),         std::move(device.vpd),
                    WmiSource(wmi, index),         std::move(device.nvmeNamespace),
                    std::move(device.deviceId),    std::move(device.alignment),
                    std::move(device.seekPenalty), std::move(device.geometry)};
    SettleDisk(disk);
  }
  MarkSharedIdentifiers(inventory);

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

}  // namespace hdsn
