#include "disks/disk_inventory.h"

#include <iterator>
#include <utility>
#include <vector>

#include "protocol/nvme.h"

namespace hdsn {
namespace {

// The sources of both systems in the order their texts and values are
// preferred: the drive's own identify data and pages first, then what the
// system keeps of them or tells itself, WMI and udev last.
constexpr const char* kPreference[] = {kSourceAtaIdentify,
                                       kSourceNvmeIdentify,
                                       kSourceNvmeNamespace,
                                       kSourceScsiVpd80,
                                       kSourceScsiVpd83,
                                       kSourceScsiVpdB1,
                                       kSourceStorageDescriptor,
                                       kSourceSysfs,
                                       kSourceAccessAlignment,
                                       kSourceSeekPenalty,
                                       kSourceDiskGeometry,
                                       kSourceWmi,
                                       kSourceUdev};

// The disk's sources that answered, in the order of preference.
std::vector<const DiskSource*> Answering(const DiskEntry& disk) {
  std::vector<const DiskSource*> answering;
  for (const char* name : kPreference) {
    for (const DiskSource& source : disk.sources) {
      if (source.ok && source.name == name) answering.push_back(&source);
    }
  }
  return answering;
}

// The first text the sources give; a serial that is a namespace's
// identifier only when no source gives another.
void Settle(const std::vector<const DiskSource*>& answering,
            std::optional<std::string> DiskSource::*field, std::optional<std::string>& text,
            std::string& from) {
  for (const bool translated : {false, true}) {
    for (const DiskSource* source : answering) {
      if (!(source->*field)) continue;
      if (field == &DiskSource::serial &&
          TranslatedNamespaceSerialKind(*(source->*field)).has_value() != translated)
        continue;
      text = source->*field;
      from = source->name;
      return;
    }
  }
}

// The first value of one field of the identity the sources give.
template <typename Value>
void SettleIdentity(DiskEntry& disk, const std::vector<const DiskSource*>& answering,
                    std::optional<Value> DiskIdentity::*field, std::string IdentitySources::*from) {
  disk.identity.*field = std::nullopt;
  disk.identitySources.*from = "";
  for (const DiskSource* source : answering) {
    if (!(source->identity.*field)) continue;
    disk.identity.*field = source->identity.*field;
    disk.identitySources.*from = source->name;
    return;
  }
}

// Adds each other disk that gives the same identifier to the disk's list.
void MarkShared(DiskInventory& inventory,
                const std::optional<std::string>& (*value)(const DiskEntry&),
                std::vector<std::string> SharedIdentifiers::*list) {
  for (DiskEntry& disk : inventory.disks) {
    (disk.sharedWith.*list).clear();
    if (!value(disk)) continue;
    for (const DiskEntry& other : inventory.disks) {
      if (&other != &disk && value(other) == value(disk))
        (disk.sharedWith.*list).push_back(other.device);
    }
  }
}

// The names of Bus, in its order.
constexpr const char* kBusNames[] = {
    "Unknown", "SCSI",  "ATAPI", "ATA",  "1394",  "SSA", "Fibre",   "USB",
    "RAID",    "iSCSI", "SAS",   "SATA", "SD",    "MMC", "Virtual", "FileBackedVirtual",
    "Spaces",  "NVMe",  "SCM",   "UFS",  "NVMeoF"};
static_assert(std::size(kBusNames) == static_cast<std::size_t>(Bus::kOther));

}  // namespace

DiskSource::DiskSource() = default;
DiskSource::DiskSource(const DiskSource& other) = default;
DiskSource::DiskSource(DiskSource&& other) noexcept = default;
DiskSource& DiskSource::operator=(const DiskSource& other) = default;
DiskSource& DiskSource::operator=(DiskSource&& other) noexcept = default;
DiskSource::~DiskSource() = default;

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
  DiskSource source = Answered(name, read.texts, std::move(via));
  source.identity = read.identity;
  return source;
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
  const std::vector<const DiskSource*> answering = Answering(disk);
  Settle(answering, &DiskSource::serial, disk.serial, disk.serialSource);
  Settle(answering, &DiskSource::model, disk.model, disk.modelSource);
  Settle(answering, &DiskSource::firmware, disk.firmware, disk.firmwareSource);
  disk.serialKind.clear();
  if (disk.serial) {
    const std::optional<IdentifierKind> translated = TranslatedNamespaceSerialKind(*disk.serial);
    disk.serialKind = translated ? IdentifierName(*translated) : kSerialKindSerial;
  }
  disk.agree = true;
  for (const DiskSource& source : disk.sources) {
    if (source.ok && source.serial && disk.serial && *source.serial != *disk.serial)
      disk.agree = false;
  }
  ForEachIdentityField(
      [&](const char*, auto field, auto from) { SettleIdentity(disk, answering, field, from); });
}

void MarkSharedIdentifiers(DiskInventory& inventory) {
  MarkShared(
      inventory,
      [](const DiskEntry& disk) -> const std::optional<std::string>& { return disk.serial; },
      &SharedIdentifiers::serial);
  MarkShared(
      inventory,
      [](const DiskEntry& disk) -> const std::optional<std::string>& { return disk.identity.wwn; },
      &SharedIdentifiers::wwn);
  MarkShared(
      inventory,
      [](const DiskEntry& disk) -> const std::optional<std::string>& {
        return disk.identity.eui64;
      },
      &SharedIdentifiers::eui64);
  MarkShared(
      inventory,
      [](const DiskEntry& disk) -> const std::optional<std::string>& {
        return disk.identity.nguid;
      },
      &SharedIdentifiers::nguid);
}

}  // namespace hdsn
