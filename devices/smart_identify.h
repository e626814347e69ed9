// The disk driver's SMART interface as the device methods send it: the
// version request and the identify request of method 1, which the Windows
// disks room falls back on as well.
#pragma once

#include <cstdint>

#include "devices/device_io.h"

namespace hdsn {

// SMART_GET_VERSION, sent with a zeroed 24-byte answer buffer: whether the
// request succeeded and the answer's bIDEDeviceMap (0 where the driver wrote
// none, which reads as no device).
struct SmartVersion {
  bool answered;
  std::uint8_t deviceMap;
};
SmartVersion QuerySmartVersion(DeviceIoInterface& devices, DeviceHandle device);

// The identify command for a drive index given bIDEDeviceMap of
// SMART_GET_VERSION: IDENTIFY PACKET DEVICE when the ATAPI bit of that
// position (bit index + 4) is set, IDENTIFY DEVICE otherwise. Only indexes 0
// to 3 have such a bit.
std::uint8_t SmartIdentifyCommand(std::uint8_t deviceMap, int drive);

// Fills the identify registers and drive number of the zeroed 33-byte
// SENDCMDINPARAMS request, sends SMART_RCV_DRIVE_DATA with the 528-byte
// answer buffer and returns DeviceIoControl's result.
int SendSmartIdentifyRequest(DeviceIoInterface& devices, DeviceHandle device, std::uint8_t* answer,
                             std::uint8_t* request, std::uint8_t command, int drive,
                             std::uint32_t* bytesReturned);

}  // namespace hdsn
