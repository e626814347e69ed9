// Readers of the drivers' answers to the inventory's requests. Each takes
// the answer buffer, its size and the byte count the request returned, and
// reads nothing past the smaller of the two, whatever a size field or an
// offset inside the answer says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "inventory/disk_protocol.h"

namespace hdsn {

// What an answer said. error is empty when the answer was usable, else the
// reason it was not, e.g. "short: 6" for an answer too short to hold its
// header or "scsi-status: 2".
struct AnswerRead {
  std::string error;
  SourceTexts texts;
};

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
// ProtocolDataLength bytes (at most 4096).
AnswerRead ReadNvmeIdentify(const std::uint8_t* answer, std::size_t size,
                            std::uint32_t bytesReturned);

// IOCTL_ATA_PASS_THROUGH's answer: the ATA_PASS_THROUGH_EX header of this
// build's pointer size, the data at its DataBufferOffset. A status register
// with ERR set ("ata-status: 0x51") means the drive refused the command.
AnswerRead ReadAtaPassThrough(const std::uint8_t* answer, std::size_t size,
                              std::uint32_t bytesReturned);

// SMART_RCV_DRIVE_DATA's answer: SENDCMDOUTPARAMS, the data after its
// 16-byte header; a bDriverError other than 0 ("smart-driver-error: 1") means
// the command failed.
AnswerRead ReadSmartIdentify(const std::uint8_t* answer, std::size_t size,
                             std::uint32_t bytesReturned);

// IOCTL_SCSI_PASS_THROUGH's answer to INQUIRY of VPD page 0x80, laid out as
// the inventory sends it: the SCSI_PASS_THROUGH header of this build's
// pointer size, the sense bytes, the page. The serial runs from byte 4 of the
// page for its page length, cut to the bytes transferred.
AnswerRead ReadVpdSerialPage(const std::uint8_t* answer, std::size_t size,
                             std::uint32_t bytesReturned);

// IOCTL_SCSI_PASS_THROUGH's answer to ATA PASS-THROUGH (16) with IDENTIFY
// DEVICE, laid out as the inventory sends it: the header, the sense bytes,
// the IDENTIFY data as far as it was transferred. Errors name the step
// "sat-": "sat-status: 2" for a SCSI status other than GOOD (a bridge that
// knows no SAT, or a drive that refused the command), "sat-short: 20" for an
// answer too short for its header, "sat-data: 0" for a GOOD answer with no
// data.
AnswerRead ReadSatIdentify(const std::uint8_t* answer, std::size_t size,
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
