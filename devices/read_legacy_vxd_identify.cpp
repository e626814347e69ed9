// Method 5: the legacy IDE VxD of platforms outside the NT family, which
// answers for up to eight drives on four controllers in one request.
#include <cstring>

#include "app/hard_drive_info.h"
#include "devices/device_handle.h"
#include "devices/device_layouts.h"
#include "platform/platform.h"

namespace hdsn {

namespace {
constexpr char kLegacyVxdPath[] = "\\\\.\\IDE21201.VXD";
}  // namespace

std::int32_t HardDriveInfo::ReadLegacyVxdIdentify() {
  using Result = layout::VxdIdentifyResult;
  DeviceIoInterface& devices = platform_.devices;
  // The VxD reads the drives' IDENTIFY data while the request waits; the
  // realtime class keeps the rest of the machine off the processor meanwhile.
  RealtimePriorityScope realtime(devices);

  std::uint8_t answer[Result::kSize] = {};
  // Opening a VxD takes neither access rights nor a disposition; the flag
  // unloads a dynamically loaded VxD again when its handle is closed.
  DeviceHandleOwner device(devices, devices.CreateFileA(kLegacyVxdPath, /*desiredAccess=*/0,
                                                        /*shareMode=*/0, /*creationDisposition=*/0,
                                                        kFileFlagDeleteOnClose));
  if (!device.valid()) return 0;

  // The VxD writes the whole result whatever size it is told; it is told 4.
  // Its return value means nothing: whatever it wrote is used.
  std::uint32_t bytesReturned = 0;
  devices.DeviceIoControl(device.get(), layout::kVxdIdentifyCode, /*inBuffer=*/nullptr,
                          /*inBufferSize=*/0, answer, /*outBufferSize=*/4, &bytesReturned);
  device.Close();

  std::int32_t result = 0;
  for (int drive = 0; drive < Result::kDrives; ++drive) {
    if (answer[Result::drivePresent.offset + drive] == 0 ||
        answer[Result::controllerPresent.offset + drive / 2] == 0)
      continue;
    AddIdentifyBlock(answer + Result::Block(drive));
    result = 1;
  }
  return result;
}

}  // namespace hdsn
