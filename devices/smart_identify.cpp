#include "devices/smart_identify.h"

#include "devices/device_layouts.h"
#include "protocol/byte_order.h"

namespace hdsn {

namespace {
// Drive-head register: LBA-less CHS with the obsolete bits 7 and 5 set;
// bit 4 selects the slave.
constexpr std::uint8_t kDriveHeadMaster = 0xA0;
constexpr std::uint8_t kDriveHeadSlaveBit = 0x10;
}  // namespace

SmartVersion QuerySmartVersion(DeviceIoInterface& devices, DeviceHandle device) {
  using namespace layout;
  std::uint8_t version[GETVERSIONINPARAMS::kSize] = {};
  std::uint32_t bytesReturned = 0;
  const int answered =
      devices.DeviceIoControl(device, kSmartGetVersion, /*inBuffer=*/nullptr, /*inBufferSize=*/0,
                              version, sizeof version, &bytesReturned);
  return {answered != 0, version[GETVERSIONINPARAMS::bIDEDeviceMap.offset]};
}

std::uint8_t SmartIdentifyCommand(std::uint8_t deviceMap, int drive) {
  using namespace layout;
  // Bits 4-7 of the map mark ATAPI devices at positions 0-3; a drive
  // index of 4 or more has no bit of its own (and shifting an 8-bit map by
  // 8 or more leaves nothing).
  const unsigned shifted = drive >= 0 && drive < 8 ? static_cast<unsigned>(deviceMap) >> drive : 0u;
  return (shifted & 0x10u) != 0 ? kAtaIdentifyPacketDevice : kAtaIdentifyDevice;
}

int SendSmartIdentifyRequest(DeviceIoInterface& devices, DeviceHandle device, std::uint8_t* answer,
                             std::uint8_t* request, std::uint8_t command, int drive,
                             std::uint32_t* bytesReturned) {
  using namespace layout;
  StoreLe32(request + SENDCMDINPARAMS::cBufferSize.offset,
            static_cast<std::uint32_t>(kIdentifyBlockSize));
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

}  // namespace hdsn
