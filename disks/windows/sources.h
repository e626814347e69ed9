// The device sources of one disk, asked through the disk's
// \\.\PhysicalDriveN: first on a handle opened with no access rights (the
// storage descriptor, the NVMe identify data of the controller and of the
// namespace, the storage stack's copy of the device identification page,
// the access alignment and seek penalty properties and the drive geometry),
// then on one opened for reading and writing, which needs administrator
// rights (ATA identify data, with SMART as the fallback, and the SCSI unit
// serial number page).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disks/disk_inventory.h"

namespace hdsn {

class DeviceIoInterface;
class TextInterface;

struct DeviceSources {
  // Whether the disk opened with no access rights: a disk that did not is
  // not there, unless WMI knows it.
  bool present = false;
  // From the storage descriptor; nullopt when it could not be read.
  std::optional<DiskBus> bus;
  std::optional<bool> removable;
  DiskSource descriptor;
  DiskSource nvme;
  DiskSource ata;
  DiskSource vpd;
  DiskSource nvmeNamespace;
  DiskSource deviceId;
  DiskSource alignment;
  DiskSource seekPenalty;
  DiskSource geometry;
};

DeviceSources AskDevice(DeviceIoInterface& devices, TextInterface& text, int index);

// The numbers of the disks that hold the volume of a root such as "C:\\",
// asked of the volume's device (\\.\C:): every disk of its extents or,
// when it gives none, its device number. None when neither answers.
std::optional<std::vector<std::uint32_t>> AskVolumeDisks(DeviceIoInterface& devices,
                                                         const std::string& root);

}  // namespace hdsn
