#include "sim/sim_linux.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <tuple>
#include <type_traits>
#include <utility>

#include "disks/linux/layouts.h"
#include "disks/linux/program.h"
#include "protocol/ata.h"
#include "protocol/byte_order.h"
#include "protocol/nvme.h"
#include "protocol/scsi.h"

namespace hdsn::sim {
namespace {

using namespace layout;

constexpr int kMaxLinks = 40;

std::string Parent(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Join(const std::string& directory, const std::string& name) {
  return directory == "/" ? "/" + name : directory + "/" + name;
}

std::uint8_t* LoadPointer(const std::uint8_t* header, Field field) {
  const std::uint64_t value = field.width == 8 ? LoadNative<std::uint64_t>(header, field)
                                               : LoadNative<std::uint32_t>(header, field);
  return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(value));
}

// Blank-padded to the width; a text longer than that is cut.
std::string Padded(const std::string& text, std::size_t width) {
  std::string padded = text.substr(0, width);
  padded.resize(width, ' ');
  return padded;
}

void PutAtaText(Bytes& block, int firstWord, int words, const std::string& text) {
  const std::string padded = Padded(text, 2 * static_cast<std::size_t>(words));
  for (int word = 0; word < words; ++word) {
    block[2 * (firstWord + word)] = static_cast<std::uint8_t>(padded[2 * word + 1]);
    block[2 * (firstWord + word) + 1] = static_cast<std::uint8_t>(padded[2 * word]);
  }
}

std::string Hex2(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02x", value);
  return text;
}

// Bytes in hex as the kernel writes them: "%ph" (a blank between them),
// "%phN" (nothing), "%pU" (8-4-4-4-12).
std::string HexText(const Bytes& bytes, const char* separator = "") {
  std::string text;
  for (std::size_t at = 0; at < bytes.size(); ++at)
    text += (at > 0 ? separator : "") + Hex2(bytes[at]);
  return text;
}
std::string UuidText(const Bytes& bytes) {
  std::string text;
  for (std::size_t at = 0; at < bytes.size(); ++at)
    text += (at == 4 || at == 6 || at == 8 || at == 10 ? "-" : "") + Hex2(bytes[at]);
  return text;
}

}  // namespace

void SimLinux::AddDirectory(const std::string& path) {
  for (std::string at = path; at != "/"; at = Parent(at)) directories_.insert(at);
}

void SimLinux::AddFile(const std::string& path, const std::string& content) {
  AddDirectory(Parent(path));
  files_[path] = content;
}

void SimLinux::AddLink(const std::string& path, const std::string& target) {
  AddDirectory(Parent(path));
  links_[path] = target;
}

void SimLinux::AddNode(const std::string& path, const SimNode& node) {
  AddDirectory(Parent(path));
  nodes_[path] = node;
}

void SimLinux::Remove(const std::string& path) {
  const std::string under = path + "/";
  auto erase = [&](auto& container) {
    for (auto it = container.begin(); it != container.end();) {
      const std::string& key = [](const auto& entry) -> const std::string& {
        if constexpr (std::is_same_v<std::decay_t<decltype(entry)>, std::string>) {
          return entry;
        } else {
          return entry.first;
        }
      }(*it);
      if (key == path || key.compare(0, under.size(), under) == 0) {
        it = container.erase(it);
      } else {
        ++it;
      }
    }
  };
  erase(files_);
  erase(links_);
  erase(nodes_);
  erase(directories_);
}

bool SimLinux::Exists(const std::string& path) const {
  return files_.count(path) != 0 || directories_.count(path) != 0 || nodes_.count(path) != 0;
}

int SimLinux::Resolve(const std::string& path, std::string& resolved) const {
  if (path.empty() || path[0] != '/') return kEnoent;
  std::deque<std::string> rest;
  std::size_t at = 1;
  while (at <= path.size()) {
    const std::size_t end = std::min(path.find('/', at), path.size());
    if (end > at) rest.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  std::string current = "/";
  int links = 0;
  while (!rest.empty()) {
    const std::string part = rest.front();
    rest.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      current = Parent(current);
      continue;
    }
    if (directories_.count(current) == 0) return files_.count(current) ? kEnotdir : kEnoent;
    const std::string next = Join(current, part);
    const auto link = links_.find(next);
    if (link == links_.end()) {
      if (!Exists(next)) return kEnoent;
      current = next;
      continue;
    }
    if (++links > kMaxLinks) return kEloop;
    const std::string& target = link->second;
    std::deque<std::string> spliced;
    std::size_t from = target[0] == '/' ? 1 : 0;
    if (target[0] == '/') current = "/";
    while (from <= target.size()) {
      const std::size_t end = std::min(target.find('/', from), target.size());
      if (end > from) spliced.push_back(target.substr(from, end - from));
      from = end + 1;
    }
    rest.insert(rest.begin(), spliced.begin(), spliced.end());
  }
  resolved = current;
  return 0;
}

std::string SimLinux::Resolved(const std::string& path) const {
  std::string resolved;
  return Resolve(path, resolved) == 0 ? resolved : "";
}

std::string SimLinux::Content(const std::string& path) const {
  const auto file = files_.find(Resolved(path));
  return file == files_.end() ? "" : file->second;
}

std::vector<LinuxOpenRecord> SimLinux::NodeOpens() const {
  std::vector<LinuxOpenRecord> found;
  for (const LinuxOpenRecord& open : opens) {
    if (open.path.compare(0, 5, "/dev/") == 0) found.push_back(open);
  }
  return found;
}

int SimLinux::Open(const char* path, OpenMode mode, int& fd) {
  calls.push_back(std::string("open ") + path);
  fd = -1;
  auto refuse = [&](int error) {
    opens.push_back({path, mode, -1, error});
    return error;
  };
  if (const auto fault = faults_.Check("open", kEio)) return refuse(static_cast<int>(*fault));
  std::string resolved;
  if (const int error = Resolve(path, resolved); error != 0) return refuse(error);
  if (const auto refused = refuseOpen.find(resolved); refused != refuseOpen.end())
    return refuse(refused->second);
  if (directories_.count(resolved) != 0) return refuse(kEisdir);
  // Disk and controller nodes belong to root, mode 0600 (0660 with group disk).
  if (nodes_.count(resolved) != 0 && !root) return refuse(kEacces);
  fd = nextFd_++;
  open_[fd] = {resolved, 0};
  opens.push_back({path, mode, fd, 0});
  return 0;
}

int SimLinux::Read(int fd, void* buffer, std::size_t size, std::size_t& count) {
  calls.push_back("read " + std::to_string(fd) + " " + std::to_string(size));
  count = 0;
  const auto file = open_.find(fd);
  if (file == open_.end()) {
    ++badFdUses;
    return kEbadf;
  }
  if (const auto fault = faults_.Check("read", kEio)) return static_cast<int>(*fault);
  if (const auto refused = refuseRead.find(file->second.path); refused != refuseRead.end())
    return refused->second;
  const auto content = files_.find(file->second.path);
  if (content == files_.end()) return kEinval;  // a node: the sources never read one
  const std::string& bytes = content->second;
  const std::size_t offset = std::min(file->second.offset, bytes.size());
  count = std::min(size, bytes.size() - offset);
  std::memcpy(buffer, bytes.data() + offset, count);
  file->second.offset = offset + count;
  return 0;
}

int SimLinux::Close(int fd) {
  calls.push_back("close " + std::to_string(fd));
  closes.push_back(fd);
  if (open_.erase(fd) == 0) {
    ++badFdUses;
    return kEbadf;
  }
  // Linux releases the descriptor even when close reports an error.
  if (const auto fault = faults_.Check("close", kEio)) return static_cast<int>(*fault);
  return 0;
}

int SimLinux::Ioctl(int fd, unsigned long request, void* argument, int& result) {
  char line[64];
  std::snprintf(line, sizeof line, "ioctl %d 0x%lX", fd, request);
  calls.push_back(line);
  result = -1;
  const auto file = open_.find(fd);
  if (file == open_.end()) {
    ++badFdUses;
    return kEbadf;
  }
  if (const auto fault = faults_.Check("ioctl", kEio)) return static_cast<int>(*fault);
  const auto node = nodes_.find(file->second.path);
  if (node == nodes_.end()) return kEnotty;
  auto* bytes = static_cast<std::uint8_t*>(argument);
  if (request == kSgIo && node->second.scsi) {
    result = 0;
    return SgIo(file->second.path, node->second, bytes);
  }
  if (request == kNvmeIoctlAdminCmd && node->second.nvmeIdentify)
    return NvmeAdmin(file->second.path, node->second, bytes, result);
  return kEnotty;
}

int SimLinux::SgIo(const std::string& path, const SimNode& node, std::uint8_t* header) {
  using H = SgIoHdr;
  SgIoRecord record;
  record.path = path;
  record.interfaceId = LoadNative<std::int32_t>(header, H::interface_id);
  record.direction = LoadNative<std::int32_t>(header, H::dxfer_direction);
  const std::uint8_t* cdb = LoadPointer(header, H::cmdp);
  record.cdb.assign(cdb, cdb + header[H::cmd_len.offset]);
  record.length = LoadNative<std::uint32_t>(header, H::dxfer_len);
  record.timeout = LoadNative<std::uint32_t>(header, H::timeout);
  record.senseLength = header[H::mx_sb_len.offset];
  sgIo.push_back(record);
  if (record.interfaceId != kSgInterfaceIdOrig || record.cdb.empty()) return kEinval;

  const Bytes& c = record.cdb;
  const std::optional<Bytes>* data = nullptr;
  if (c[0] == kScsiopInquiry && c.size() >= 6 && (c[1] & 1) != 0) {
    if (c[2] == kVpdSerialNumberPage) data = &node.vpdPage;
    if (c[2] == kVpdDeviceIdentificationPage) data = &node.deviceIdPage;
    if (c[2] == kVpdBlockDeviceCharacteristicsPage) data = &node.blockCharacteristicsPage;
  }
  if (c[0] == 0x85 && c.size() == 16 && c[14] == kAtaIdentifyDevice) data = &node.identify;
  std::uint16_t driverStatus = 0;
  std::int32_t resid = 0;
  if (data == nullptr || !*data) {
    // CHECK CONDITION with fixed sense: ILLEGAL REQUEST, INVALID COMMAND
    // OPERATION CODE, and the driver's DRIVER_SENSE.
    header[H::status.offset] = kScsiStatusCheckCondition;
    header[H::masked_status.offset] = kScsiStatusCheckCondition >> 1;
    driverStatus = kSgDriverSense;
    const std::uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0};
    const std::size_t senseLength = std::min<std::size_t>(sizeof sense, record.senseLength);
    std::memcpy(LoadPointer(header, H::sbp), sense, senseLength);
    header[H::sb_len_wr.offset] = static_cast<std::uint8_t>(senseLength);
    resid = static_cast<std::int32_t>(record.length);
  } else {
    const std::size_t sent = std::min<std::size_t>((*data)->size(), record.length);
    std::memcpy(LoadPointer(header, H::dxferp), (*data)->data(), sent);
    header[H::status.offset] = kScsiStatusGood;
    resid = static_cast<std::int32_t>(record.length - sent);
  }
  // What the kernel adds, or what a broken driver says instead.
  driverStatus = node.driverStatus.value_or(driverStatus);
  std::uint32_t info =
      header[H::masked_status.offset] != 0 || node.hostStatus != 0 || driverStatus != 0
          ? kSgInfoCheck
          : 0;
  StoreNative(header, H::host_status, node.hostStatus);
  StoreNative(header, H::driver_status, driverStatus);
  StoreNative(header, H::info, node.info.value_or(info));
  StoreNative(header, H::resid, node.resid.value_or(resid));
  return 0;
}

int SimLinux::NvmeAdmin(const std::string& path, const SimNode& node, std::uint8_t* command,
                        int& result) {
  using C = NvmeAdminCmd;
  NvmeAdminRecord record{path,
                         command[C::opcode.offset],
                         LoadNative<std::uint32_t>(command, C::nsid),
                         LoadNative<std::uint32_t>(command, C::cdw10),
                         LoadNative<std::uint32_t>(command, C::data_len),
                         LoadNative<std::uint32_t>(command, C::timeout_ms)};
  nvmeAdmin.push_back(record);
  const Bytes* data = nullptr;
  if (record.opcode == kNvmeAdminIdentify) {
    const std::uint32_t cns = record.cdw10 & 0xFF;
    auto of = [&](const std::map<std::uint32_t, Bytes>& answers) {
      const auto found = answers.find(record.nsid);
      return found == answers.end() ? nullptr : &found->second;
    };
    if (cns == kNvmeIdentifyCnsController) data = &*node.nvmeIdentify;
    if (cns == kNvmeIdentifyCnsNamespace) data = of(node.nvmeNamespaces);
    if (cns == kNvmeIdentifyCnsDescriptors) data = of(node.nvmeDescriptors);
  }
  if (data == nullptr) {
    result = 0x4002;  // Invalid Field in Command, as a controller completes it
    return 0;
  }
  if (node.nvmeStatus != 0) {
    result = node.nvmeStatus;
    return 0;
  }
  // The kernel maps exactly data_len bytes of the caller's buffer.
  const std::size_t length = std::min<std::size_t>(record.length, data->size());
  std::memcpy(LoadPointer(command, C::addr), data->data(), length);
  result = 0;
  return 0;
}

int SimLinux::ResolvePath(const char* path, std::string& resolved) {
  calls.push_back(std::string("realpath ") + path);
  if (const auto fault = faults_.Check("realpath", kEio)) return static_cast<int>(*fault);
  return Resolve(path, resolved);
}

int SimLinux::ListDirectory(const char* path, std::vector<std::string>& names) {
  calls.push_back(std::string("opendir ") + path);
  if (const auto fault = faults_.Check("opendir", kEio)) return static_cast<int>(*fault);
  std::string directory;
  if (const int error = Resolve(path, directory); error != 0) return error;
  if (directories_.count(directory) == 0) return kEnotdir;
  std::set<std::string> found;
  auto collect = [&](const std::string& entry) {
    if (entry != "/" && Parent(entry) == directory)
      found.insert(entry.substr(entry.rfind('/') + 1));
  };
  for (const auto& [entry, content] : files_) collect(entry);
  for (const auto& [entry, target] : links_) collect(entry);
  for (const auto& [entry, node] : nodes_) collect(entry);
  for (const std::string& entry : directories_) collect(entry);
  // readdir's order is the file system's: not sorted.
  names.assign(found.rbegin(), found.rend());
  return 0;
}

int SimLinux::FileSystemDevice(const char* path, unsigned& major, unsigned& minor) {
  calls.push_back(std::string("stat ") + path);
  if (const auto fault = faults_.Check("stat", kEio)) return static_cast<int>(*fault);
  std::string resolved;
  if (const int error = Resolve(path, resolved); error != 0) return error;
  std::size_t longest = 0;
  bool found = false;
  for (const auto& [mountPoint, numbers] : fileSystems) {
    const bool holds = mountPoint == "/" || resolved == mountPoint ||
                       resolved.compare(0, mountPoint.size() + 1, mountPoint + "/") == 0;
    if (holds && (!found || mountPoint.size() > longest)) {
      longest = mountPoint.size();
      std::tie(major, minor) = numbers;
      found = true;
    }
  }
  return found ? 0 : kEnoent;
}

int SimLinuxMachine::RunDisks(const std::vector<const char*>& arguments) {
  std::vector<const char*> argv = {"hdsn-disks"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunDisksProgram(platform, files, static_cast<int>(argv.size()), argv.data());
}

std::vector<std::string> Leftovers(const SimLinuxMachine& machine) {
  std::vector<std::string> problems;
  if (machine.system.OpenFdCount() != 0)
    problems.push_back(std::to_string(machine.system.OpenFdCount()) + " descriptors left open");
  if (machine.system.badFdUses != 0)
    problems.push_back(std::to_string(machine.system.badFdUses) +
                       " uses of descriptors that were not open");
  AddOutputFileLeftovers(machine.files, problems);
  return problems;
}

Bytes MakeLinuxIdentify(const std::string& serial, const std::string& model,
                        const std::string& firmware) {
  Bytes block(512, 0);
  StoreLe16(block.data(), 0x0040);
  PutAtaText(block, 10, 10, serial);
  PutAtaText(block, 23, 4, firmware);
  PutAtaText(block, 27, 20, model);
  return WithIdentifyChecksum(std::move(block));
}

Bytes WithIdentifyChecksum(Bytes block) {
  block[510] = 0xA5;  // the signature, word 255's low byte
  block[511] = 0;
  unsigned sum = 0;
  for (const std::uint8_t byte : block) sum += byte;
  block[511] = static_cast<std::uint8_t>(-sum);
  return block;
}

std::string AtaIdText(const Bytes& identify) {
  std::string text;
  for (std::size_t word = 0; word < 256; ++word) {
    const int value = word * 2 + 1 < identify.size() ? LoadLe16(identify.data() + 2 * word) : 0;
    text += Hex2(value >> 8) + Hex2(value & 0xFF);
    text += (word + 1) % 8 == 0 ? '\n' : ' ';
  }
  return text;
}

Bytes MakeNvmeIdentify(const std::string& serial, const std::string& model,
                       const std::string& firmware) {
  using Identify = NVME_IDENTIFY_CONTROLLER_DATA;
  Bytes data(Identify::kSize, 0);
  for (const auto& [field, text] : {std::pair{Identify::SN, serial}, std::pair{Identify::MN, model},
                                    std::pair{Identify::FR, firmware}}) {
    const std::string padded = Padded(text, field.width);
    std::memcpy(data.data() + field.offset, padded.data(), field.width);
  }
  return data;
}

namespace {

std::string PciFunction(SimLinux& system) {
  char text[32];
  std::snprintf(text, sizeof text, "0000:00:%02x.0", system.nextPci++);
  return std::string("/sys/devices/pci0000:00/") + text;
}

// udev's entry of a disk as Debian's rules (60-persistent-storage.rules)
// and helpers write it: virtio-blk and MMC disks get ID_SERIAL, the serial
// alone; the others ID_SERIAL_SHORT, ID_SERIAL the model and serial joined
// (the model alone without a serial), ID_MODEL with "_" for blanks and
// ID_MODEL_ENC with "\x20", as the helpers of ATA, SCSI and USB disks write
// them; but scsi_id gives a SCSI disk with a WWN that as ID_SERIAL_SHORT
// ("3" before it in ID_SERIAL), and its unit serial as ID_SCSI_SERIAL.
std::string UdevEntry(const SimDisk& disk) {
  std::string model = disk.model;
  std::replace(model.begin(), model.end(), ' ', '_');
  std::string encoded;
  for (const char c : disk.model) encoded += c == ' ' ? std::string("\\x20") : std::string(1, c);
  std::string entry;
  switch (disk.kind) {
    case SimDiskKind::kVirtioBlock:
      entry = "E:ID_SERIAL=" + disk.serial + "\n";
      break;
    case SimDiskKind::kMmc:
    case SimDiskKind::kEmmc:
      entry = "E:ID_NAME=" + disk.model + "\nE:ID_SERIAL=" + disk.serial + "\n";
      break;
    case SimDiskKind::kSas:
    case SimDiskKind::kVirtioScsi:
      if (!disk.identity.wwn.empty()) {
        entry = "E:ID_SERIAL=3" + HexText(disk.identity.wwn) +
                "\nE:ID_SERIAL_SHORT=" + HexText(disk.identity.wwn) + "\nE:ID_WWN=0x" +
                HexText(disk.identity.wwn) + "\nE:ID_SCSI_SERIAL=" + disk.serial + "\n";
        break;
      }
      [[fallthrough]];
    default:
      entry = "E:ID_SERIAL=" + model + (disk.serial.empty() ? "" : "_" + disk.serial) + "\n";
      if (!disk.serial.empty()) entry += "E:ID_SERIAL_SHORT=" + disk.serial + "\n";
      entry += "E:ID_MODEL=" + model + "\nE:ID_MODEL_ENC=" + encoded +
               "\nE:ID_REVISION=" + disk.firmware + "\n";
  }
  return "S:disk/by-id/" + model + "_" + disk.serial + "\n" + entry + "G:systemd\n";
}

// The block device's directory, its links and its numbers.
void AddBlock(SimLinux& system, const std::string& block, const std::string& deviceLink,
              const SimDisk& disk, unsigned major, unsigned minorStep) {
  const unsigned minor = system.nextMinor[major];
  system.nextMinor[major] += minorStep;
  const std::string numbers = std::to_string(major) + ":" + std::to_string(minor);
  const std::string relative = block.substr(std::string("/sys").size());  // "/devices/..."
  system.AddFile(block + "/dev", numbers + "\n");
  system.AddFile(block + "/removable", disk.removable ? "1\n" : "0\n");
  system.AddFile(block + "/hidden", "0\n");
  const SimIdentity& identity = disk.identity;
  system.AddFile(block + "/size",
                 std::to_string(identity.sectors * identity.logicalSectorSize / 512) + "\n");
  system.AddFile(block + "/queue/logical_block_size",
                 std::to_string(identity.logicalSectorSize) + "\n");
  system.AddFile(block + "/queue/physical_block_size",
                 std::to_string(identity.physicalSectorSize) + "\n");
  // 1 unless the driver knows better or the drive said its media does not
  // rotate, which usb-storage disks are not asked.
  const bool solid = disk.kind == SimDiskKind::kNvme || disk.kind == SimDiskKind::kMmc ||
                     disk.kind == SimDiskKind::kEmmc ||
                     disk.kind == SimDiskKind::kNvmeOverFabrics ||
                     (identity.rotation == 1 && disk.kind != SimDiskKind::kUsbStorage &&
                      disk.kind != SimDiskKind::kVirtioBlock);
  system.AddFile(block + "/queue/rotational", solid ? "0\n" : "1\n");
  system.AddDirectory(block + "/slaves");
  system.AddLink(block + "/device", deviceLink);
  system.AddLink("/sys/block/" + disk.name, ".." + relative);
  system.AddLink("/sys/class/block/" + disk.name, "../.." + relative);
  system.AddLink("/sys/dev/block/" + numbers, "../.." + relative);
  if (disk.udev) system.AddFile("/run/udev/data/b" + numbers, UdevEntry(disk));
}

// A SCSI disk's device: the attributes of its INQUIRY data.
void AddScsiDevice(SimLinux& system, const std::string& device, const std::string& vendor,
                   const SimDisk& disk, bool vpdFile, const Bytes& vpdPage) {
  system.AddFile(device + "/vendor", Padded(vendor, 8) + "\n");
  system.AddFile(device + "/model", Padded(disk.model, 16) + "\n");
  system.AddFile(device + "/rev", Padded(disk.firmware, 4) + "\n");
  system.AddFile(device + "/type", "0\n");
  if (vpdFile) system.AddFile(device + "/vpd_pg80", std::string(vpdPage.begin(), vpdPage.end()));
}

// The device identification and block device characteristics pages: the
// device answers INQUIRY of them, and the kernel keeps them but of a
// usb-storage disk, which it asks no VPD page.
void AddVpdPages(SimLinux& system, const std::string& device, const std::string& vendorId,
                 const SimDisk& disk, SimNode& node) {
  const Bytes deviceId = MakeVpdDeviceIdPage(vendorId, disk.identity);
  const Bytes characteristics = MakeVpdBlockCharacteristicsPage(disk.identity.rotation);
  node.deviceIdPage = deviceId;
  node.blockCharacteristicsPage = characteristics;
  if (disk.kind == SimDiskKind::kUsbStorage) return;
  system.AddFile(device + "/vpd_pg83", std::string(deviceId.begin(), deviceId.end()));
  system.AddFile(device + "/vpd_pgb1", std::string(characteristics.begin(), characteristics.end()));
  if (!disk.identity.wwn.empty())
    system.AddFile(device + "/wwid", "naa." + HexText(disk.identity.wwn) + "\n");
}

// An NVMe namespace's identifiers as the kernel publishes them: a file for
// each that is not zero, `uuid` the NGUID where there is no UUID, `wwid` the
// first of UUID, NGUID and EUI-64, else a stand-in of the controller's
// vendor (QEMU's), serial and model.
void AddNamespaceIds(SimLinux& system, const std::string& block, const SimDisk& disk) {
  const SimIdentity& identity = disk.identity;
  auto given = [&](const Bytes& bytes) {
    return !disk.bogusNamespaceIds &&
           std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0; });
  };
  std::string wwid = "nvme.1b36-" + HexText(Bytes(disk.serial.begin(), disk.serial.end())) + "-" +
                     HexText(Bytes(disk.model.begin(), disk.model.end())) + "-00000001";
  if (given(identity.eui64)) {
    system.AddFile(block + "/eui", HexText(identity.eui64, " ") + "\n");
    wwid = "eui." + HexText(identity.eui64);
  }
  if (given(identity.nguid)) {
    system.AddFile(block + "/nguid", UuidText(identity.nguid) + "\n");
    wwid = "eui." + HexText(identity.nguid);
  }
  if (given(identity.uuid) || given(identity.nguid))
    system.AddFile(block + "/uuid",
                   UuidText(given(identity.uuid) ? identity.uuid : identity.nguid) + "\n");
  if (given(identity.uuid)) wwid = "uuid." + UuidText(identity.uuid);
  system.AddFile(block + "/wwid", wwid + "\n");
  system.AddFile(block + "/nsid", "1\n");
}

// The drive's IDENTIFY data, its identity's words in it.
Bytes LinuxIdentify(const SimDisk& disk) {
  Bytes identify = MakeLinuxIdentify(disk.serial, disk.model, disk.firmware);
  if (disk.identity.sectors == 0) return identify;
  IdentifyBlock block{};
  std::copy(identify.begin(), identify.end(), block.begin());
  block = WithIdentity(block, disk.identity);
  return WithIdentifyChecksum(Bytes(block.begin(), block.end()));
}

}  // namespace

std::string AddDisk(SimLinux& system, const SimDisk& disk) {
  const std::string node = "/dev/" + disk.name;
  const std::string pci = PciFunction(system);
  const int host = system.nextHost++;
  const std::string h = std::to_string(host);
  const std::string scsiTarget = "/host" + h + "/target" + h + ":0:0/" + h + ":0:0:0";
  const Bytes identify = LinuxIdentify(disk);
  SimNode scsiNode;
  std::string device;
  std::string block;

  switch (disk.kind) {
    case SimDiskKind::kSata:
    case SimDiskKind::kPata: {
      // libata: ataN/hostM for both; only the link's speed tells SATA.
      // Behind a port multiplier, port P of it is the SCSI channel and its
      // own link and device are named after it; the multiplier is the
      // device of the port's link, with no IDENTIFY data.
      const std::string port =
          std::to_string(disk.ataPort != 0 ? disk.ataPort : system.nextAtaPort++);
      const std::string ata = pci + "/ata" + port;
      const bool behind = disk.multiplierPort >= 0;
      const std::string channel = behind ? std::to_string(disk.multiplierPort) : "0";
      const std::string unit = behind ? "0" : std::to_string(disk.pataUnit);
      const std::string address = h + ":" + channel + ":" + unit;
      device = ata + "/host" + h + "/target" + address + "/" + address + ":0";
      const Bytes page = MakeVpdSerialPage(Padded(disk.serial, 20));
      AddScsiDevice(system, device, "ATA", disk, true, page);
      AddVpdPages(system, device, "ATA     " + Padded(disk.model, 40) + Padded(disk.serial, 20),
                  disk, scsiNode);
      const std::string linkName = "link" + port + (behind ? "." + channel : "");
      const std::string link = ata + "/" + linkName;
      auto addAtaDevice = [&](const std::string& directory, const std::string& name,
                              const std::string& id) {
        system.AddFile(directory + "/" + name + "/ata_device/" + name + "/id", id);
        system.AddLink("/sys/class/ata_device/" + name,
                       "../../devices" + directory.substr(12) + "/" + name + "/ata_device/" + name);
      };
      system.AddFile(link + "/ata_link/" + linkName + "/sata_spd",
                     disk.kind == SimDiskKind::kSata ? "1.5 Gbps\n" : "<unknown>\n");
      system.AddLink("/sys/class/ata_link/" + linkName,
                     "../../devices" + link.substr(12) + "/ata_link/" + linkName);
      if (behind) addAtaDevice(ata + "/link" + port, "dev" + port + ".0", "");
      addAtaDevice(link, "dev" + port + "." + (behind ? channel + ".0" : unit),
                   AtaIdText(identify));
      scsiNode.identify = identify;
      scsiNode.vpdPage = page;
      break;
    }
    case SimDiskKind::kVirtioScsi:
    case SimDiskKind::kSas: {
      device = disk.kind == SimDiskKind::kSas
                   ? pci + "/host" + h + "/port-" + h + ":0/end_device-" + h + ":0/target" + h +
                         ":0:0/" + h + ":0:0:0"
                   : pci + "/virtio" + std::to_string(host) + scsiTarget;
      const Bytes page = MakeVpdSerialPage(disk.serial);
      AddScsiDevice(system, device, "HDSNVEND", disk, true, page);
      AddVpdPages(system, device, "HDSNVEND" + disk.model, disk, scsiNode);
      scsiNode.vpdPage = page;
      break;
    }
    case SimDiskKind::kUsbStorage:
    case SimDiskKind::kUas: {
      const std::string usbDevice = pci + "/usb2/2-" + std::to_string(host + 1);
      system.AddFile(pci + "/usb2/serial", pci.substr(pci.rfind('/') + 1) + "\n");
      system.AddFile(pci + "/usb2/idVendor", "1d6b\n");
      system.AddFile(usbDevice + "/idVendor", "46f4\n");
      system.AddFile(usbDevice + "/serial",
                     (disk.usbSerial.empty() ? disk.serial : disk.usbSerial) + "\n");
      const std::string usbInterface = usbDevice + "/2-" + std::to_string(host + 1) + ":1.0";
      device = usbInterface + scsiTarget;
      const Bytes page = MakeVpdSerialPage(disk.serial);
      // usb-storage devices are not asked for VPD pages by the kernel; they
      // answer INQUIRY of them all the same.
      const bool uas = disk.kind == SimDiskKind::kUas;
      const std::string driver =
          std::string("/sys/bus/usb/drivers/") + (uas ? "uas" : "usb-storage");
      system.AddDirectory(driver);
      system.AddLink(usbInterface + "/driver", driver);
      AddScsiDevice(system, device, uas ? "HDSNUAS" : "QEMU", disk, uas, page);
      AddVpdPages(system, device, "HDSNUAS " + disk.model, disk, scsiNode);
      scsiNode.vpdPage = page;
      break;
    }
    case SimDiskKind::kNvme:
    case SimDiskKind::kNvmeOverFabrics: {
      const int subsystem = std::stoi(disk.name.substr(4, disk.name.find('n', 4) - 4));
      const bool fabrics = disk.kind == SimDiskKind::kNvmeOverFabrics;
      // Each controller: its directory, attributes, class link and node.
      auto addController = [&](int number) {
        const std::string controller = "nvme" + std::to_string(number);
        const std::string directory =
            (fabrics ? std::string("/sys/devices/virtual/nvme-fabrics/ctl")
                     : (number == subsystem ? pci : PciFunction(system)) + "/nvme") +
            "/" + controller;
        system.AddFile(directory + "/serial", Padded(disk.serial, 20) + "\n");
        system.AddFile(directory + "/model", Padded(disk.model, 40) + "\n");
        system.AddFile(directory + "/firmware_rev", Padded(disk.firmware, 8) + "\n");
        system.AddLink("/sys/class/nvme/" + controller, "../../devices" + directory.substr(12));
        SimNode admin;
        admin.scsi = false;
        admin.nvmeIdentify = MakeNvmeIdentify(disk.serial, disk.model, disk.firmware);
        admin.nvmeNamespaces[1] = MakeNvmeNamespaceData(disk.identity);
        admin.nvmeDescriptors[1] = MakeNvmeDescriptors(disk.identity);
        system.AddNode("/dev/" + controller, admin);
        return directory;
      };
      if (disk.nvmePaths == 0) {
        const std::string directory = addController(subsystem);
        block = directory + "/" + disk.name;
        AddBlock(system, block, "../../" + directory.substr(directory.rfind('/') + 1), disk, 259,
                 1);
      } else {
        // Native multipath: the namespace's disk is the subsystem's, each
        // controller's way to it a hidden block device without a node.
        const std::string subsys =
            "/sys/devices/virtual/nvme-subsystem/nvme-subsys" + std::to_string(subsystem);
        system.AddFile(subsys + "/serial", Padded(disk.serial, 20) + "\n");
        system.AddFile(subsys + "/model", Padded(disk.model, 40) + "\n");
        system.AddFile(subsys + "/firmware_rev", Padded(disk.firmware, 8) + "\n");
        block = subsys + "/" + disk.name;
        AddBlock(system, block, "../../nvme-subsys" + std::to_string(subsystem), disk, 259, 1);
        for (int path = 0; path < disk.nvmePaths; ++path) {
          const int number = subsystem + path;
          const std::string directory = addController(number);
          system.AddLink(subsys + "/nvme" + std::to_string(number), directory);
          SimDisk hidden = disk;
          hidden.name = "nvme" + std::to_string(subsystem) + "c" + std::to_string(number) +
                        disk.name.substr(disk.name.find('n', 4));
          hidden.udev = false;
          const std::string pathBlock = directory + "/" + hidden.name;
          AddBlock(system, pathBlock, "../../nvme" + std::to_string(number), hidden, 259, 1);
          system.AddFile(pathBlock + "/hidden", "1\n");
        }
      }
      AddNamespaceIds(system, block, disk);
      scsiNode.scsi = false;
      system.AddNode(node, scsiNode);
      return block;
    }
    case SimDiskKind::kVirtioBlock: {
      const std::string virtio = "virtio" + std::to_string(host);
      system.AddFile(pci + "/" + virtio + "/vendor", "0x1af4\n");
      system.AddFile(pci + "/" + virtio + "/device", "0x0002\n");
      block = pci + "/" + virtio + "/block/" + disk.name;
      AddBlock(system, block, "../../../" + virtio, disk, 254, 16);
      system.AddFile(block + "/serial", disk.serial);  // no line feed
      scsiNode.scsi = false;
      system.AddNode(node, scsiNode);
      return block;
    }
    case SimDiskKind::kMmc:
    case SimDiskKind::kEmmc: {
      const bool emmc = disk.kind == SimDiskKind::kEmmc;
      const std::string card = pci + "/mmc_host/mmc" + h + "/mmc" + h + ":0001";
      system.AddFile(card + "/name", disk.model + "\n");
      system.AddFile(card + "/serial", disk.serial + "\n");
      system.AddFile(card + "/type", emmc ? "MMC\n" : "SD\n");
      if (!disk.firmware.empty()) system.AddFile(card + "/fwrev", disk.firmware + "\n");
      if (emmc) system.AddFile(card + "/prv", "0x0\n");
      block = card + "/block/" + disk.name;
      AddBlock(system, block, "../../../mmc" + h + ":0001", disk, 179, 8);
      scsiNode.scsi = false;
      // An eMMC's other areas are block devices of the card too.
      for (const char* area : {"boot0", "boot1", "rpmb"}) {
        if (!emmc) break;
        SimDisk other = disk;
        other.name = disk.name + area;
        other.udev = false;
        AddBlock(system, card + "/block/" + other.name, "../../../mmc" + h + ":0001", other, 179,
                 8);
        system.AddNode("/dev/" + other.name, scsiNode);
      }
      system.AddNode(node, scsiNode);
      return block;
    }
  }
  block = device + "/block/" + disk.name;
  AddBlock(system, block, "../../../" + device.substr(device.rfind('/') + 1), disk, 8, 16);
  system.AddNode(node, scsiNode);
  return block;
}

std::string AddPartition(SimLinux& system, const std::string& disk, int number) {
  const std::string block = system.Resolved("/sys/block/" + disk);
  const std::string numbers = system.Content(block + "/dev");
  const unsigned major = static_cast<unsigned>(std::stoul(numbers));
  const unsigned minor = static_cast<unsigned>(std::stoul(numbers.substr(numbers.find(':') + 1)));
  const std::string name =
      disk + (disk.back() >= '0' && disk.back() <= '9' ? "p" : "") + std::to_string(number);
  const std::string partition = block + "/" + name;
  const std::string partitionNumbers = std::to_string(major) + ":" + std::to_string(minor + number);
  system.AddFile(partition + "/partition", std::to_string(number) + "\n");
  system.AddFile(partition + "/dev", partitionNumbers + "\n");
  const std::string relative = partition.substr(std::string("/sys").size());
  system.AddLink("/sys/class/block/" + name, "../.." + relative);
  system.AddLink("/sys/dev/block/" + partitionNumbers, "../.." + relative);
  return partition;
}

std::string AddStackedDevice(SimLinux& system, const std::string& name,
                             const std::vector<std::string>& members) {
  const unsigned major = name.compare(0, 2, "md") == 0 ? 9 : 253;
  const unsigned minor = system.nextMinor[major]++;
  const std::string numbers = std::to_string(major) + ":" + std::to_string(minor);
  const std::string block = "/sys/devices/virtual/block/" + name;
  system.AddFile(block + "/dev", numbers + "\n");
  system.AddFile(block + "/removable", "0\n");
  for (const std::string& member : members) {
    const std::string target = system.Resolved("/sys/class/block/" + member);
    system.AddLink(block + "/slaves/" + member, "../../../../.." + target.substr(4));
  }
  system.AddLink("/sys/block/" + name, "../devices/virtual/block/" + name);
  system.AddLink("/sys/class/block/" + name, "../../devices/virtual/block/" + name);
  system.AddLink("/sys/dev/block/" + numbers, "../../devices/virtual/block/" + name);
  return block;
}

std::string AddLoopDevice(SimLinux& system, const std::string& name,
                          const std::string& backingFile) {
  const unsigned minor = system.nextMinor[7]++;
  const std::string numbers = "7:" + std::to_string(minor);
  const std::string block = "/sys/devices/virtual/block/" + name;
  system.AddFile(block + "/dev", numbers + "\n");
  system.AddFile(block + "/removable", "0\n");
  system.AddFile(block + "/loop/backing_file", backingFile + "\n");
  system.AddDirectory(block + "/slaves");
  system.AddLink("/sys/block/" + name, "../devices/virtual/block/" + name);
  system.AddLink("/sys/class/block/" + name, "../../devices/virtual/block/" + name);
  system.AddLink("/sys/dev/block/" + numbers, "../../devices/virtual/block/" + name);
  system.AddFile(backingFile, "");
  return block;
}

void MountRoot(SimLinux& system, const std::string& name, const std::string& type) {
  std::string table = "1 1 0:2 / / rw - rootfs rootfs rw\n";
  if (!name.empty()) {
    std::string numbers = system.Content("/sys/class/block/" + name + "/dev");
    // A machine made of fuzz input may give the disk no dev file at all.
    if (!numbers.empty() && numbers.back() == '\n') numbers.pop_back();
    table = "22 1 " + numbers + " / / rw,relatime shared:1 - " + type + " /dev/" + name +
            " rw,errors=remount-ro\n";
  }
  table += "23 22 0:21 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n";
  system.AddFile("/proc/self/mountinfo", table);
}

}  // namespace hdsn::sim
