// The sources of one Linux disk, and the file helpers they share with the
// disk list. Each source reads what the kernel publishes to everyone first
// and opens the device node (which needs root) only when that is missing;
// `via` names the file or node it used.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "disks/disk_inventory.h"

namespace hdsn {

class LinuxSystemInterface;

// The error of a source that has nothing to ask of this kind of disk.
inline constexpr char kNotApplicable[] = "not applicable";
inline constexpr char kNoUdevDatabase[] = "no udev database";

// The bytes of a file, at most `limit`; error names the failed step and its
// errno ("open: 2", "read: 5"), empty when the file was read. `cut`: the
// file held more than the limit, and bytes are its first `limit`.
struct FileRead {
  std::string error;
  std::string bytes;
  bool cut = false;
};
FileRead ReadLinuxFile(LinuxSystemInterface& system, const std::string& path, std::size_t limit);
// A one-line attribute of sysfs, at most a page.
FileRead ReadAttribute(LinuxSystemInterface& system, const std::string& path);

// udev's database entry of a block device ("/run/udev/data/b8:0"): a few
// hundred bytes, a big one a few kilobytes.
inline constexpr std::size_t kUdevEntryLimit = 64 * 1024;
std::string UdevEntryPath(unsigned major, unsigned minor);

struct LinuxDisk {
  std::string name;    // "sda"
  std::string node;    // "/dev/sda"
  std::string device;  // /sys/block/<name>/device with its links followed
  std::optional<std::pair<unsigned, unsigned>> numbers;  // major:minor
  std::optional<Bus> bus;    // as its place in sysfs tells; none when it tells nothing
  bool scsi = false;         // a SCSI disk: its node answers SG_IO
  bool virtioBlock = false;  // virtio-blk: its serial is the block device's own attribute
  // A USB disk of usb-storage (Bulk-Only), not of uas: the kernel asks it
  // for no VPD page, since some bridges hang on them.
  bool usbStorage = false;
  std::string ataDevice;  // "dev1.0" for a disk of libata, "dev1.2.0" behind a port multiplier
  // "nvme0": the namespace's controller, or with native multipath every
  // controller of its subsystem, in natural order.
  std::vector<std::string> nvmeControllers;
  std::string usbDevice;  // the USB device the disk is part of, in sysfs
};

DiskSource AskSysfs(LinuxSystemInterface& system, const LinuxDisk& disk);
DiskSource AskLinuxNvme(LinuxSystemInterface& system, const LinuxDisk& disk);
DiskSource AskLinuxAta(LinuxSystemInterface& system, const LinuxDisk& disk);
DiskSource AskLinuxVpd(LinuxSystemInterface& system, const LinuxDisk& disk);
// udevDatabase: whether /run/udev/data exists.
DiskSource AskUdev(LinuxSystemInterface& system, const LinuxDisk& disk, bool udevDatabase);
// The identity's own: nvme-namespace (an NVMe namespace's identifiers, size
// and block size), scsi-vpd83 (the device identification page) and
// scsi-vpdb1 (the block device characteristics page).
DiskSource AskLinuxNamespace(LinuxSystemInterface& system, const LinuxDisk& disk);
DiskSource AskLinuxDeviceId(LinuxSystemInterface& system, const LinuxDisk& disk);
DiskSource AskLinuxBlockCharacteristics(LinuxSystemInterface& system, const LinuxDisk& disk);

}  // namespace hdsn
