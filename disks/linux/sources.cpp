#include "disks/linux/sources.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "disks/linux/layouts.h"
#include "disks/linux/readers.h"
#include "platform/linux_system.h"
#include "protocol/ata.h"
#include "protocol/nvme.h"
#include "protocol/scsi.h"

namespace hdsn {
namespace {

using namespace layout;

// A sysfs attribute is at most a page.
constexpr std::size_t kAttributeLimit = 4096;
constexpr std::size_t kFirstReadSize = 4096;
// The kernel counts a command's time in milliseconds.
constexpr std::uint32_t kCommandTimeout = 1000 * kCommandTimeoutSeconds;

// An attribute's text as the drive or the kernel wrote it, without the line
// feed sysfs ends most attributes with: trimmed, never decoded.
std::optional<std::string> Text(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  return PlainText(text);
}
std::optional<std::string> Text(const FileRead& file) {
  if (!file.error.empty()) return std::nullopt;
  return Text(file.bytes);
}

// The kernel counts a block device's size in units of 512 bytes, whatever
// its sectors.
constexpr std::uint64_t kSysfsSectorSize = 512;

// A sector size sysfs gives: none where it is 0 or past 32 bits.
std::optional<std::uint32_t> SectorSize(const std::optional<std::uint64_t>& bytes) {
  if (!bytes || *bytes == 0 || *bytes > std::numeric_limits<std::uint32_t>::max())
    return std::nullopt;
  return static_cast<std::uint32_t>(*bytes);
}

// What a later answer adds to an identity: each value it does not hold yet,
// and the placeholder of an identifier it neither holds nor noted already
// (a field of the document is named once).
void AddIdentity(DiskIdentity& identity, const DiskIdentity& later) {
  ForEachIdentityField([&](const char*, auto field, auto) {
    if (!(identity.*field)) identity.*field = later.*field;
  });
  for (const Placeholder& placeholder : later.placeholders) {
    bool known =
        std::any_of(identity.placeholders.begin(), identity.placeholders.end(),
                    [&](const Placeholder& noted) { return noted.field == placeholder.field; });
    ForEachIdentityField([&](const char* name, auto field, auto) {
      known |= placeholder.field == name && (identity.*field).has_value();
    });
    if (!known) identity.placeholders.push_back(placeholder);
  }
}

// One device node, open read-only, closed once.
class NodeOwner {
 public:
  NodeOwner(LinuxSystemInterface& system, const std::string& path) : system_(system) {
    error_ = system.Open(path.c_str(), OpenMode::kDevice, fd_);
    if (error_ != 0) fd_ = -1;
  }
  ~NodeOwner() {
    if (fd_ >= 0) system_.Close(fd_);
  }
  NodeOwner(const NodeOwner&) = delete;
  NodeOwner& operator=(const NodeOwner&) = delete;
  int fd() const { return fd_; }
  int error() const { return error_; }

 private:
  LinuxSystemInterface& system_;
  int fd_ = -1;
  int error_ = 0;
};

// A pointer field of an ioctl argument: as wide as the field, which is at
// least as wide as a pointer.
void StorePointer(std::uint8_t* structure, Field field, const void* pointer) {
  const auto value = reinterpret_cast<std::uintptr_t>(pointer);
  if (field.width == sizeof(std::uint64_t)) {
    StoreNative(structure, field, static_cast<std::uint64_t>(value));
  } else {
    StoreNative(structure, field, static_cast<std::uint32_t>(value));
  }
}

// A SCSI command through SG_IO, data in; the answer read as every system
// reads it once the kernel said it went right. The kernel copies cmd_len
// bytes of the command block and writes at most dxfer_len bytes of data and
// mx_sb_len bytes of sense. The request failing is the query's own step:
// "sat: 1", "scsi: 1".
AnswerRead AskScsi(LinuxSystemInterface& system, int fd, const ScsiQuery& query) {
  using H = SgIoHdr;
  std::vector<std::uint8_t> data(query.dataSize);
  std::uint8_t sense[kScsiSenseSize] = {};
  alignas(8) std::uint8_t header[H::kSize] = {};
  StoreNative(header, H::interface_id, kSgInterfaceIdOrig);
  StoreNative(header, H::dxfer_direction, kSgDxferFromDev);
  header[H::cmd_len.offset] = static_cast<std::uint8_t>(query.cdb.size());
  header[H::mx_sb_len.offset] = kScsiSenseSize;
  StoreNative(header, H::dxfer_len, query.dataSize);
  StorePointer(header, H::dxferp, data.data());
  StorePointer(header, H::cmdp, query.cdb.data());
  StorePointer(header, H::sbp, sense);
  StoreNative(header, H::timeout, kCommandTimeout);
  int result = 0;
  if (const int error = system.Ioctl(fd, kSgIo, header, result); error != 0)
    return {ScsiError(query, "", error), {}};
  // Each part of the kernel says its own word: the host adapter, the driver,
  // the device's status, and info sums them up.
  if (const auto host = LoadNative<std::uint16_t>(header, H::host_status); host != 0)
    return {ScsiError(query, "host-status", host), {}};
  const auto driver = LoadNative<std::uint16_t>(header, H::driver_status);
  const bool senseOnly = (driver & kSgDriverMask) == kSgDriverSense;
  if ((driver & kSgDriverMask) != 0 && !senseOnly)
    return {ScsiError(query, "driver-status", driver), {}};
  std::uint8_t status = header[H::status.offset];
  if (status == kScsiStatusGood)
    status = static_cast<std::uint8_t>(header[H::masked_status.offset] << 1);
  if (status != kScsiStatusGood) return ReadScsiAnswer(query, status, {});
  if (const auto info = LoadNative<std::uint32_t>(header, H::info);
      (info & kSgInfoCheck) != 0 && !senseOnly)
    return {ScsiError(query, "info", info), {}};
  // resid is what the device did not send of what was asked (a driver may
  // leave it at 0); outside that, the kernel's count cannot be believed.
  const auto resid = LoadNative<std::int32_t>(header, H::resid);
  if (resid < 0 || static_cast<std::uint32_t>(resid) > query.dataSize)
    return {ScsiError(query, "resid", resid), {}};
  return ReadScsiAnswer(query, status, std::span(data).first(query.dataSize - resid));
}

// A SCSI command to the disk's node, which opens for root only.
DiskSource AskNode(LinuxSystemInterface& system, const char* source, const std::string& node,
                   const ScsiQuery& query) {
  const NodeOwner device(system, node);
  if (device.fd() < 0) return Refused(source, StepError("open", device.error()), node);
  return FromAnswer(source, AskScsi(system, device.fd(), query), node);
}

std::string SysBlock(const LinuxDisk& disk, const char* file) {
  return "/sys/block/" + disk.name + "/" + file;
}

// INQUIRY of a VPD page through the node, where the kernel kept no copy of
// it: never to a usb-storage disk, which the kernel itself asks no VPD page
// because some bridges hang on one. The copy's error then stands.
DiskSource AskVpdNode(LinuxSystemInterface& system, const LinuxDisk& disk, const char* name,
                      const FileRead& copy, const std::string& copyPath, const ScsiQuery& query) {
  if (disk.usbStorage) return Refused(name, copy.error, copyPath);
  return AskNode(system, name, disk.node, query);
}

}  // namespace

FileRead ReadLinuxFile(LinuxSystemInterface& system, const std::string& path, std::size_t limit) {
  FileRead file;
  int fd = -1;
  if (const int error = system.Open(path.c_str(), OpenMode::kFile, fd); error != 0) {
    file.error = StepError("open", error);
    return file;
  }
  // sysfs and /proc report sizes of 4096 or 0 whatever their files hold:
  // the buffer grows with what comes, from a page (a sysfs attribute comes
  // whole in one read), and never past the limit.
  std::size_t capacity = std::min(limit, kFirstReadSize);
  file.bytes.resize(capacity);
  std::size_t length = 0;
  while (file.error.empty()) {
    if (length == capacity) {
      if (capacity == limit) {
        // Full: one byte more tells whether the file held more.
        char more = 0;
        std::size_t count = 0;
        if (const int error = system.Read(fd, &more, 1, count); error != 0) {
          file.error = StepError("read", error);
        } else {
          file.cut = count != 0;
        }
        break;
      }
      capacity = std::min(limit, 2 * capacity);
      file.bytes.resize(capacity);
    }
    std::size_t count = 0;
    if (const int error = system.Read(fd, file.bytes.data() + length, capacity - length, count);
        error != 0) {
      file.error = StepError("read", error);
    } else if (count == 0) {
      break;
    } else {
      length += std::min(count, capacity - length);
    }
  }
  system.Close(fd);
  file.bytes.resize(file.error.empty() ? length : 0);
  if (!file.error.empty()) file.cut = false;
  return file;
}

FileRead ReadAttribute(LinuxSystemInterface& system, const std::string& path) {
  return ReadLinuxFile(system, path, kAttributeLimit);
}

std::string UdevEntryPath(unsigned major, unsigned minor) {
  return "/run/udev/data/b" + std::to_string(major) + ":" + std::to_string(minor);
}

DiskSource AskSysfs(LinuxSystemInterface& system, const LinuxDisk& disk) {
  // Where each kind of disk keeps its texts.
  std::string model;
  std::string firmware;
  std::string serial;
  switch (disk.bus.value_or(Bus::kUnknown)) {
    case Bus::kNvme:
      model = SysBlock(disk, "device/model");
      firmware = SysBlock(disk, "device/firmware_rev");
      serial = SysBlock(disk, "device/serial");
      break;
    case Bus::kNvmeOverFabrics:
      model = SysBlock(disk, "device/model");
      firmware = SysBlock(disk, "device/firmware_rev");
      serial = SysBlock(disk, "device/serial");
      break;
    case Bus::kMmc:
    case Bus::kSd:
      model = SysBlock(disk, "device/name");
      serial = SysBlock(disk, "device/serial");
      firmware = SysBlock(disk, "device/fwrev");
      break;
    default:
      if (disk.virtioBlock) {
        serial = SysBlock(disk, "serial");
      } else if (disk.scsi) {
        model = SysBlock(disk, "device/model");
        firmware = SysBlock(disk, "device/rev");
        // usb-storage and uas disks: the serial of the USB device itself.
        if (!disk.usbDevice.empty()) serial = disk.usbDevice + "/serial";
      }
  }
  DiskSource source;
  source.name = kSourceSysfs;
  std::string firstError;
  // via: the first file read (the serial's when there is one), else the
  // first that failed.
  auto read = [&](const std::string& path) -> std::optional<std::string> {
    if (path.empty()) return std::nullopt;
    FileRead file = ReadAttribute(system, path);
    if (!file.error.empty()) {
      if (firstError.empty() && !source.ok) {
        firstError = file.error;
        source.via = path;
      }
      return std::nullopt;
    }
    if (!source.ok) source.via = path;
    source.ok = true;
    return std::move(file.bytes);
  };
  auto text = [&](const std::string& path, std::optional<std::string>& field) {
    if (const std::optional<std::string> bytes = read(path)) field = Text(*bytes);
  };
  text(serial, source.serial);
  text(model, source.model);
  text(firmware, source.firmware);
  // An MMC card's fwrev is the firmware version of its extended CSD from
  // revision 7 (eMMC 5.0) on; before, the firmware field of its CID, which
  // the kernel leaves 0 for cards of version 2 and later: their revision is
  // the CID's product revision.
  if (disk.bus == Bus::kMmc && source.firmware == "0x0")
    text(SysBlock(disk, "device/prv"), source.firmware);

  // The block layer's view, which every disk has. queue/rotational is 1
  // unless the kernel learned otherwise: from the drive (a rotation rate of
  // 1 in IDENTIFY or VPD page 0xB1) or from its driver (NVMe, MMC).
  auto number = [&](const char* file) -> std::optional<std::uint64_t> {
    const std::optional<std::string> bytes = read(SysBlock(disk, file));
    return bytes ? ReadSysfsNumber(*bytes) : std::nullopt;
  };
  DiskIdentity& identity = source.identity;
  if (const std::optional<std::uint64_t> sectors = number("size"))
    identity.size = BlocksToBytes(*sectors, kSysfsSectorSize);
  identity.logicalSectorSize = SectorSize(number("queue/logical_block_size"));
  identity.physicalSectorSize = SectorSize(number("queue/physical_block_size"));
  if (const std::optional<std::uint64_t> rotational = number("queue/rotational");
      rotational && *rotational <= 1)
    identity.rotational = *rotational == 1;
  if (source.ok) return source;
  if (firstError.empty()) return Refused(kSourceSysfs, kNotApplicable);
  source.error = firstError;
  return source;
}

// The admin command Identify of the CNS (and namespace) through a
// controller's open node, into data; its error, empty when the controller
// answered.
std::string AskNvmeIdentify(LinuxSystemInterface& system, int fd, std::uint32_t cns,
                            std::uint32_t nsid, std::vector<std::uint8_t>& data) {
  using C = NvmeAdminCmd;
  data.assign(kNvmeIdentifySize, 0);
  alignas(8) std::uint8_t command[C::kSize] = {};
  command[C::opcode.offset] = kNvmeAdminIdentify;
  StoreNative(command, C::nsid, nsid);
  StorePointer(command, C::addr, data.data());
  StoreNative(command, C::data_len, kNvmeIdentifySize);
  StoreNative(command, C::cdw10, cns);
  StoreNative(command, C::timeout_ms, kCommandTimeout);
  int result = 0;
  if (const int error = system.Ioctl(fd, kNvmeIoctlAdminCmd, command, result); error != 0)
    return StepError("nvme-admin", error);
  // A positive result is the status the controller completed the command
  // with; the data came only with 0.
  if (result != 0) return StepError("nvme-status", result);
  return "";
}

// Identify Controller through the controller's node.
DiskSource AskNvmeNode(LinuxSystemInterface& system, const std::string& controller) {
  const std::string node = "/dev/" + controller;
  const NodeOwner device(system, node);
  if (device.fd() < 0) return Refused(kSourceNvmeIdentify, StepError("open", device.error()), node);
  std::vector<std::uint8_t> data;
  if (std::string error = AskNvmeIdentify(system, device.fd(), kNvmeIdentifyCnsController, 0, data);
      !error.empty())
    return Refused(kSourceNvmeIdentify, std::move(error), node);
  return Answered(kSourceNvmeIdentify, ReadNvmeControllerTexts(data), node);
}

// The namespace's identification descriptors (CNS 3, which controllers
// before NVMe 1.3 do not know), then its data (CNS 0), through a
// controller's node; the descriptors' identifiers come first.
DiskSource AskNamespaceNode(LinuxSystemInterface& system, const std::string& controller,
                            std::uint32_t nsid) {
  const std::string node = "/dev/" + controller;
  const NodeOwner device(system, node);
  if (device.fd() < 0)
    return Refused(kSourceNvmeNamespace, StepError("open", device.error()), node);
  std::vector<std::uint8_t> data;
  DiskSource source = Answered(kSourceNvmeNamespace, {}, node);
  const std::string descriptors =
      AskNvmeIdentify(system, device.fd(), kNvmeIdentifyCnsDescriptors, nsid, data);
  if (descriptors.empty()) source.identity = ReadNvmeNamespaceDescriptors(data);
  std::string error = AskNvmeIdentify(system, device.fd(), kNvmeIdentifyCnsNamespace, nsid, data);
  if (error.empty()) {
    AddIdentity(source.identity, ReadNvmeNamespaceIdentity(data));
  } else if (!descriptors.empty()) {
    return Refused(kSourceNvmeNamespace, std::move(error), node);
  }
  return source;
}

bool IsNvme(const LinuxDisk& disk) {
  return (disk.bus == Bus::kNvme || disk.bus == Bus::kNvmeOverFabrics) &&
         !disk.nvmeControllers.empty();
}

DiskSource AskLinuxNvme(LinuxSystemInterface& system, const LinuxDisk& disk) {
  if (!IsNvme(disk)) return Refused(kSourceNvmeIdentify, kNotApplicable);
  // The kernel keeps the texts of each controller's identify data. The
  // controllers of a subsystem all carry the subsystem's serial: the first
  // that answers gives it.
  DiskSource answer;
  for (const std::string& name : disk.nvmeControllers) {
    const std::string controller = "/sys/class/nvme/" + name;
    const FileRead serial = ReadAttribute(system, controller + "/serial");
    if (!serial.error.empty()) continue;
    SourceTexts texts;
    texts.serial = Text(serial);
    texts.model = Text(ReadAttribute(system, controller + "/model"));
    texts.firmware = Text(ReadAttribute(system, controller + "/firmware_rev"));
    return Answered(kSourceNvmeIdentify, texts, controller + "/serial");
  }
  for (const std::string& name : disk.nvmeControllers) {
    answer = AskNvmeNode(system, name);
    if (answer.ok) break;
  }
  return answer;
}

DiskSource AskLinuxAta(LinuxSystemInterface& system, const LinuxDisk& disk) {
  std::string error = kNotApplicable;
  std::optional<std::string> via;
  if (!disk.ataDevice.empty()) {
    // libata's copy of the drive's IDENTIFY DEVICE data, readable by anyone.
    const std::string path = "/sys/class/ata_device/" + disk.ataDevice + "/id";
    const FileRead file = ReadAttribute(system, path);
    const AtaIdWords words = ReadAtaIdFile(file.bytes);
    if (file.error.empty() && words.bytes > 0)
      return FromAnswer(kSourceAtaIdentify,
                        ReadCheckedIdentify(std::span(words.block).first(words.bytes)), path);
    error = file.error.empty() ? StepError("short", 0) : file.error;
    via = path;
  }
  if (!disk.scsi) return Refused(kSourceAtaIdentify, error, via);

  // SAT: the SCSI layer (libata's, or a USB bridge's) passes the command on.
  return AskNode(system, kSourceAtaIdentify, disk.node, kSatIdentifyQuery);
}

DiskSource AskLinuxVpd(LinuxSystemInterface& system, const LinuxDisk& disk) {
  if (!disk.scsi) return Refused(kSourceScsiVpd80, kNotApplicable);
  // The page as the kernel read it when it found the disk; usb-storage
  // disks have none.
  const std::string path = SysBlock(disk, "device/vpd_pg80");
  const FileRead file = ReadAttribute(system, path);
  if (file.error.empty())
    return Answered(kSourceScsiVpd80, ReadVpdSerialTexts(AsBytes(file.bytes)), path);
  return AskVpdNode(system, disk, kSourceScsiVpd80, file, path, kVpdSerialQuery);
}

DiskSource AskUdev(LinuxSystemInterface& system, const LinuxDisk& disk, bool udevDatabase) {
  if (!udevDatabase) return Refused(kSourceUdev, kNoUdevDatabase);
  if (!disk.numbers) return Refused(kSourceUdev, kNotApplicable);
  const std::string name = UdevEntryPath(disk.numbers->first, disk.numbers->second);
  const FileRead file = ReadLinuxFile(system, name, kUdevEntryLimit);
  if (!file.error.empty()) return Refused(kSourceUdev, file.error, name);
  auto property = [&](const char* key) -> std::optional<std::string> {
    const std::optional<std::string_view> value = UdevProperty(file.bytes, key);
    return value ? PlainText(*value) : std::nullopt;
  };
  SourceTexts texts;
  // scsi_id makes a SCSI disk's NAA name, where page 0x83 gives one, its
  // ID_SERIAL_SHORT, and keeps the unit serial of page 0x80 apart in
  // ID_SCSI_SERIAL, which lsblk too takes first.
  texts.serial = property("ID_SCSI_SERIAL");
  if (!texts.serial) texts.serial = property("ID_SERIAL_SHORT");
  // udev's rules set ID_SERIAL to the serial alone, with no ID_SERIAL_SHORT,
  // only for virtio-blk and MMC disks; elsewhere it is the model and the
  // serial joined, or the model alone for a drive without a serial.
  if (!texts.serial && (disk.virtioBlock || disk.bus == Bus::kMmc || disk.bus == Bus::kSd))
    texts.serial = property("ID_SERIAL");
  // ID_MODEL has "_" for blanks; ID_MODEL_ENC keeps the drive's text, the
  // bytes udev finds unsafe written \xHH.
  if (const std::optional<std::string_view> encoded = UdevProperty(file.bytes, "ID_MODEL_ENC"))
    texts.model = PlainText(DecodeUdevText(*encoded));
  if (!texts.model) texts.model = property("ID_MODEL");
  texts.firmware = property("ID_REVISION");
  return Answered(kSourceUdev, texts, name);
}

DiskSource AskLinuxNamespace(LinuxSystemInterface& system, const LinuxDisk& disk) {
  if (!IsNvme(disk)) return Refused(kSourceNvmeNamespace, kNotApplicable);
  // The kernel's copies of the identifiers, readable by anyone: a file for
  // each that is not zero. Without a UUID, `uuid` shows the NGUID (written as
  // a UUID, for programs older than the nguid file), which names no UUID.
  // The kernel writes none where it distrusts the controller's (QEMU's among
  // others: "Ignoring bogus Namespace Identifiers"), and `wwid`, the one
  // kernels older than the others have, is then its stand-in.
  DiskSource source = Answered(kSourceNvmeNamespace, {});
  auto file = [&](const char* name) {
    const std::string path = SysBlock(disk, name);
    FileRead read = ReadAttribute(system, path);
    if (read.error.empty() && !source.via) source.via = path;
    return std::move(read.bytes);
  };
  DiskIdentity& identity = source.identity;
  const std::vector<std::uint8_t> eui64 = ReadSysfsHex(file("eui"));
  const std::vector<std::uint8_t> nguid = ReadSysfsHex(file("nguid"));
  const std::vector<std::uint8_t> uuid = ReadSysfsHex(file("uuid"));
  if (eui64.size() == 8) TakeIdentifier(identity, IdentifierKind::kEui64, eui64);
  if (nguid.size() == 16) TakeIdentifier(identity, IdentifierKind::kNguid, nguid);
  if (uuid.size() == 16 && uuid != nguid) TakeIdentifier(identity, IdentifierKind::kUuid, uuid);
  const auto named = [&] { return identity.eui64 || identity.nguid || identity.uuid; };
  if (!named()) {
    source.via.reset();
    TakeWwid(identity, file("wwid"));
  }
  if (named()) return source;

  // Identify as root, through the namespace's controller or, with native
  // multipath, each controller of its subsystem until one answers.
  const std::string path = SysBlock(disk, "nsid");
  const FileRead read = ReadAttribute(system, path);
  if (!read.error.empty()) return Refused(kSourceNvmeNamespace, read.error, path);
  const std::optional<std::uint64_t> nsid = ReadSysfsNumber(read.bytes);
  if (!nsid || *nsid == 0 || *nsid >= 0xFFFFFFFF)
    return Refused(kSourceNvmeNamespace, StepError("nsid", 0), path);
  for (const std::string& controller : disk.nvmeControllers) {
    source = AskNamespaceNode(system, controller, static_cast<std::uint32_t>(*nsid));
    if (source.ok) break;
  }
  return source;
}

DiskSource AskLinuxDeviceId(LinuxSystemInterface& system, const LinuxDisk& disk) {
  if (!disk.scsi) return Refused(kSourceScsiVpd83, kNotApplicable);
  // The page as the kernel read it, or the name the kernel chose among its
  // designators where the page cannot be read.
  const std::string path = SysBlock(disk, "device/vpd_pg83");
  const FileRead file = ReadAttribute(system, path);
  if (file.error.empty()) {
    DiskSource source = Answered(kSourceScsiVpd83, {}, path);
    source.identity = ReadVpdDeviceIdentification(AsBytes(file.bytes));
    return source;
  }
  const std::string wwidPath = SysBlock(disk, "device/wwid");
  if (const FileRead wwid = ReadAttribute(system, wwidPath); wwid.error.empty()) {
    DiskSource source = Answered(kSourceScsiVpd83, {}, wwidPath);
    TakeWwid(source.identity, wwid.bytes);
    return source;
  }
  return AskVpdNode(system, disk, kSourceScsiVpd83, file, path, kVpdDeviceIdQuery);
}

DiskSource AskLinuxBlockCharacteristics(LinuxSystemInterface& system, const LinuxDisk& disk) {
  if (!disk.scsi) return Refused(kSourceScsiVpdB1, kNotApplicable);
  // Kernels from 5.18 on keep the page where the device lists it.
  const std::string path = SysBlock(disk, "device/vpd_pgb1");
  const FileRead file = ReadAttribute(system, path);
  if (file.error.empty()) {
    DiskSource source = Answered(kSourceScsiVpdB1, {}, path);
    source.identity = ReadVpdBlockCharacteristics(AsBytes(file.bytes));
    return source;
  }
  return AskVpdNode(system, disk, kSourceScsiVpdB1, file, path, kVpdBlockCharacteristicsQuery);
}

}  // namespace hdsn
