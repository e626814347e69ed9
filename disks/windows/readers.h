// Readers of the Windows drivers' answers to the sources' requests. Each
// takes the answer buffer, its size and the byte count the request returned,
// and reads nothing past the smaller of the two, whatever a size field or an
// offset inside the answer says. An answer too short to hold its header is
// "short: 6" (the SCSI pass-through's "sat-short: 20", "scsi-short: 10").
// What the drive itself sent is read by the protocol's readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disks/disk_inventory.h"
#include "protocol/scsi.h"
#include "protocol/text.h"

namespace hdsn {

// The bus of a STORAGE_BUS_TYPE value; a value past the known ones is
// Bus::kOther with that number.
DiskBus StorageBus(std::uint32_t busType);

// STORAGE_DEVICE_DESCRIPTOR: the bus type, whether the media is removable,
// and the vendor, product (the model), revision (the firmware) and serial
// texts, each at its offset (0: none) and running to its terminator or to
// the end of the answer.
struct DescriptorRead {
  std::string error;
  std::uint32_t busType = 0;
  bool removable = false;
  std::optional<std::string> vendor;
  SourceTexts texts;
};
DescriptorRead ReadDeviceDescriptor(const std::uint8_t* answer, std::size_t size,
                                    std::uint32_t bytesReturned);

// STORAGE_PROTOCOL_DATA_DESCRIPTOR with NVMe identify controller data after
// it, at ProtocolDataOffset from the protocol-specific data, for
// ProtocolDataLength bytes (at most 4096): the controller's texts.
AnswerRead ReadNvmeIdentify(const std::uint8_t* answer, std::size_t size,
                            std::uint32_t bytesReturned);

// The same answer with identify namespace data after it: the namespace's
// size, logical sector size, NGUID and EUI-64.
AnswerRead ReadNvmeNamespace(const std::uint8_t* answer, std::size_t size,
                             std::uint32_t bytesReturned);

// STORAGE_DEVICE_ID_DESCRIPTOR: as many STORAGE_IDENTIFIERs as
// NumberOfIdentifiers says, each at NextOffset from the one before, read as
// the device identification page's designators when its identifier lies
// wholly in the answer. Any walk ends at the end of the answer.
AnswerRead ReadDeviceIdDescriptor(const std::uint8_t* answer, std::size_t size,
                                  std::uint32_t bytesReturned);

// STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR: the logical and physical sector
// sizes (0: none).
AnswerRead ReadAccessAlignment(const std::uint8_t* answer, std::size_t size,
                               std::uint32_t bytesReturned);

// DEVICE_SEEK_PENALTY_DESCRIPTOR: a disk whose media incurs a seek penalty
// rotates.
AnswerRead ReadSeekPenalty(const std::uint8_t* answer, std::size_t size,
                           std::uint32_t bytesReturned);

// DISK_GEOMETRY_EX: the size (not above 0: none) and the geometry's bytes
// per sector, the logical sector size.
AnswerRead ReadDriveGeometry(const std::uint8_t* answer, std::size_t size,
                             std::uint32_t bytesReturned);

// SCSI_ADDRESS: the disk's logical unit number; none for an answer too
// short.
std::optional<std::uint8_t> ReadScsiLun(const std::uint8_t* answer, std::size_t size,
                                        std::uint32_t bytesReturned);

// IOCTL_ATA_PASS_THROUGH's answer: the ATA_PASS_THROUGH_EX header of this
// build's pointer size, the data at its DataBufferOffset, whose texts and
// identity are read. A status register with ERR set ("ata-status: 0x51")
// means the drive refused the command.
AnswerRead ReadAtaPassThrough(const std::uint8_t* answer, std::size_t size,
                              std::uint32_t bytesReturned);

// SMART_RCV_DRIVE_DATA's answer: SENDCMDOUTPARAMS, the data after its
// 16-byte header; a bDriverError other than 0 ("smart-driver-error: 1") means
// the command failed.
AnswerRead ReadSmartIdentify(const std::uint8_t* answer, std::size_t size,
                             std::uint32_t bytesReturned);

// IOCTL_SCSI_PASS_THROUGH's answer to a query (protocol/scsi.h), laid out
// as the sources send it: the SCSI_PASS_THROUGH header of this build's
// pointer size, the sense bytes, the data as far as it was transferred, read
// by the query's reader. Errors name the query's step: "sat-status: 2",
// "scsi-short: 10".
AnswerRead ReadScsiPassThrough(const ScsiQuery& query, const std::uint8_t* answer, std::size_t size,
                               std::uint32_t bytesReturned);

// IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS's answer: the disk number of each
// extent, as many as NumberOfDiskExtents says and the answer holds whole.
std::vector<std::uint32_t> ReadVolumeDiskNumbers(const std::uint8_t* answer, std::size_t size,
                                                 std::uint32_t bytesReturned);

// IOCTL_STORAGE_GET_DEVICE_NUMBER's answer: the device number when the
// device is a disk (FILE_DEVICE_DISK); none for any other device or an answer
// too short.
std::optional<std::uint32_t> ReadDiskDeviceNumber(const std::uint8_t* answer, std::size_t size,
                                                  std::uint32_t bytesReturned);

}  // namespace hdsn
