// The disk inventory of hdsn-disks, on every system: what each source said
// of each disk, where the disk sits, and the serial, model, firmware and
// identity settled from its sources. Plain structures, so that another program can
// embed the inventory and format it as it likes; each system's room fills
// them (disks/windows/disk_list.h, disks/linux/disk_list.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/identity.h"
#include "protocol/text.h"

namespace hdsn {

// The sources of both systems. Windows asks storage-descriptor,
// nvme-identify, ata-identify, scsi-vpd80 and wmi, then for the disk's
// identity nvme-namespace, scsi-vpd83, access-alignment, seek-penalty and
// disk-geometry; Linux asks sysfs in the first place and the udev database
// after the texts' sources, then for the identity nvme-namespace, scsi-vpd83
// and scsi-vpdb1.
inline constexpr char kSourceStorageDescriptor[] = "storage-descriptor";
inline constexpr char kSourceNvmeIdentify[] = "nvme-identify";
inline constexpr char kSourceAtaIdentify[] = "ata-identify";
inline constexpr char kSourceScsiVpd80[] = "scsi-vpd80";
inline constexpr char kSourceWmi[] = "wmi";
inline constexpr char kSourceNvmeNamespace[] = "nvme-namespace";
inline constexpr char kSourceScsiVpd83[] = "scsi-vpd83";
inline constexpr char kSourceAccessAlignment[] = "access-alignment";
inline constexpr char kSourceSeekPenalty[] = "seek-penalty";
inline constexpr char kSourceDiskGeometry[] = "disk-geometry";
inline constexpr char kSourceSysfs[] = "sysfs";
inline constexpr char kSourceUdev[] = "udev";
inline constexpr char kSourceScsiVpdB1[] = "scsi-vpdb1";

// How long a drive may take with a command a source sends before the system
// gives up on it, on every system.
inline constexpr std::uint32_t kCommandTimeoutSeconds = 3;

// What one source said of one disk. Texts from the devices are their bytes
// as the drive gave them (trimmed, decoded where hex-encoded); texts from WMI
// are UTF-8. A text the source did not give is empty (nullopt).
struct DiskSource {
  std::string name;  // one of the kSource names
  bool ok = false;   // whether the request succeeded
  // The file or device node the answer came from or was last tried; only
  // inventories whose sourcesHaveVia is set give it.
  std::optional<std::string> via;
  std::string error;  // when not ok: the step that failed and its code, e.g. "open: 5"
  std::optional<std::string> serial;
  std::optional<std::string> model;
  std::optional<std::string> firmware;
  // What the source gave of the disk's identity, and the identifiers it
  // gave as placeholders.
  DiskIdentity identity;

  // Out of line, as DiskIdentity's: a disk keeps ten of these.
  DiskSource();
  DiskSource(const DiskSource& other);
  DiskSource(DiskSource&& other) noexcept;
  DiskSource& operator=(const DiskSource& other);
  DiskSource& operator=(DiskSource&& other) noexcept;
  ~DiskSource();
};

// A source that failed at a step ("open: 5") or does not apply.
DiskSource Refused(const char* name, std::string error,
                   std::optional<std::string> via = std::nullopt);
// A source whose answer read as the texts.
DiskSource Answered(const char* name, const SourceTexts& texts,
                    std::optional<std::string> via = std::nullopt);
// Refused with the read's error, else answered with its texts and identity.
DiskSource FromAnswer(const char* name, const AnswerRead& read,
                      std::optional<std::string> via = std::nullopt);

// Where a disk sits, as the program names it on every system; each system
// maps what it knows to one of these.
enum class Bus {
  kUnknown,
  kScsi,
  kAtapi,
  kAta,
  kIeee1394,
  kSsa,
  kFibre,
  kUsb,
  kRaid,
  kIscsi,
  kSas,
  kSata,
  kSd,
  kMmc,
  kVirtual,
  kFileBackedVirtual,
  kSpaces,
  kNvme,
  kScm,
  kUfs,
  kNvmeOverFabrics,
  // A kind a system numbers that has no name here: it is written as the
  // system's number.
  kOther,
};

struct DiskBus {
  Bus kind = Bus::kUnknown;
  std::uint32_t otherNumber = 0;  // for kOther
};

// "SCSI", "NVMe"..., or for kOther the number as text.
std::string BusName(const DiskBus& bus);

// The source each field of a disk's identity was settled from; empty for a
// field none gave.
struct IdentitySources {
  std::string wwn;
  std::string eui64;
  std::string nguid;
  std::string uuid;
  std::string size;
  std::string logicalSectorSize;
  std::string physicalSectorSize;
  std::string rotational;
  std::string rotationRate;
};

// Calls visit(name, field, source) for each field of a disk's identity, in
// the document's order: its name there ("logical_sector_size"), the member
// of DiskIdentity and that of IdentitySources.
template <typename Visit>
void ForEachIdentityField(Visit&& visit) {
  visit("wwn", &DiskIdentity::wwn, &IdentitySources::wwn);
  visit("eui64", &DiskIdentity::eui64, &IdentitySources::eui64);
  visit("nguid", &DiskIdentity::nguid, &IdentitySources::nguid);
  visit("uuid", &DiskIdentity::uuid, &IdentitySources::uuid);
  visit("size", &DiskIdentity::size, &IdentitySources::size);
  visit("logical_sector_size", &DiskIdentity::logicalSectorSize,
        &IdentitySources::logicalSectorSize);
  visit("physical_sector_size", &DiskIdentity::physicalSectorSize,
        &IdentitySources::physicalSectorSize);
  visit("rotational", &DiskIdentity::rotational, &IdentitySources::rotational);
  visit("rotation_rate", &DiskIdentity::rotationRate, &IdentitySources::rotationRate);
}

// What a disk's serial is: the drive's serial, or an NVMe namespace's
// identifier that the system hands on in the serial's place.
inline constexpr char kSerialKindSerial[] = "serial";

// The other disks of the machine (their devices, in the inventory's order)
// that give the same serial, WWN, EUI-64 or NGUID as this one.
struct SharedIdentifiers {
  std::vector<std::string> serial;
  std::vector<std::string> wwn;
  std::vector<std::string> eui64;
  std::vector<std::string> nguid;
  bool empty() const { return serial.empty() && wwn.empty() && eui64.empty() && nguid.empty(); }
};

struct DiskEntry {
  // N of \\.\PhysicalDriveN, or WMI's Index; nullopt where the system does
  // not number its disks so.
  std::optional<int> index;
  std::string device;  // the path the disk is opened by, e.g. \\.\PhysicalDrive0, /dev/sda
  // Where the disk sits and whether its media is removable; nullopt when the
  // system could not tell.
  std::optional<DiskBus> bus;
  std::optional<bool> removable;
  // Whether the disk holds (part of) the system volume; nullopt for every
  // disk when that could not be found out.
  std::optional<bool> system;
  // The first serial, model and firmware given, sources taken in the order
  // ata-identify, nvme-identify, scsi-vpd80, storage-descriptor (Linux:
  // sysfs), wmi (Linux: udev), and the name of the source each came from.
  std::optional<std::string> serial;
  std::string serialSource;
  std::optional<std::string> model;
  std::string modelSource;
  std::optional<std::string> firmware;
  std::string firmwareSource;
  // kSerialKindSerial, or for a serial that is an NVMe namespace's
  // identifier in the form of the SCSI translation ("0025_3881_91B2_1234."),
  // the identifier's name ("eui64", "nguid"); empty without a serial. Such a
  // text is the serial only when no source gives another.
  std::string serialKind;
  // Every source that gave a serial gave the same text (true when fewer
  // than two did).
  bool agree = true;
  // The first value of each field given, in the order of the serial, and
  // the name of its source.
  DiskIdentity identity;
  IdentitySources identitySources;
  SharedIdentifiers sharedWith;
  std::vector<DiskSource> sources;  // the system's five, then those of the identity
};

// Texts as they are printed; nullopt when unknown.
struct SystemVolume {
  std::optional<std::string> root;    // "C:\\", "/"
  std::optional<std::string> serial;  // "5c1d2e3f": the volume serial in hex; a UUID on Linux
};

struct DiskInventory {
  std::vector<DiskEntry> disks;  // by ascending index, or in the system's order of names
  SystemVolume systemVolume;
  // Whether each source names the file or device node it asked (via).
  bool sourcesHaveVia = false;
  // What could not be read, without which the inventory is not whole
  // ("cannot list /sys/block: 13"); empty when nothing failed so. The disks
  // are then as far as they could be found; hdsn-disks prints the error
  // instead of them.
  std::string error;
};

// Sets the disk's serial, model, firmware and identity and their sources
// from its sources, and whether their serials agree, as every system's
// ListDisks does.
void SettleDisk(DiskEntry& disk);

// Sets each disk's sharedWith from the settled serials, WWNs, EUI-64s and
// NGUIDs of the others; every system's ListDisks calls it once all its
// disks are settled.
void MarkSharedIdentifiers(DiskInventory& inventory);

}  // namespace hdsn
