// Method 4: the SMART receive request in its plainest form, IDENTIFY DEVICE
// only, sent to every physical drive that answers the version request.
#include <cstring>
#include <memory>
#include <new>

#include "app/hard_drive_info.h"
#include "devices/device_handle.h"
#include "devices/device_layouts.h"
#include "devices/device_path.h"
#include "platform/platform.h"

namespace hdsn {

namespace {
constexpr int kPhysicalDrives = 16;
// SENDCMDINPARAMS going out, SENDCMDOUTPARAMS and 512 bytes coming back,
// in one buffer big enough for either.
constexpr std::size_t kBufferSize = layout::SENDCMDINPARAMS::kSize + layout::kIdentifyBufferSize;
static_assert(kBufferSize == 545);
static_assert(kBufferSize >= layout::SENDCMDOUTPARAMS::kIdentifyAnswerSize);
}  // namespace

std::int32_t HardDriveInfo::ReadSmartDirect() {
  using namespace layout;
  DeviceIoInterface& devices = platform_.devices;
  std::int32_t result = 0;
  for (int drive = 0; drive < kPhysicalDrives; ++drive) {
    DeviceHandleOwner device = OpenIndexedDevice(
        devices, platform_.text, kPhysicalDriveTemplate, drive, kGenericRead | kGenericWrite,
        kFileShareRead | kFileShareWrite | kFileShareDelete);
    if (!device.valid()) continue;

    // Only whether the driver knows SMART matters here, not its device map.
    std::uint8_t version[GETVERSIONINPARAMS::kSize] = {};
    std::uint32_t versionBytes = 0;
    if (devices.DeviceIoControl(device.get(), kSmartGetVersion, /*inBuffer=*/nullptr,
                                /*inBufferSize=*/0, version, sizeof version, &versionBytes) == 0)
      continue;

    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kBufferSize]);
    if (!buffer) continue;
    std::memset(buffer.get(), 0, kBufferSize);
    buffer[InParamsRegister(IDEREGS::bCommandReg)] = kIdCmd;

    // The whole declared SENDCMDINPARAMS goes out, its bBuffer byte too;
    // drive number, drive-head and cBufferSize stay zero.
    std::uint32_t identifyBytes = 0;
    if (devices.DeviceIoControl(device.get(), kSmartRcvDriveData, buffer.get(),
                                /*inBufferSize=*/static_cast<std::uint32_t>(SENDCMDINPARAMS::kSize),
                                buffer.get(), /*outBufferSize=*/kBufferSize, &identifyBytes) != 0) {
      AddIdentifyBlock(buffer.get() + SENDCMDOUTPARAMS::bBuffer.offset);
      result = 1;
    }
    device.Close();
  }
  return result;
}

}  // namespace hdsn
