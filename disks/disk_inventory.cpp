#include "disks/disk_inventory.h"

#include <iterator>
#include <utility>

namespace hdsn {
namespace {

// The sources of both systems in the order their texts are preferred: the
// drive's own identify data first, then what the system keeps of it, WMI and
// udev last.
constexpr const char* kPreference[] = {
    kSourceAtaIdentify, kSourceNvmeIdentify, kSourceScsiVpd80, kSourceStorageDescriptor,
    kSourceSysfs,       kSourceWmi,          kSourceUdev};

const DiskSource* FindSource(const DiskEntry& disk, const char* name) {
  for (const DiskSource& source : disk.sources) {
    if (source.name == name) return &source;
  }
  return nullptr;
}

// The first text the sources give, in the order of preference.
void Settle(const DiskEntry& disk, std::optional<std::string> DiskSource::*field,
            std::optional<std::string>& text, std::string& from) {
  for (const char* name : kPreference) {
    const DiskSource* source = FindSource(disk, name);
    if (source == nullptr || !source->ok || !(source->*field)) continue;
    text = source->*field;
    from = name;
    return;
  }
}

// The names of Bus, in its order.
constexpr const char* kBusNames[] = {
    "Unknown", "SCSI",  "ATAPI", "ATA",  "1394",  "SSA", "Fibre",   "USB",
    "RAID",    "iSCSI", "SAS",   "SATA", "SD",    "MMC", "Virtual", "FileBackedVirtual",
    "Spaces",  "NVMe",  "SCM",   "UFS",  "NVMeoF"};
static_assert(std::size(kBusNames) == static_cast<std::size_t>(Bus::kOther));

}  // namespace

DiskSource Refused(const char* name, std::string error, std::optional<std::string> via) {
  DiskSource source;
  source.name = name;
  source.error = std::move(error);
  source.via = std::move(via);
  return source;
}

DiskSource Answered(const char* name, const SourceTexts& texts, std::optional<std::string> via) {
  DiskSource source;
  source.name = name;
  source.ok = true;
  source.via = std::move(via);
  source.serial = texts.serial;
  source.model = texts.model;
  source.firmware = texts.firmware;
  return source;
}

DiskSource FromAnswer(const char* name, const AnswerRead& read, std::optional<std::string> via) {
  if (!read.error.empty()) return Refused(name, read.error, std::move(via));
  return Answered(name, read.texts, std::move(via));
}

std::string BusName(const DiskBus& bus) {
  const auto at = static_cast<std::size_t>(bus.kind);
  if (at < std::size(kBusNames)) return kBusNames[at];
  return std::to_string(bus.otherNumber);
}

void SettleDisk(DiskEntry& disk) {
  disk.serial.reset();
  disk.model.reset();
  disk.firmware.reset();
  disk.serialSource.clear();
  disk.modelSource.clear();
  disk.firmwareSource.clear();
  Settle(disk, &DiskSource::serial, disk.serial, disk.serialSource);
  Settle(disk, &DiskSource::model, disk.model, disk.modelSource);
  Settle(disk, &DiskSource::firmware, disk.firmware, disk.firmwareSource);
  disk.agree = true;
  for (const DiskSource& source : disk.sources) {
    if (source.ok && source.serial && disk.serial && *source.serial != *disk.serial)
      disk.agree = false;
  }
}

}  // namespace hdsn
