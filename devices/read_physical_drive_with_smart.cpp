// Method 1: the disk driver's SMART receive request with an ATA identify
// command, on each physical drive whose driver reports an IDE device.
#include "app/hard_drive_info.h"
#include "devices/device_handle.h"
#include "devices/device_layouts.h"
#include "devices/device_path.h"
#include "devices/smart_identify.h"
#include "platform/platform.h"

namespace hdsn {

namespace {
constexpr int kPhysicalDrives = 16;
}  // namespace

std::int32_t HardDriveInfo::ReadPhysicalDriveWithSmart() {
  using namespace layout;
  return AskIndexedDevices(
      platform_.devices, platform_.text, kPhysicalDriveTemplate, kPhysicalDrives,
      kGenericRead | kGenericWrite, kFileShareRead | kFileShareWrite,
      [this](DeviceHandle device, int drive) -> std::int32_t {
        // A failed request leaves the zeroed answer, which reads as no device.
        const std::uint8_t map = QuerySmartVersion(platform_.devices, device).deviceMap;
        if (map == 0) return 0;

        std::uint8_t request[SENDCMDINPARAMS::kSize] = {};
        std::uint8_t answer[SENDCMDOUTPARAMS::kIdentifyAnswerSize] = {};
        std::uint32_t bytesReturned = 0;
        if (SendSmartIdentify(device, answer, request, SmartIdentifyCommand(map, drive), drive,
                              &bytesReturned) == 0)
          return 0;
        // The answer's header and driver status are not examined: a driver
        // that says yes has written the block.
        AddIdentifyBlock(answer + SENDCMDOUTPARAMS::bBuffer.offset);
        return 1;
      });
}

int HardDriveInfo::SendSmartIdentify(DeviceHandle device, std::uint8_t* answer,
                                     std::uint8_t* request, std::uint8_t command, int drive,
                                     std::uint32_t* bytesReturned) {
  return SendSmartIdentifyRequest(platform_.devices, device, answer, request, command, drive,
                                  bytesReturned);
}

}  // namespace hdsn
