// The disk inventory of Linux: every whole disk of /sys/block that sits on
// a device, where it sits, whether it holds "/", and its five sources.
#include "disks/linux/disk_list.h"

#include <algorithm>
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
// dm on md on partitions is three levels; loops of slaves do not exist, but
// a broken tree must not recurse for ever.
constexpr int kMaxStackDepth = 8;

// Block devices that are not disks: they have no `device`, and are skipped
// by name as well so that their trees are not even looked at.
constexpr std::string_view kVirtualPrefixes[] = {"loop", "ram", "zram", "dm-", "md", "nbd"};

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

// The controller of an NVMe namespace: its device is the controller itself,
// or with native multipath the subsystem, which lists its controllers.
std::string NvmeController(LinuxSystemInterface& system, const std::string& device) {
  const std::string name = BaseName(device);
  if (NamedNumber(name, "nvme")) return name;
  std::vector<std::string> entries;
  if (system.ListDirectory(device.c_str(), entries) != 0) return "";
  std::string first;
  for (const std::string& entry : entries) {
    if (NamedNumber(entry, "nvme") && (first.empty() || NaturalNameLess(entry, first)))
      first = entry;
  }
  return first;
}

// Where the disk sits, from the path of its device in sysfs.
void Place(LinuxSystemInterface& system, LinuxDisk& disk) {
  const std::vector<std::string_view> parts = Split(disk.device, '/');
  const std::string_view last = parts.back();
  disk.scsi = IsScsiAddress(last);
  auto has = [&](auto match) { return std::any_of(parts.begin(), parts.end(), match); };
  std::string prefix;
  for (const std::string_view part : parts) {
    if (!prefix.empty() || !part.empty()) prefix += "/";
    prefix += part;
    if (IsUsbDevice(part)) disk.usbDevice = prefix;
  }

  if (has([](std::string_view part) {
        return part == "nvme" || StartsWith(part, "nvme-subsys");
      })) {
    disk.bus = Bus::kNvme;
    disk.nvmeController = NvmeController(system, disk.device);
  } else if (has([](std::string_view part) { return NamedNumber(part, "usb"); })) {
    disk.bus = Bus::kUsb;
  } else if (has([](std::string_view part) { return NamedNumber(part, "virtio"); })) {
    disk.bus = Bus::kVirtual;
    disk.virtioBlock = NamedNumber(last, "virtio");
  } else if (const auto port =
                 std::find_if(parts.begin(), parts.end(),
                              [](std::string_view part) { return NamedNumber(part, "ata"); });
             port != parts.end()) {
    // libata names its devices after the port and, on a port without a
    // multiplier, the device number that is the SCSI target (the slave of a
    // PATA cable is 1); behind a multiplier, after the channel.
    const std::string number(port->substr(3));
    if (disk.scsi) {
      const std::vector<std::string_view> address = Split(last, ':');
      disk.ataDevice =
          "dev" + number + "." +
          (address[1] == "0" ? std::string(address[2]) : std::string(address[1]) + ".0");
    }
    // A SATA link has a speed; a parallel one has none ("<unknown>").
    const std::string speed = Attribute(system, "/sys/class/ata_link/link" + number + "/sata_spd");
    disk.bus = !speed.empty() && speed != "<unknown>" ? Bus::kSata : Bus::kAta;
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
  LinuxDisk disk;
  disk.name = name;
  disk.node = "/dev/" + name;
  const std::string block = "/sys/block/" + name;
  if (system.ResolvePath((block + "/device").c_str(), disk.device) != 0) return std::nullopt;
  // Optical drives (SCSI peripheral type 5) are not disks.
  if (Attribute(system, block + "/device/type") == "5") return std::nullopt;
  const FileRead numbers = ReadAttribute(system, block + "/dev");
  if (numbers.error.empty()) disk.numbers = DeviceNumbers(numbers.bytes);
  Place(system, disk);
  return disk;
}

// The whole disks under a block device: a partition's disk, or the members
// of a device-mapper or md device (its slaves), each taken the same way.
void CollectDisks(LinuxSystemInterface& system, const std::string& block, int depth,
                  std::set<std::string>& disks) {
  if (depth > kMaxStackDepth) return;
  const std::string whole =
      ReadAttribute(system, block + "/partition").error.empty() ? Parent(block) : block;
  std::vector<std::string> slaves;
  if (system.ListDirectory((whole + "/slaves").c_str(), slaves) != 0 || slaves.empty()) {
    disks.insert(BaseName(whole));
    return;
  }
  for (const std::string& slave : slaves) {
    std::string path;
    if (system.ResolvePath(("/sys/class/block/" + slave).c_str(), path) == 0)
      CollectDisks(system, path, depth + 1, disks);
  }
}

// The block device of "/" and the disks it lies on.
struct RootDevice {
  bool known = false;  // whether the mount table could be read
  std::set<std::string> disks;
  std::optional<std::pair<unsigned, unsigned>> numbers;
  std::string node;
};

RootDevice FindRootDevice(LinuxSystemInterface& system) {
  RootDevice root;
  const FileRead table = ReadLinuxFile(system, "/proc/self/mountinfo", kMountinfoLimit);
  const std::optional<MountedRoot> mounted = ReadMountedRoot(table.bytes);
  if (!table.error.empty() || !mounted) return root;
  root.known = true;
  std::string block;
  const std::string numbers = std::to_string(mounted->major) + ":" + std::to_string(mounted->minor);
  if (system.ResolvePath(("/sys/dev/block/" + numbers).c_str(), block) == 0) {
    root.numbers = std::make_pair(mounted->major, mounted->minor);
  } else {
    // btrfs reports a device number of its own: its mount source names the
    // device. rootfs, tmpfs and overlay have no device at all.
    std::string node;
    if (!StartsWith(mounted->source, "/dev/") ||
        system.ResolvePath(mounted->source.c_str(), node) != 0 ||
        system.ResolvePath(("/sys/class/block/" + BaseName(node)).c_str(), block) != 0)
      return root;
    root.numbers = DeviceNumbers(Attribute(system, block + "/dev"));
  }
  root.node = "/dev/" + BaseName(block);
  CollectDisks(system, block, 0, root.disks);
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
  if (system.ListDirectory("/sys/block", names) != 0) names.clear();
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return NaturalNameLess(a, b); });
  std::string resolved;
  const bool udevDatabase = system.ResolvePath("/run/udev/data", resolved) == 0;
  const RootDevice root = FindRootDevice(system);

  for (const std::string& name : names) {
    const std::optional<LinuxDisk> disk = DescribeDisk(system, name);
    if (!disk) continue;
    DiskEntry& entry = inventory.disks.emplace_back();
    entry.device = disk->node;
    if (disk->bus) entry.bus = DiskBus{*disk->bus};
    const std::string removable = Attribute(system, "/sys/block/" + name + "/removable");
    if (removable == "0" || removable == "1") entry.removable = removable == "1";
    if (root.known) entry.system = root.disks.count(name) != 0;
    entry.sources = {AskSysfs(system, *disk), AskLinuxNvme(system, *disk),
                     AskLinuxAta(system, *disk), AskLinuxVpd(system, *disk),
                     AskUdev(system, *disk, udevDatabase)};
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
