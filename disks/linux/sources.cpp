#include "disks/linux/sources.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "disks/linux/layouts.h"
#include "disks/linux/readers.h"
#include "platform/linux_system.h"
#include "protocol/ata.h"
#include "protocol/byte_order.h"
#include "protocol/nvme.h"
#include "protocol/scsi.h"

namespace hdsn {
namespace {

using namespace layout;

// A sysfs attribute is at most a page.
constexpr std::size_t kAttributeLimit = 4096;
// The kernel counts a command's time in milliseconds.
constexpr std::uint32_t kCommandTimeout = 1000 * kCommandTimeoutSeconds;

// An attribute's text as the drive or the kernel wrote it, without the line
// feed sysfs ends most attributes with: trimmed, never decoded.
std::optional<std::string> Text(const FileRead& file) {
  if (!file.error.empty()) return std::nullopt;
  std::string_view text = file.bytes;
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  return PlainText(text);
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

// A pointer field of an ioctl argument, in the host's byte order (Linux on
// x86 is little-endian, as the layouts are).
void StorePointer(std::uint8_t* header, Field field, const void* pointer) {
  const auto value = reinterpret_cast<std::uintptr_t>(pointer);
  for (std::size_t at = 0; at < field.width; ++at)
    header[field.offset + at] =
        static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * at));
}

// A SCSI command through SG_IO, data in; the answer read as every system
// reads it. The kernel copies cmd_len bytes of the command block and writes
// at most dxfer_len bytes of data and mx_sb_len bytes of sense. The request
// failing is the query's own step: "sat: 1", "scsi: 1".
AnswerRead AskScsi(LinuxSystemInterface& system, int fd, const ScsiQuery& query) {
  std::vector<std::uint8_t> data(query.dataSize);
  std::uint8_t sense[kScsiSenseSize] = {};
  alignas(8) std::uint8_t header[SgIoHdr::kSize] = {};
  StoreLe32(header + SgIoHdr::interface_id.offset, static_cast<std::uint32_t>(kSgInterfaceIdOrig));
  StoreLe32(header + SgIoHdr::dxfer_direction.offset, static_cast<std::uint32_t>(kSgDxferFromDev));
  header[SgIoHdr::cmd_len.offset] = static_cast<std::uint8_t>(query.cdb.size());
  header[SgIoHdr::mx_sb_len.offset] = kScsiSenseSize;
  StoreLe32(header + SgIoHdr::dxfer_len.offset, query.dataSize);
  StorePointer(header, SgIoHdr::dxferp, data.data());
  StorePointer(header, SgIoHdr::cmdp, query.cdb.data());
  StorePointer(header, SgIoHdr::sbp, sense);
  StoreLe32(header + SgIoHdr::timeout.offset, kCommandTimeout);
  int result = 0;
  if (const int error = system.Ioctl(fd, kSgIo, header, result); error != 0)
    return {ScsiError(query, "", error), {}};
  if (const std::uint16_t host = LoadLe16(header + SgIoHdr::host_status.offset); host != 0)
    return {ScsiError(query, "host-status", host), {}};
  // resid is what the device did not send; a driver may leave it at 0.
  const auto resid = static_cast<std::int32_t>(LoadLe32(header + SgIoHdr::resid.offset));
  const std::int64_t sent = static_cast<std::int64_t>(query.dataSize) - resid;
  const auto transferred =
      static_cast<std::size_t>(std::clamp<std::int64_t>(sent, 0, query.dataSize));
  return ReadScsiAnswer(query, header[SgIoHdr::status.offset], std::span(data).first(transferred));
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

}  // namespace

FileRead ReadLinuxFile(LinuxSystemInterface& system, const std::string& path, std::size_t limit) {
  FileRead file;
  int fd = -1;
  if (const int error = system.Open(path.c_str(), OpenMode::kFile, fd); error != 0) {
    file.error = StepError("open", error);
    return file;
  }
  // sysfs gives an attribute in one read and reports a size of 0: read to
  // the end, never past the limit.
  file.bytes.resize(limit);
  std::size_t length = 0;
  while (length < limit) {
    std::size_t count = 0;
    if (const int error = system.Read(fd, file.bytes.data() + length, limit - length, count);
        error != 0) {
      file.error = StepError("read", error);
      break;
    }
    if (count == 0) break;
    length += std::min(count, limit - length);
  }
  system.Close(fd);
  file.bytes.resize(file.error.empty() ? length : 0);
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
    case Bus::kMmc:
    case Bus::kSd:
      model = SysBlock(disk, "device/name");
      serial = SysBlock(disk, "device/serial");
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
  auto read = [&](const std::string& path, std::optional<std::string>& text) {
    if (path.empty()) return;
    const FileRead file = ReadAttribute(system, path);
    if (!file.error.empty()) {
      if (firstError.empty() && !source.ok) {
        firstError = file.error;
        source.via = path;
      }
      return;
    }
    text = Text(file);
    if (!source.ok) source.via = path;
    source.ok = true;
  };
  read(serial, source.serial);
  read(model, source.model);
  read(firmware, source.firmware);
  if (source.ok) return source;
  if (firstError.empty()) return Refused(kSourceSysfs, kNotApplicable);
  source.error = firstError;
  return source;
}

DiskSource AskLinuxNvme(LinuxSystemInterface& system, const LinuxDisk& disk) {
  if (disk.bus != Bus::kNvme || disk.nvmeController.empty())
    return Refused(kSourceNvmeIdentify, kNotApplicable);
  // The kernel keeps the texts of the controller's identify data.
  const std::string controller = "/sys/class/nvme/" + disk.nvmeController;
  const FileRead serial = ReadAttribute(system, controller + "/serial");
  if (serial.error.empty()) {
    SourceTexts texts;
    texts.serial = Text(serial);
    texts.model = Text(ReadAttribute(system, controller + "/model"));
    texts.firmware = Text(ReadAttribute(system, controller + "/firmware_rev"));
    return Answered(kSourceNvmeIdentify, texts, controller + "/serial");
  }

  const std::string node = "/dev/" + disk.nvmeController;
  const NodeOwner device(system, node);
  if (device.fd() < 0) return Refused(kSourceNvmeIdentify, StepError("open", device.error()), node);
  std::vector<std::uint8_t> data(kNvmeIdentifySize);
  alignas(8) std::uint8_t command[NvmeAdminCmd::kSize] = {};
  command[NvmeAdminCmd::opcode.offset] = kNvmeAdminIdentify;
  StorePointer(command, NvmeAdminCmd::addr, data.data());
  StoreLe32(command + NvmeAdminCmd::data_len.offset, kNvmeIdentifySize);
  StoreLe32(command + NvmeAdminCmd::cdw10.offset, kNvmeIdentifyCnsController);
  StoreLe32(command + NvmeAdminCmd::timeout_ms.offset, kCommandTimeout);
  int result = 0;
  if (const int error = system.Ioctl(device.fd(), kNvmeIoctlAdminCmd, command, result); error != 0)
    return Refused(kSourceNvmeIdentify, StepError("nvme-admin", error), node);
  // A positive result is the status the controller completed the command with.
  if (result != 0) return Refused(kSourceNvmeIdentify, StepError("nvme-status", result), node);
  return Answered(kSourceNvmeIdentify, ReadNvmeControllerTexts(data), node);
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
      return Answered(kSourceAtaIdentify,
                      ReadIdentifyTexts(std::span(words.block).first(words.bytes)), path);
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
  return AskNode(system, kSourceScsiVpd80, disk.node, kVpdSerialQuery);
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
  texts.serial = property("ID_SERIAL_SHORT");
  if (!texts.serial) texts.serial = property("ID_SERIAL");
  texts.model = property("ID_MODEL");
  texts.firmware = property("ID_REVISION");
  return Answered(kSourceUdev, texts, name);
}

}  // namespace hdsn
