// A simulated Linux machine for hdsn-disks: a tree of files, links and
// directories in memory (sysfs, /proc, /run, /dev) and device nodes that
// answer SG_IO by its command block and the NVMe admin ioctl by opcode and
// CNS, from recorded IDENTIFY, VPD and NVMe data. Every open, request (with
// the bytes it carried) and close is recorded; the fault plan makes calls
// fail (operations: open, read, close, ioctl, realpath, opendir, stat). AddDisk
// lays out each kind of disk as a Debian 12 kernel (6.1) does under QEMU.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux_system.h"
#include "sim/fault_plan.h"
#include "sim/sim_devices.h"
#include "sim/sim_system.h"

namespace hdsn::sim {

// The errno values the machine fails with.
inline constexpr int kEperm = 1;
inline constexpr int kEnoent = 2;
inline constexpr int kEio = 5;
inline constexpr int kEbadf = 9;
inline constexpr int kEacces = 13;
inline constexpr int kEnotdir = 20;
inline constexpr int kEisdir = 21;
inline constexpr int kEinval = 22;
inline constexpr int kEnotty = 25;
inline constexpr int kEloop = 40;

// A device node and what its driver answers.
struct SimNode {
  // SG_IO reaches a SCSI disk; any other node answers it with ENOTTY.
  bool scsi = true;
  // The data of ATA PASS-THROUGH (16) IDENTIFY DEVICE and of INQUIRY of VPD
  // page 0x80 (cut at the transfer length); none: CHECK CONDITION, ILLEGAL
  // REQUEST.
  std::optional<Bytes> identify;
  std::optional<Bytes> vpdPage;
  // Of INQUIRY of VPD pages 0x83 and 0xB1.
  std::optional<Bytes> deviceIdPage;
  std::optional<Bytes> blockCharacteristicsPage;
  std::uint16_t hostStatus = 0;  // of every SG_IO command
  // Of every SG_IO command, instead of what the kernel would say: as a
  // driver or a bridge that answers wrongly.
  std::optional<std::uint16_t> driverStatus;
  std::optional<std::uint32_t> info;
  std::optional<std::int32_t> resid;
  // An NVMe controller's node: its Identify Controller data (4096 bytes),
  // and the status it completes Identify with (0: success, with the data).
  std::optional<Bytes> nvmeIdentify;
  int nvmeStatus = 0;
  // Identify Namespace (CNS 0) and its descriptor list (CNS 3), by namespace
  // ID; a namespace or list it lacks is Invalid Field in Command.
  std::map<std::uint32_t, Bytes> nvmeNamespaces;
  std::map<std::uint32_t, Bytes> nvmeDescriptors;
};

struct LinuxOpenRecord {
  std::string path;
  OpenMode mode;
  int fd;  // -1 when refused
  int error;
};

struct SgIoRecord {
  std::string path;
  std::int32_t interfaceId;
  std::int32_t direction;
  Bytes cdb;  // cmd_len bytes at cmdp
  std::uint32_t length;
  std::uint32_t timeout;
  std::uint8_t senseLength;
};

struct NvmeAdminRecord {
  std::string path;
  std::uint8_t opcode;
  std::uint32_t nsid;
  std::uint32_t cdw10;
  std::uint32_t length;
  std::uint32_t timeout;
};

class SimLinux final : public LinuxSystemInterface {
 public:
  explicit SimLinux(FaultPlan& faults) : faults_(faults) {}

  // The tree. Parents are made as needed; a link's target is relative to
  // the link's directory unless it starts with "/".
  void AddFile(const std::string& path, const std::string& content);
  void AddLink(const std::string& path, const std::string& target);
  void AddDirectory(const std::string& path);
  void AddNode(const std::string& path, const SimNode& node);
  // Removes the file, link, node or directory at the path (not following a
  // last link), and everything under a directory.
  void Remove(const std::string& path);
  SimNode& Node(const std::string& path) { return nodes_.at(path); }
  // The tree as it stands, links followed, without a call recorded or
  // counted: the path resolved (empty when it does not resolve) and a
  // file's content (empty when it is not a file).
  std::string Resolved(const std::string& path) const;
  std::string Content(const std::string& path) const;
  // Opening or reading the file fails with the errno.
  std::map<std::string, int> refuseOpen;
  std::map<std::string, int> refuseRead;
  // The device numbers of the file system mounted at each path: a file's
  // file system is that of the longest path that holds it.
  std::map<std::string, std::pair<unsigned, unsigned>> fileSystems;

  // False: device nodes refuse every open with EACCES, as for a user.
  bool root = true;

  // What happened.
  std::vector<LinuxOpenRecord> opens;
  std::vector<int> closes;
  std::vector<SgIoRecord> sgIo;
  std::vector<NvmeAdminRecord> nvmeAdmin;
  std::vector<std::string> calls;  // every call, one line each ("read 5 4096": fd and size)
  int badFdUses = 0;               // reads, ioctls or closes of an fd not open
  std::size_t OpenFdCount() const { return open_.size(); }
  // The opens of device nodes.
  std::vector<LinuxOpenRecord> NodeOpens() const;

  int Open(const char* path, OpenMode mode, int& fd) override;
  int Read(int fd, void* buffer, std::size_t size, std::size_t& count) override;
  int Close(int fd) override;
  int Ioctl(int fd, unsigned long request, void* argument, int& result) override;
  int ResolvePath(const char* path, std::string& resolved) override;
  int ListDirectory(const char* path, std::vector<std::string>& names) override;
  int FileSystemDevice(const char* path, unsigned& major, unsigned& minor) override;

  // Numbers handed out to the disks AddDisk lays out.
  int nextHost = 0;
  int nextAtaPort = 1;
  int nextPci = 0x10;
  std::map<unsigned, unsigned> nextMinor;  // by major

 private:
  struct OpenFile {
    std::string path;
    std::size_t offset = 0;
  };
  int Resolve(const std::string& path, std::string& resolved) const;
  bool Exists(const std::string& path) const;
  int SgIo(const std::string& path, const SimNode& node, std::uint8_t* header);
  int NvmeAdmin(const std::string& path, const SimNode& node, std::uint8_t* command, int& result);

  FaultPlan& faults_;
  std::map<std::string, std::string> files_;
  std::map<std::string, std::string> links_;
  std::set<std::string> directories_{"/"};
  std::map<std::string, SimNode> nodes_;
  std::map<int, OpenFile> open_;
  int nextFd_ = 3;
};

struct SimLinuxMachine {
  FaultPlan faults;
  SimLinux system{faults};
  SimConsole console;
  SimHmac hmac{faults};
  const LinuxPlatform platform{system, console, hmac};
  SimOutputFile files{faults};

  SimLinuxMachine() = default;
  SimLinuxMachine(const SimLinuxMachine&) = delete;
  SimLinuxMachine& operator=(const SimLinuxMachine&) = delete;

  // Runs hdsn-disks with the arguments; returns its exit status.
  int RunDisks(const std::vector<const char*>& arguments = {});
};

// What a run left behind: descriptors still open, uses of descriptors that
// were not open, of the system's and of the output file's. Empty when
// everything was given back.
std::vector<std::string> Leftovers(const SimLinuxMachine& machine);

enum class SimDiskKind {
  kSata,
  kPata,
  kNvme,
  kVirtioBlock,
  kVirtioScsi,
  kUsbStorage,
  kUas,
  kSas,
  kMmc,  // an SD card
  kNvmeOverFabrics,
  kEmmc,  // with its boot areas and replay-protected area as block devices
};

struct SimDisk {
  SimDiskKind kind;
  std::string name;  // "sda", "nvme0n1", "vda", "mmcblk0"
  std::string serial;
  std::string model;
  std::string firmware;
  // The USB device's own serial (usb-storage and uas); the disk's serial
  // when empty.
  std::string usbSerial = "";
  int pataUnit = 0;  // 1: the slave of the cable
  bool removable = false;
  bool udev = false;  // an entry in /run/udev/data, as Debian's rules write it
  // NVMe: with native multipath, the controllers of its subsystem that reach
  // the namespace, each through a hidden path device, named from the
  // subsystem's number on ("nvme2n1" with 2: nvme2 and nvme3); 0: the
  // namespace sits on its one controller, named after it.
  int nvmePaths = 0;
  // SATA: the port of a port multiplier the disk is behind (-1: none), and
  // the ATA port (0: the next one).
  int multiplierPort = -1;
  int ataPort = 0;
  // What the drive says it is: its IDENTIFY words, VPD pages 0x83 and 0xB1,
  // NVMe namespace data, and the kernel's sysfs copies of them.
  SimIdentity identity = {};
  // NVMe: the kernel distrusts the controller's namespace identifiers (as
  // QEMU's) and publishes none of them.
  bool bogusNamespaceIds = false;
};

// Lays the disk out as the kernel does: its block device and the links to
// it (/sys/block, /sys/dev/block, /sys/class/block), its size and queue's
// sector sizes and rotation, its device's attributes and VPD pages,
// libata's link and IDENTIFY copy, the NVMe controller's class entry and the
// namespace's identifiers, the USB device, its node in /dev, and a udev
// entry when asked.
// Returns the block device's directory.
std::string AddDisk(SimLinux& system, const SimDisk& disk);

// A partition of a disk laid out by AddDisk; returns its directory.
std::string AddPartition(SimLinux& system, const std::string& disk, int number);
// A device-mapper or md device on the given block devices; returns its
// directory.
std::string AddStackedDevice(SimLinux& system, const std::string& name,
                             const std::vector<std::string>& members);
// A loop device backed by the file (which is added as well); returns its
// directory.
std::string AddLoopDevice(SimLinux& system, const std::string& name,
                          const std::string& backingFile);
// /proc/self/mountinfo with "/" mounted from the block device of that name
// (its numbers from its dev file), or with "/" on the initramfs's rootfs
// when name is empty.
void MountRoot(SimLinux& system, const std::string& name, const std::string& type = "ext4");

// IDENTIFY DEVICE data with the texts in ATA order, blank-padded, and word
// 255's signature and checksum, as drives send it.
Bytes MakeLinuxIdentify(const std::string& serial, const std::string& model,
                        const std::string& firmware);
// The block with word 255 made right for its bytes.
Bytes WithIdentifyChecksum(Bytes block);
// The kernel's text of IDENTIFY data: 256 words in hex, eight to a line.
std::string AtaIdText(const Bytes& identify);
// Identify Controller data with the texts blank-padded.
Bytes MakeNvmeIdentify(const std::string& serial, const std::string& model,
                       const std::string& firmware);

}  // namespace hdsn::sim
