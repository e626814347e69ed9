// Method 1: the disk driver's SMART receive request with an ATA identify
// command, on each physical drive whose driver reports an IDE device.
#include <cstring>

#include "app/hard_drive_info.h"
#include "devices/byte_order.h"
#include "devices/device_handle.h"
#include "devices/device_layouts.h"
#include "devices/device_path.h"
#include "devices/smart_identify.h"
#include "platform/platform.h"

namespace hdsn {

namespace {
constexpr int kPhysicalDrives = 16;
// Drive-head register: LBA-less CHS with the obsolete bits 7 and 5 set;
// bit 4 selects the slave.
constexpr std::uint8_t kDriveHeadMaster = 0xA0;
constexpr std::uint8_t kDriveHeadSlaveBit = 0x10;
}  // namespace

std::int32_t HardDriveInfo::ReadPhysicalDriveWithSmart() {
  using namespace layout;
  DeviceIoInterface& devices = platform_.devices;
  std::int32_t result = 0;
  for (int drive = 0; drive < kPhysicalDrives; ++drive) {
    DeviceHandleOwner device =
        OpenIndexedDevice(devices, platform_.text, kPhysicalDriveTemplate, drive,
                          kGenericRead | kGenericWrite, kFileShareRead | kFileShareWrite);
    if (!device.valid()) continue;

    std::uint8_t version[GETVERSIONINPARAMS::kSize] = {};
    std::uint32_t bytesReturned = 0;
    // A failed request leaves the zeroed answer, which reads as no device.
    devices.DeviceIoControl(device.get(), kSmartGetVersion, /*inBuffer=*/nullptr,
                            /*inBufferSize=*/0, version, sizeof version, &bytesReturned);
    const std::uint8_t map = version[GETVERSIONINPARAMS::bIDEDeviceMap.offset];
    if (map == 0) continue;

    const std::uint8_t command = SmartIdentifyCommand(map, drive);

    std::uint8_t request[SENDCMDINPARAMS::kSize] = {};
    std::uint8_t answer[SENDCMDOUTPARAMS::kIdentifyAnswerSize] = {};
    if (SendSmartIdentify(device.get(), answer, request, command, drive, &bytesReturned) != 0) {
      // The answer's header and driver status are not examined: a driver
      // that says yes has written the block.
      AddIdentifyBlock(answer + SENDCMDOUTPARAMS::bBuffer.offset);
      result = 1;
    }
  }
  return result;
}

std::uint8_t SmartIdentifyCommand(std::uint8_t deviceMap, int drive) {
  using namespace layout;
  // Bits 4-7 of the map mark ATAPI devices at positions 0-3; a drive
  // index of 4 or more has no bit of its own (and shifting an 8-bit map by
  // 8 or more leaves nothing).
  const unsigned shifted = drive >= 0 && drive < 8 ? static_cast<unsigned>(deviceMap) >> drive : 0u;
  return (shifted & 0x10u) != 0 ? kAtapiIdCmd : kIdCmd;
}

int SendSmartIdentifyRequest(DeviceIoInterface& devices, DeviceHandle device, std::uint8_t* answer,
                             std::uint8_t* request, std::uint8_t command, int drive,
                             std::uint32_t* bytesReturned) {
  using namespace layout;
  StoreLe32(request + SENDCMDINPARAMS::cBufferSize.offset,
            static_cast<std::uint32_t>(kIdentifyBufferSize));
  request[InParamsRegister(IDEREGS::bFeaturesReg)] = 0;
  request[InParamsRegister(IDEREGS::bSectorCountReg)] = 1;
  request[InParamsRegister(IDEREGS::bSectorNumberReg)] = 1;
  request[InParamsRegister(IDEREGS::bCylLowReg)] = 0;
  request[InParamsRegister(IDEREGS::bCylHighReg)] = 0;
  request[InParamsRegister(IDEREGS::bDriveHeadReg)] =
      static_cast<std::uint8_t>(kDriveHeadMaster | ((drive & 1) != 0 ? kDriveHeadSlaveBit : 0));
  request[InParamsRegister(IDEREGS::bCommandReg)] = command;
  request[SENDCMDINPARAMS::bDriveNumber.offset] = static_cast<std::uint8_t>(drive);
  return devices.DeviceIoControl(
      device, kSmartRcvDriveData, request,
      /*inBufferSize=*/static_cast<std::uint32_t>(SENDCMDINPARAMS::kSizeWithoutBuffer), answer,
      /*outBufferSize=*/static_cast<std::uint32_t>(SENDCMDOUTPARAMS::kIdentifyAnswerSize),
      bytesReturned);
}

int HardDriveInfo::SendSmartIdentify(DeviceHandle device, std::uint8_t* answer,
                                     std::uint8_t* request, std::uint8_t command, int drive,
                                     std::uint32_t* bytesReturned) {
  return SendSmartIdentifyRequest(platform_.devices, device, answer, request, command, drive,
                                  bytesReturned);
}

}  // namespace hdsn
