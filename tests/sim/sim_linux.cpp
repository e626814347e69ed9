#include "sim/sim_linux.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <type_traits>

#include "disks/linux/layouts.h"
#include "disks/linux/program.h"
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
  std::uint64_t value = 0;
  for (std::size_t at = 0; at < field.width; ++at)
    value |= static_cast<std::uint64_t>(header[field.offset + at]) << (8 * at);
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
  calls.push_back("read " + std::to_string(fd));
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
  record.interfaceId = static_cast<std::int32_t>(LoadLe32(header + H::interface_id.offset));
  record.direction = static_cast<std::int32_t>(LoadLe32(header + H::dxfer_direction.offset));
  const std::uint8_t* cdb = LoadPointer(header, H::cmdp);
  record.cdb.assign(cdb, cdb + header[H::cmd_len.offset]);
  record.length = LoadLe32(header + H::dxfer_len.offset);
  record.timeout = LoadLe32(header + H::timeout.offset);
  record.senseLength = header[H::mx_sb_len.offset];
  sgIo.push_back(record);
  if (record.interfaceId != kSgInterfaceIdOrig || record.cdb.empty()) return kEinval;

  const Bytes& c = record.cdb;
  const std::optional<Bytes>* data = nullptr;
  if (c[0] == kScsiopInquiry && c.size() >= 6 && (c[1] & 1) != 0 && c[2] == kVpdSerialNumberPage)
    data = &node.vpdPage;
  if (c[0] == 0x85 && c.size() == 16 && c[14] == kAtaIdentifyDevice) data = &node.identify;
  StoreLe16(header + H::host_status.offset, node.hostStatus);
  if (data == nullptr || !*data) {
    // CHECK CONDITION with fixed sense: ILLEGAL REQUEST, INVALID COMMAND
    // OPERATION CODE, and the driver's DRIVER_SENSE.
    header[H::status.offset] = kScsiStatusCheckCondition;
    header[H::masked_status.offset] = kScsiStatusCheckCondition >> 1;
    StoreLe16(header + H::driver_status.offset, 0x08);
    const std::uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0};
    const std::size_t senseLength = std::min<std::size_t>(sizeof sense, record.senseLength);
    std::memcpy(LoadPointer(header, H::sbp), sense, senseLength);
    header[H::sb_len_wr.offset] = static_cast<std::uint8_t>(senseLength);
    StoreLe32(header + H::resid.offset, record.length);
    return 0;
  }
  const std::size_t sent = std::min<std::size_t>((*data)->size(), record.length);
  std::memcpy(LoadPointer(header, H::dxferp), (*data)->data(), sent);
  header[H::status.offset] = kScsiStatusGood;
  StoreLe32(header + H::resid.offset, static_cast<std::uint32_t>(record.length - sent));
  return 0;
}

int SimLinux::NvmeAdmin(const std::string& path, const SimNode& node, std::uint8_t* command,
                        int& result) {
  using C = NvmeAdminCmd;
  NvmeAdminRecord record{path,
                         command[C::opcode.offset],
                         LoadLe32(command + C::nsid.offset),
                         LoadLe32(command + C::cdw10.offset),
                         LoadLe32(command + C::data_len.offset),
                         LoadLe32(command + C::timeout_ms.offset)};
  nvmeAdmin.push_back(record);
  if (record.opcode != kNvmeAdminIdentify || (record.cdw10 & 0xFF) != kNvmeIdentifyCnsController) {
    result = 0x4002;  // Invalid Field in Command, as a controller completes it
    return 0;
  }
  // The kernel maps exactly data_len bytes of the caller's buffer.
  const std::size_t length = std::min<std::size_t>(record.length, node.nvmeIdentify->size());
  std::memcpy(LoadPointer(command, C::addr), node.nvmeIdentify->data(), length);
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

int SimLinuxMachine::RunDisks(const std::vector<const char*>& arguments) {
  std::vector<const char*> argv = {"hdsn-disks"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunDisksProgram(platform, static_cast<int>(argv.size()), argv.data());
}

std::vector<std::string> Leftovers(const SimLinuxMachine& machine) {
  std::vector<std::string> problems;
  if (machine.system.OpenFdCount() != 0)
    problems.push_back(std::to_string(machine.system.OpenFdCount()) + " descriptors left open");
  if (machine.system.badFdUses != 0)
    problems.push_back(std::to_string(machine.system.badFdUses) +
                       " uses of descriptors that were not open");
  return problems;
}

Bytes MakeLinuxIdentify(const std::string& serial, const std::string& model,
                        const std::string& firmware) {
  Bytes block(512, 0);
  StoreLe16(block.data(), 0x0040);
  PutAtaText(block, 10, 10, serial);
  PutAtaText(block, 23, 4, firmware);
  PutAtaText(block, 27, 20, model);
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

// The block device's directory, its links and its numbers.
void AddBlock(SimLinux& system, const std::string& block, const std::string& deviceLink,
              const SimDisk& disk, unsigned major, unsigned minorStep) {
  const unsigned minor = system.nextMinor[major];
  system.nextMinor[major] += minorStep;
  const std::string numbers = std::to_string(major) + ":" + std::to_string(minor);
  const std::string relative = block.substr(std::string("/sys").size());  // "/devices/..."
  system.AddFile(block + "/dev", numbers + "\n");
  system.AddFile(block + "/removable", disk.removable ? "1\n" : "0\n");
  system.AddDirectory(block + "/slaves");
  system.AddLink(block + "/device", deviceLink);
  system.AddLink("/sys/block/" + disk.name, ".." + relative);
  system.AddLink("/sys/class/block/" + disk.name, "../.." + relative);
  system.AddLink("/sys/dev/block/" + numbers, "../.." + relative);
  if (disk.udev) {
    std::string model = disk.model;
    std::replace(model.begin(), model.end(), ' ', '_');
    system.AddFile("/run/udev/data/b" + numbers,
                   "S:disk/by-id/" + model + "_" + disk.serial + "\nE:ID_SERIAL=" + model + "_" +
                       disk.serial + "\nE:ID_SERIAL_SHORT=" + disk.serial + "\nE:ID_MODEL=" +
                       model + "\nE:ID_REVISION=" + disk.firmware + "\nG:systemd\n");
  }
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

}  // namespace

std::string AddDisk(SimLinux& system, const SimDisk& disk) {
  const std::string node = "/dev/" + disk.name;
  const std::string pci = PciFunction(system);
  const int host = system.nextHost++;
  const std::string h = std::to_string(host);
  const std::string scsiTarget = "/host" + h + "/target" + h + ":0:0/" + h + ":0:0:0";
  const Bytes identify = MakeLinuxIdentify(disk.serial, disk.model, disk.firmware);
  SimNode scsiNode;
  std::string device;
  std::string block;

  switch (disk.kind) {
    case SimDiskKind::kSata:
    case SimDiskKind::kPata: {
      // libata: ataN/hostM for both; only the link's speed tells SATA.
      const std::string port = std::to_string(system.nextAtaPort++);
      const std::string ata = pci + "/ata" + port;
      const std::string unit = std::to_string(disk.pataUnit);
      device = ata + "/host" + h + "/target" + h + ":0:" + unit + "/" + h + ":0:" + unit + ":0";
      const Bytes page = MakeVpdSerialPage(Padded(disk.serial, 20));
      AddScsiDevice(system, device, "ATA", disk, true, page);
      const std::string link = ata + "/link" + port;
      system.AddFile(link + "/ata_link/link" + port + "/sata_spd",
                     disk.kind == SimDiskKind::kSata ? "1.5 Gbps\n" : "<unknown>\n");
      system.AddLink("/sys/class/ata_link/link" + port,
                     "../../devices" + link.substr(12) + "/ata_link/link" + port);
      const std::string ataDevice = "dev" + port + "." + unit;
      system.AddFile(link + "/" + ataDevice + "/ata_device/" + ataDevice + "/id",
                     AtaIdText(identify));
      system.AddLink(
          "/sys/class/ata_device/" + ataDevice,
          "../../devices" + link.substr(12) + "/" + ataDevice + "/ata_device/" + ataDevice);
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
      device = usbDevice + "/2-" + std::to_string(host + 1) + ":1.0" + scsiTarget;
      const Bytes page = MakeVpdSerialPage(disk.serial);
      // usb-storage devices are not asked for VPD pages by the kernel; they
      // answer INQUIRY of them all the same.
      const bool uas = disk.kind == SimDiskKind::kUas;
      AddScsiDevice(system, device, uas ? "HDSNUAS" : "QEMU", disk, uas, page);
      scsiNode.vpdPage = page;
      break;
    }
    case SimDiskKind::kNvme: {
      const std::string controller = disk.name.substr(0, disk.name.find('n', 4));
      const std::string directory = pci + "/nvme/" + controller;
      system.AddFile(directory + "/serial", Padded(disk.serial, 20) + "\n");
      system.AddFile(directory + "/model", Padded(disk.model, 40) + "\n");
      system.AddFile(directory + "/firmware_rev", Padded(disk.firmware, 8) + "\n");
      system.AddLink("/sys/class/nvme/" + controller, "../../devices" + directory.substr(12));
      SimNode admin;
      admin.scsi = false;
      admin.nvmeIdentify = MakeNvmeIdentify(disk.serial, disk.model, disk.firmware);
      system.AddNode("/dev/" + controller, admin);
      block = directory + "/" + disk.name;
      AddBlock(system, block, "../../" + controller, disk, 259, 1);
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
    case SimDiskKind::kMmc: {
      const std::string card = pci + "/mmc_host/mmc" + h + "/mmc" + h + ":0001";
      system.AddFile(card + "/name", disk.model + "\n");
      system.AddFile(card + "/serial", disk.serial + "\n");
      system.AddFile(card + "/type", "SD\n");
      block = card + "/block/" + disk.name;
      AddBlock(system, block, "../../../mmc" + h + ":0001", disk, 179, 8);
      scsiNode.scsi = false;
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
