// The disk inventory: every disk Windows numbers, each asked through every
// source that can name its serial number, with no administrator rights
// needed for the first two. Plain structures, so that another program can
// embed the inventory and format it as it likes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hdsn {

struct Platform;
struct LinuxPlatform;

// The sources, in the order each disk is asked.
inline constexpr char kSourceStorageDescriptor[] = "storage-descriptor";
inline constexpr char kSourceNvmeIdentify[] = "nvme-identify";
inline constexpr char kSourceAtaIdentify[] = "ata-identify";
inline constexpr char kSourceScsiVpd80[] = "scsi-vpd80";
inline constexpr char kSourceWmi[] = "wmi";
// Linux asks sysfs first and the udev database last, in their places.
inline constexpr char kSourceSysfs[] = "sysfs";
inline constexpr char kSourceUdev[] = "udev";

// What one source said of one disk. Texts from the devices are their bytes
// as the drive gave them (trimmed, decoded where hex-encoded); texts from WMI
// are UTF-8. A text the source did not give is empty (nullopt).
struct DiskSource {
  std::string name;  // one of the kSource names
  bool ok = false;   // whether the request succeeded
  // The file or device node the answer came from or was last tried; only
  // inventories whose sourcesHaveVia is set give it.
  std::optional<std::string> via;
  std::string error;  // when not ok: the step that failed and its code, e.g. "open: 5"
  std::optional<std::string> serial;
  std::optional<std::string> model;
  std::optional<std::string> firmware;
};

struct DiskEntry {
  // N of \\.\PhysicalDriveN, or WMI's Index; nullopt where the system does
  // not number its disks so.
  std::optional<int> index;
  std::string device;  // the path the disk is opened by, e.g. \\.\PhysicalDrive0
  // STORAGE_BUS_TYPE and RemovableMedia of the device descriptor; nullopt
  // when the descriptor query failed.
  std::optional<std::uint32_t> busType;
  std::optional<bool> removable;
  // Whether the disk holds (part of) the system volume; nullopt for every
  // disk when that could not be found out.
  std::optional<bool> system;
  // The first serial, model and firmware given, sources taken in the order
  // ata-identify, nvme-identify, scsi-vpd80, storage-descriptor (Linux:
  // sysfs), wmi (Linux: udev), and the name of the source each came from.
  std::optional<std::string> serial;
  std::string serialSource;
  std::optional<std::string> model;
  std::string modelSource;
  std::optional<std::string> firmware;
  std::string firmwareSource;
  // Every source that gave a serial gave the same text (true when fewer
  // than two did).
  bool agree = true;
  std::vector<DiskSource> sources;  // in the order asked, all five
};

// Texts as they are printed; nullopt when unknown.
struct SystemVolume {
  std::optional<std::string> root;    // e.g. "C:\\"
  std::optional<std::string> serial;  // e.g. "5c1d2e3f": the volume serial in hex
};

struct DiskInventory {
  std::vector<DiskEntry> disks;  // by ascending index
  SystemVolume systemVolume;
  // Whether each source names the file or device node it asked (via).
  bool sourcesHaveVia = false;
};

// Asks every disk through every source. Needs the NT family (the caller
// checks); opens and releases everything it uses before it returns.
DiskInventory ListDisks(const Platform& platform);
// Every whole disk of /sys/block that sits on a device, in the natural order
// of the kernel's names, each asked through the Linux sources (sysfs,
// nvme-identify, ata-identify, scsi-vpd80, udev); index is null, device the
// node ("/dev/sda"). Linux builds only.
DiskInventory ListDisks(const LinuxPlatform& platform);

// Sets the disk's serial, model and firmware and their sources from its
// sources, and whether they agree, as ListDisks does.
void SettleDisk(DiskEntry& disk);

// The name of a STORAGE_BUS_TYPE value ("SCSI", "NVMe"...), or the number
// as text when it has none.
std::string BusTypeName(std::uint32_t busType);

}  // namespace hdsn
