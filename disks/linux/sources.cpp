#include "inventory/linux_sources.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "devices/byte_order.h"
#include "inventory/disk_protocol.h"
#include "inventory/disk_text.h"
#include "inventory/linux_layouts.h"
#include "inventory/linux_readers.h"
#include "platform/linux_system.h"

namespace hdsn {
namespace {

using namespace layout;

// A sysfs attribute is at most a page; a udev database entry is a few
// hundred bytes, a big one a few kilobytes.
constexpr std::size_t kAttributeLimit = 4096;
constexpr std::size_t kUdevEntryLimit = 64 * 1024;
// Milliseconds a command may take before the kernel gives up on it.
constexpr std::uint32_t kCommandTimeout = 3000;
constexpr std::uint8_t kSenseSize = 32;

std::string StepError(const char* step, int error) {
  return std::string(step) + ": " + std::to_string(error);
}

DiskSource Refused(const char* name, const std::string& error,
                   std::optional<std::string> via = std::nullopt) {
  DiskSource source;
  source.name = name;
  source.error = error;
  source.via = std::move(via);
  return source;
}

DiskSource Answered(const char* name, std::string via, const SourceTexts& texts) {
  DiskSource source;
  source.name = name;
  source.ok = true;
  source.via = std::move(via);
  source.serial = texts.serial;
  source.model = texts.model;
  source.firmware = texts.firmware;
  return source;
}

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

constexpr std::size_t kIdentifySize = 512;
// Room for any serial a page holds but a few bytes, and a multiple of 4,
// which some USB bridges want (as the Windows source asks).
constexpr std::uint16_t kVpdAllocation = 252;

// What an SG_IO command came back with: error names the step that failed;
// `transferred` the bytes the device sent.
struct ScsiAnswer {
  std::string error;
  std::size_t transferred = 0;
};

// The command block goes as it is: the kernel copies cmd_len bytes of it and
// writes at most dxfer_len bytes of data and mx_sb_len bytes of sense.
ScsiAnswer SendScsiCommand(LinuxSystemInterface& system, int fd,
                           std::span<const std::uint8_t> command, std::span<std::uint8_t> data) {
  const auto dataSize = static_cast<std::uint32_t>(data.size());
  std::uint8_t sense[kSenseSize] = {};
  alignas(8) std::uint8_t header[SgIoHdr::kSize] = {};
  StoreLe32(header + SgIoHdr::interface_id.offset, static_cast<std::uint32_t>(kSgInterfaceIdOrig));
  StoreLe32(header + SgIoHdr::dxfer_direction.offset, static_cast<std::uint32_t>(kSgDxferFromDev));
  header[SgIoHdr::cmd_len.offset] = static_cast<std::uint8_t>(command.size());
  header[SgIoHdr::mx_sb_len.offset] = kSenseSize;
  StoreLe32(header + SgIoHdr::dxfer_len.offset, dataSize);
  StorePointer(header, SgIoHdr::dxferp, data.data());
  StorePointer(header, SgIoHdr::cmdp, command.data());
  StorePointer(header, SgIoHdr::sbp, sense);
  StoreLe32(header + SgIoHdr::timeout.offset, kCommandTimeout);
  int result = 0;
  if (const int error = system.Ioctl(fd, kSgIo, header, result); error != 0)
    return {StepError("sg-io", error), 0};
  if (const std::uint16_t host = LoadLe16(header + SgIoHdr::host_status.offset); host != 0)
    return {StepError("host-status", host), 0};
  if (const std::uint8_t status = header[SgIoHdr::status.offset]; status != kScsiStatusGood)
    return {StepError("scsi-status", status), 0};
  // resid is what the device did not send; a driver may leave it at 0.
  const auto resid = static_cast<std::int32_t>(LoadLe32(header + SgIoHdr::resid.offset));
  const std::int64_t sent = static_cast<std::int64_t>(dataSize) - resid;
  return {"", static_cast<std::size_t>(std::clamp<std::int64_t>(sent, 0, dataSize))};
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

DiskSource AskSysfs(LinuxSystemInterface& system, const LinuxDisk& disk) {
  // Where each kind of disk keeps its texts.
  std::string model;
  std::string firmware;
  std::string serial;
  switch (disk.bus) {
    case LinuxBus::kNvme:
      model = SysBlock(disk, "device/model");
      firmware = SysBlock(disk, "device/firmware_rev");
      serial = SysBlock(disk, "device/serial");
      break;
    case LinuxBus::kMmc:
    case LinuxBus::kSd:
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
  if (disk.bus != LinuxBus::kNvme || disk.nvmeController.empty())
    return Refused(kSourceNvmeIdentify, kNotApplicable);
  // The kernel keeps the texts of the controller's identify data.
  const std::string controller = "/sys/class/nvme/" + disk.nvmeController;
  const FileRead serial = ReadAttribute(system, controller + "/serial");
  if (serial.error.empty()) {
    SourceTexts texts;
    texts.serial = Text(serial);
    texts.model = Text(ReadAttribute(system, controller + "/model"));
    texts.firmware = Text(ReadAttribute(system, controller + "/firmware_rev"));
    return Answered(kSourceNvmeIdentify, controller + "/serial", texts);
  }

  const std::string node = "/dev/" + disk.nvmeController;
  const NodeOwner device(system, node);
  if (device.fd() < 0) return Refused(kSourceNvmeIdentify, StepError("open", device.error()), node);
  std::vector<std::uint8_t> data(kNvmeIdentifySize);
  alignas(8) std::uint8_t command[NvmeAdminCmd::kSize] = {};
  command[NvmeAdminCmd::opcode.offset] = kNvmeAdminIdentify;
  StorePointer(command, NvmeAdminCmd::addr, data.data());
  StoreLe32(command + NvmeAdminCmd::data_len.offset, kNvmeIdentifySize);
  StoreLe32(command + NvmeAdminCmd::cdw10.offset, kNvmeIdentifyController);
  StoreLe32(command + NvmeAdminCmd::timeout_ms.offset, kCommandTimeout);
  int result = 0;
  if (const int error = system.Ioctl(device.fd(), kNvmeIoctlAdminCmd, command, result); error != 0)
    return Refused(kSourceNvmeIdentify, StepError("nvme-admin", error), node);
  // A positive result is the status the controller completed the command with.
  if (result != 0) return Refused(kSourceNvmeIdentify, StepError("nvme-status", result), node);
  return Answered(kSourceNvmeIdentify, node, ReadNvmeControllerTexts(data));
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
      return Answered(kSourceAtaIdentify, path,
                      ReadIdentifyTexts(std::span(words.block).first(words.bytes)));
    error = file.error.empty() ? StepError("short", 0) : file.error;
    via = path;
  }
  if (!disk.scsi) return Refused(kSourceAtaIdentify, error, via);

  // SAT: the SCSI layer (libata's, or a USB bridge's) passes the command on.
  const NodeOwner device(system, disk.node);
  if (device.fd() < 0)
    return Refused(kSourceAtaIdentify, StepError("open", device.error()), disk.node);
  std::uint8_t data[kIdentifySize] = {};
  constexpr auto kCdb = SatIdentifyCdb();
  const ScsiAnswer answer = SendScsiCommand(system, device.fd(), kCdb, data);
  if (!answer.error.empty()) return Refused(kSourceAtaIdentify, answer.error, disk.node);
  return Answered(kSourceAtaIdentify, disk.node,
                  ReadIdentifyTexts(std::span(data).first(answer.transferred)));
}

DiskSource AskLinuxVpd(LinuxSystemInterface& system, const LinuxDisk& disk) {
  if (!disk.scsi) return Refused(kSourceScsiVpd80, kNotApplicable);
  // The page as the kernel read it when it found the disk; usb-storage
  // disks have none.
  const std::string path = SysBlock(disk, "device/vpd_pg80");
  const FileRead file = ReadAttribute(system, path);
  if (file.error.empty()) {
    const auto* page = reinterpret_cast<const std::uint8_t*>(file.bytes.data());
    return Answered(kSourceScsiVpd80, path, ReadVpdSerialTexts(std::span(page, file.bytes.size())));
  }

  const NodeOwner device(system, disk.node);
  if (device.fd() < 0)
    return Refused(kSourceScsiVpd80, StepError("open", device.error()), disk.node);
  constexpr auto kCdb = VpdInquiryCdb(kVpdSerialNumberPage, kVpdAllocation);
  std::uint8_t page[kVpdAllocation] = {};
  const ScsiAnswer answer = SendScsiCommand(system, device.fd(), kCdb, page);
  if (!answer.error.empty()) return Refused(kSourceScsiVpd80, answer.error, disk.node);
  return Answered(kSourceScsiVpd80, disk.node,
                  ReadVpdSerialTexts(std::span(page).first(answer.transferred)));
}

DiskSource AskUdev(LinuxSystemInterface& system, const LinuxDisk& disk, bool udevDatabase) {
  if (!udevDatabase) return Refused(kSourceUdev, kNoUdevDatabase);
  if (!disk.numbers) return Refused(kSourceUdev, kNotApplicable);
  char name[48];
  std::snprintf(name, sizeof name, "/run/udev/data/b%u:%u", disk.numbers->first,
                disk.numbers->second);
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
  return Answered(kSourceUdev, name, texts);
}

}  // namespace hdsn
