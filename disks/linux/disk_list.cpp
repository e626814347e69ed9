// The disk inventory of Linux: every whole disk of /sys/block that sits on
// a device, where it sits, whether it holds "/", and its eight sources.
#include "disks/linux/disk_list.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "disks/linux/readers.h"
#include "disks/linux/sources.h"
#include "platform/linux_system.h"
#include "protocol/text.h"

namespace hdsn {
namespace {

// mountinfo is a line per mount: a few hundred on a busy container host.
constexpr std::size_t kMountinfoLimit = 1024 * 1024;
constexpr std::size_t kBlkidCacheLimit = 1024 * 1024;
// dm on md on partitions is three levels, a loop device's file on such a
// stack twice that; loops of slaves do not exist, but a broken tree must not
// recurse for ever.
constexpr int kMaxStackDepth = 16;

// Block devices that are not disks: they have no `device`, and are skipped
// by name as well so that their trees are not even looked at.
constexpr std::string_view kVirtualPrefixes[] = {"loop", "ram", "zram", "dm-", "md", "nbd"};

// File systems on no disk at all: in memory, or on another machine.
constexpr std::string_view kDisklessFileSystems[] = {"rootfs", "tmpfs", "ramfs", "nfs",
                                                     "nfs4",   "cifs",  "smb3"};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// prefix followed by a number: "ata3", "nvme0", "usb2".
bool NamedNumber(std::string_view name, std::string_view prefix) {
  return StartsWith(name, prefix) && AllDigits(name.substr(prefix.size()));
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  while (true) {
    const std::size_t end = text.find(separator);
    parts.push_back(text.substr(0, end));
    if (end == std::string_view::npos) return parts;
    text.remove_prefix(end + 1);
  }
}

// A SCSI device's name, host:channel:target:lun.
bool IsScsiAddress(std::string_view name) {
  const std::vector<std::string_view> parts = Split(name, ':');
  return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), AllDigits);
}

// A USB device (not an interface, not a root hub): "2-1", "1-1.4.2".
bool IsUsbDevice(std::string_view name) {
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || !AllDigits(name.substr(0, dash))) return false;
  const std::vector<std::string_view> ports = Split(name.substr(dash + 1), '.');
  return std::all_of(ports.begin(), ports.end(), AllDigits);
}

// A USB interface: "2-1:1.0", its device's name, then configuration and
// interface.
bool IsUsbInterface(std::string_view name) {
  const std::size_t colon = name.find(':');
  return colon != std::string_view::npos && IsUsbDevice(name.substr(0, colon));
}

// An eMMC's boot areas and its replay-protected area: block devices of the
// card beside its user area, which is the disk.
bool IsMmcArea(std::string_view name) {
  if (!StartsWith(name, "mmcblk")) return false;
  name.remove_prefix(6);
  const std::size_t digits = name.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string_view::npos) return false;
  const std::string_view area = name.substr(digits);
  return area == "rpmb" || NamedNumber(area, "boot");
}

// The path device of NVMe native multipath: controller Y's way to namespace
// Z of subsystem X. The kernel hides it; kernels without the `hidden`
// attribute are known by the name.
bool IsNvmePath(std::string_view name) {
  if (!StartsWith(name, "nvme")) return false;
  const std::size_t c = name.find('c');
  const std::size_t n = name.find('n', 4);
  return c != std::string_view::npos && n != std::string_view::npos && c < n &&
         AllDigits(name.substr(4, c - 4)) && AllDigits(name.substr(c + 1, n - c - 1)) &&
         AllDigits(name.substr(n + 1));
}

std::string Parent(const std::string& path) { return path.substr(0, path.rfind('/')); }
std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::optional<std::pair<unsigned, unsigned>> DeviceNumbers(std::string_view text) {
  const std::string trimmed = TrimText(text.substr(0, text.find('\n')));
  const std::size_t colon = trimmed.find(':');
  if (colon == std::string::npos || colon > 9 || trimmed.size() - colon - 1 > 9)
    return std::nullopt;
  const std::string_view major = std::string_view(trimmed).substr(0, colon);
  const std::string_view minor = std::string_view(trimmed).substr(colon + 1);
  if (!AllDigits(major) || !AllDigits(minor)) return std::nullopt;
  return std::make_pair(static_cast<unsigned>(std::stoul(std::string(major))),
                        static_cast<unsigned>(std::stoul(std::string(minor))));
}

std::string Attribute(LinuxSystemInterface& system, const std::string& path) {
  const FileRead file = ReadAttribute(system, path);
  return file.error.empty() ? TrimText(file.bytes.substr(0, file.bytes.find('\n'))) : "";
}

// The controllers of an NVMe namespace: its device is the controller
// itself, or with native multipath the subsystem, which holds a link to each
// of its controllers. Whether they are reached over a fabric is told by
// where the (first) controller sits.
void FindNvmeControllers(LinuxSystemInterface& system, LinuxDisk& disk, bool fabrics) {
  const std::string name = BaseName(disk.device);
  if (NamedNumber(name, "nvme")) {
    disk.nvmeControllers = {name};
  } else {
    std::vector<std::string> entries;
    if (system.ListDirectory(disk.device.c_str(), entries) == 0) {
      for (const std::string& entry : entries) {
        if (NamedNumber(entry, "nvme")) disk.nvmeControllers.push_back(entry);
      }
    }
    std::sort(disk.nvmeControllers.begin(), disk.nvmeControllers.end(),
              [](const std::string& a, const std::string& b) { return NaturalNameLess(a, b); });
    std::string controller;
    if (!fabrics && !disk.nvmeControllers.empty() &&
        system.ResolvePath((disk.device + "/" + disk.nvmeControllers[0]).c_str(), controller) ==
            0) {
      const std::vector<std::string_view> parts = Split(controller, '/');
      fabrics = std::find(parts.begin(), parts.end(), "nvme-fabrics") != parts.end();
    }
  }
  disk.bus = fabrics ? Bus::kNvmeOverFabrics : Bus::kNvme;
}

// Where the disk sits, from the path of its device in sysfs.
void Place(LinuxSystemInterface& system, LinuxDisk& disk) {
  const std::vector<std::string_view> parts = Split(disk.device, '/');
  const std::string_view last = parts.back();
  disk.scsi = IsScsiAddress(last);
  auto has = [&](auto match) { return std::any_of(parts.begin(), parts.end(), match); };
  std::string prefix;
  std::string usbInterface;
  for (const std::string_view part : parts) {
    if (!prefix.empty() || !part.empty()) prefix += "/";
    prefix += part;
    if (IsUsbDevice(part)) disk.usbDevice = prefix;
    if (IsUsbInterface(part) && usbInterface.empty()) usbInterface = prefix;
  }

  if (const bool fabrics = has([](std::string_view part) { return part == "nvme-fabrics"; });
      fabrics || has([](std::string_view part) {
        return part == "nvme" || StartsWith(part, "nvme-subsys");
      })) {
    FindNvmeControllers(system, disk, fabrics);
  } else if (has([](std::string_view part) { return NamedNumber(part, "usb"); })) {
    disk.bus = Bus::kUsb;
    // The interface's driver: usb-storage (Bulk-Only) or uas.
    std::string driver;
    disk.usbStorage = disk.scsi && !usbInterface.empty() &&
                      system.ResolvePath((usbInterface + "/driver").c_str(), driver) == 0 &&
                      BaseName(driver) == "usb-storage";
  } else if (has([](std::string_view part) { return NamedNumber(part, "virtio"); })) {
    disk.bus = Bus::kVirtual;
    disk.virtioBlock = NamedNumber(last, "virtio");
  } else if (const auto port =
                 std::find_if(parts.begin(), parts.end(),
                              [](std::string_view part) { return NamedNumber(part, "ata"); });
             port != parts.end()) {
    // libata names its devices after the port and, on a port without a
    // multiplier, the device number, which is the SCSI target (the slave of a
    // PATA cable is 1): devN.T. Behind a multiplier, port P of it is the SCSI
    // channel, the target 0, and the device devN.P.0; its port 0 looks like
    // the master of a port without one, and only the device's name tells.
    const std::string number(port->substr(3));
    bool multiplier = false;
    if (disk.scsi) {
      const std::vector<std::string_view> address = Split(last, ':');
      const std::string behind = "dev" + number + "." + std::string(address[1]) + ".0";
      std::string resolved;
      multiplier = address[1] != "0" ||
                   (address[2] == "0" &&
                    system.ResolvePath(("/sys/class/ata_device/" + behind).c_str(), resolved) == 0);
      disk.ataDevice = multiplier ? behind : "dev" + number + "." + std::string(address[2]);
    }
    // A SATA link has a speed; a parallel one has none ("<unknown>"). Port
    // multipliers are SATA's alone.
    const std::string speed =
        multiplier ? "" : Attribute(system, "/sys/class/ata_link/link" + number + "/sata_spd");
    disk.bus = multiplier || (!speed.empty() && speed != "<unknown>") ? Bus::kSata : Bus::kAta;
  } else if (has([](std::string_view part) { return StartsWith(part, "end_device-"); })) {
    disk.bus = Bus::kSas;
  } else if (has([](std::string_view part) { return NamedNumber(part, "mmc"); })) {
    disk.bus = Attribute(system, "/sys/block/" + disk.name + "/device/type") == "SD" ? Bus::kSd
                                                                                     : Bus::kMmc;
  } else if (disk.scsi) {
    disk.bus = Bus::kScsi;
  }
  if (disk.bus != Bus::kUsb) disk.usbDevice.clear();
}

// The disk, or nullopt for a block device that is none.
std::optional<LinuxDisk> DescribeDisk(LinuxSystemInterface& system, const std::string& name) {
  for (const std::string_view prefix : kVirtualPrefixes) {
    if (StartsWith(name, prefix)) return std::nullopt;
  }
  if (IsMmcArea(name) || IsNvmePath(name)) return std::nullopt;
  LinuxDisk disk;
  disk.name = name;
  disk.node = "/dev/" + name;
  const std::string block = "/sys/block/" + name;
  // Hidden block devices have no node: lsblk skips them too.
  if (Attribute(system, block + "/hidden") == "1") return std::nullopt;
  if (system.ResolvePath((block + "/device").c_str(), disk.device) != 0) return std::nullopt;
  // Optical drives (SCSI peripheral type 5) are not disks.
  if (Attribute(system, block + "/device/type") == "5") return std::nullopt;
  const FileRead numbers = ReadAttribute(system, block + "/dev");
  if (numbers.error.empty()) disk.numbers = DeviceNumbers(numbers.bytes);
  Place(system, disk);
  return disk;
}

// The block device of "/", and the disks it lies on.
struct RootDevice {
  // Whether the disks are known: false when the mount table could not be
  // read, or "/" or a file system under it cannot be followed to its devices
  // (ZFS, overlay, FUSE).
  bool known = false;
  std::set<std::string> disks;
  std::optional<std::pair<unsigned, unsigned>> numbers;
  std::string node;
  std::string error;  // the mount table could not be read whole
};

// Follows a file system to the whole block devices it lies on: through a
// partition to its disk, a device-mapper or md device to its members (its
// slaves), a loop device to the file system of its backing file, btrfs to
// every device of it. A path that leads nowhere leaves the disks unknown.
class RootWalk {
 public:
  RootWalk(LinuxSystemInterface& system, std::string_view mountinfo, RootDevice& root)
      : system_(system), mountinfo_(mountinfo), root_(root) {}

  void FollowMount(const Mount& mount, int depth) {
    if (std::find(std::begin(kDisklessFileSystems), std::end(kDisklessFileSystems), mount.type) !=
        std::end(kDisklessFileSystems))
      return;
    std::string block;
    const std::string numbers = std::to_string(mount.major) + ":" + std::to_string(mount.minor);
    if (system_.ResolvePath(("/sys/dev/block/" + numbers).c_str(), block) == 0) {
      FollowBlock(block, depth + 1);
    } else if (mount.type == "btrfs") {
      // btrfs reports a device number of its own; its mount source names
      // one of its devices, and sysfs all of them.
      FollowBtrfs(mount.source, depth + 1);
    } else {
      // ZFS, overlay, FUSE: the devices cannot be followed.
      root_.known = false;
    }
  }

  // A block device's directory in sysfs.
  void FollowBlock(const std::string& block, int depth) {
    if (depth > kMaxStackDepth) {
      root_.known = false;
      return;
    }
    const std::string whole =
        ReadAttribute(system_, block + "/partition").error.empty() ? Parent(block) : block;
    const std::string name = BaseName(whole);
    std::vector<std::string> slaves;
    if (system_.ListDirectory((whole + "/slaves").c_str(), slaves) == 0 && !slaves.empty()) {
      for (const std::string& slave : slaves) FollowName(slave, depth + 1);
    } else if (StartsWith(name, "loop")) {
      FollowLoop(whole, depth + 1);
    } else {
      root_.disks.insert(name);
    }
  }

 private:
  void FollowName(const std::string& name, int depth) {
    std::string path;
    if (system_.ResolvePath(("/sys/class/block/" + name).c_str(), path) == 0) {
      FollowBlock(path, depth);
    } else {
      root_.known = false;
    }
  }

  // A loop device lies where its backing file lies.
  void FollowLoop(const std::string& loop, int depth) {
    const FileRead file = ReadAttribute(system_, loop + "/loop/backing_file");
    std::string_view path = file.bytes;
    if (!path.empty() && path.back() == '\n') path.remove_suffix(1);
    unsigned major = 0;
    unsigned minor = 0;
    if (!file.error.empty() || path.empty() ||
        system_.FileSystemDevice(std::string(path).c_str(), major, minor) != 0) {
      root_.known = false;
      return;
    }
    Mount mount{major, minor, {}, {}};
    if (const std::optional<Mount> mounted = FindMount(mountinfo_, major, minor)) mount = *mounted;
    FollowMount(mount, depth);
  }

  void FollowBtrfs(const std::string& source, int depth) {
    std::string node;
    if (!StartsWith(source, "/dev/") || system_.ResolvePath(source.c_str(), node) != 0) {
      root_.known = false;
      return;
    }
    const std::string device = BaseName(node);
    std::vector<std::string> filesystems;
    if (system_.ListDirectory("/sys/fs/btrfs", filesystems) == 0) {
      for (const std::string& uuid : filesystems) {
        std::vector<std::string> devices;
        if (system_.ListDirectory(("/sys/fs/btrfs/" + uuid + "/devices").c_str(), devices) != 0 ||
            std::find(devices.begin(), devices.end(), device) == devices.end())
          continue;
        for (const std::string& member : devices) FollowName(member, depth);
        return;
      }
    }
    FollowName(device, depth);
  }

  LinuxSystemInterface& system_;
  std::string_view mountinfo_;
  RootDevice& root_;
};

RootDevice FindRootDevice(LinuxSystemInterface& system) {
  RootDevice root;
  const FileRead table = ReadLinuxFile(system, "/proc/self/mountinfo", kMountinfoLimit);
  if (table.cut) {
    root.error = "/proc/self/mountinfo holds more than " + std::to_string(kMountinfoLimit) +
                 " bytes, the most read";
    return root;
  }
  const std::optional<Mount> mounted = ReadMountedRoot(table.bytes);
  if (!table.error.empty() || !mounted) return root;
  root.known = true;
  RootWalk(system, table.bytes, root).FollowMount(*mounted, 0);
  if (!root.known) root.disks.clear();

  // The block device that holds the root file system, for its UUID.
  std::string block;
  const std::string numbers = std::to_string(mounted->major) + ":" + std::to_string(mounted->minor);
  if (system.ResolvePath(("/sys/dev/block/" + numbers).c_str(), block) == 0) {
    root.numbers = std::make_pair(mounted->major, mounted->minor);
  } else {
    std::string node;
    if (!StartsWith(mounted->source, "/dev/") ||
        system.ResolvePath(mounted->source.c_str(), node) != 0 ||
        system.ResolvePath(("/sys/class/block/" + BaseName(node)).c_str(), block) != 0)
      return root;
    root.numbers = DeviceNumbers(Attribute(system, block + "/dev"));
  }
  root.node = "/dev/" + BaseName(block);
  return root;
}

// The UUID of the root file system, from udev's database or blkid's cache:
// both readable without root.
std::optional<std::string> RootUuid(LinuxSystemInterface& system, const RootDevice& root,
                                    bool udevDatabase) {
  if (!root.numbers) return std::nullopt;
  const auto [major, minor] = *root.numbers;
  if (udevDatabase) {
    const FileRead entry = ReadLinuxFile(system, UdevEntryPath(major, minor), kUdevEntryLimit);
    const std::optional<std::string_view> uuid = UdevProperty(entry.bytes, "ID_FS_UUID");
    if (uuid) {
      if (std::optional<std::string> text = PlainText(*uuid)) return text;
    }
  }
  for (const char* cache : {"/run/blkid/blkid.tab", "/etc/blkid.tab"}) {
    const FileRead file = ReadLinuxFile(system, cache, kBlkidCacheLimit);
    if (!file.error.empty()) continue;
    if (std::optional<std::string> uuid = BlkidCacheUuid(file.bytes, major, minor, root.node))
      return uuid;
  }
  return std::nullopt;
}

}  // namespace

DiskInventory ListDisks(const LinuxPlatform& platform) {
  LinuxSystemInterface& system = platform.system;
  DiskInventory inventory;
  inventory.sourcesHaveVia = true;
  std::vector<std::string> names;
  if (const int error = system.ListDirectory("/sys/block", names); error != 0) {
    inventory.error = StepError("cannot list /sys/block", error);
    names.clear();
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return NaturalNameLess(a, b); });
  std::string resolved;
  const bool udevDatabase = system.ResolvePath("/run/udev/data", resolved) == 0;
  const RootDevice root = FindRootDevice(system);
  if (inventory.error.empty()) inventory.error = root.error;

  for (const std::string& name : names) {
    const std::optional<LinuxDisk> disk = DescribeDisk(system, name);
    if (!disk) continue;
    DiskEntry& entry = inventory.disks.emplace_back();
    entry.device = disk->node;
    if (disk->bus) entry.bus = DiskBus{*disk->bus};
    const std::string removable = Attribute(system, "/sys/block/" + name + "/removable");
    if (removable == "0" || removable == "1") entry.removable = removable == "1";
    if (root.known) entry.system = root.disks.count(name) != 0;
    entry.sources = {AskSysfs(system, *disk),
                     AskLinuxNvme(system, *disk),
                     AskLinuxAta(system, *disk),
                     AskLinuxVpd(system, *disk),
                     AskUdev(system, *disk, udevDatabase),
                     AskLinuxNamespace(system, *disk),
                     AskLinuxDeviceId(system, *disk),
                     AskLinuxBlockCharacteristics(system, *disk)};
    SettleDisk(entry);
  }
  MarkSharedIdentifiers(inventory);

  // Constructed, not assigned: GCC 12's -Wrestrict misreads the assignment
  // of a literal to an optional string here, once inlined (a false alarm).
  inventory.systemVolume.root.emplace("/");
  inventory.systemVolume.serial = RootUuid(system, root, udevDatabase);
  return inventory;
}

}  // namespace hdsn
