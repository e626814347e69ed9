// Method 4: the SMART receive request in its plainest form, IDENTIFY DEVICE
// only, sent to every physical drive that answers the version request.
#include <cstring>
#include <memory>
#include <new>

#include "app/hard_drive_info.h"
#include "devices/device_handle.h"
#include "devices/device_layouts.h"
#include "devices/device_path.h"
#include "devices/smart_identify.h"
#include "platform/platform.h"

namespace hdsn {

namespace {
constexpr int kPhysicalDrives = 16;
// SENDCMDINPARAMS going out, SENDCMDOUTPARAMS and 512 bytes coming back,
// in one buffer big enough for either.
constexpr std::size_t kBufferSize = layout::SENDCMDINPARAMS::kSize + kIdentifyBlockSize;
static_assert(kBufferSize == 545);
static_assert(kBufferSize >= layout::SENDCMDOUTPARAMS::kIdentifyAnswerSize);
}  // namespace

std::int32_t HardDriveInfo::ReadSmartDirect() {
  using namespace layout;
  return AskIndexedDevices(
      platform_.devices, platform_.text, kPhysicalDriveTemplate, kPhysicalDrives,
      kGenericRead | kGenericWrite, kFileShareRead | kFileShareWrite | kFileShareDelete,
      [this](DeviceHandle device, int) -> std::int32_t {
        // Only whether the driver knows SMART matters here, not its device map.
        if (!QuerySmartVersion(platform_.devices, device).answered) return 0;

        std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kBufferSize]);
        if (!buffer) return 0;
        std::memset(buffer.get(), 0, kBufferSize);
        buffer[InParamsRegister(IDEREGS::bCommandReg)] = kAtaIdentifyDevice;

        // The whole declared SENDCMDINPARAMS goes out, its bBuffer byte too;
        // drive number, drive-head and cBufferSize stay zero.
        std::uint32_t identifyBytes = 0;
        if (platform_.devices.DeviceIoControl(
                device, kSmartRcvDriveData, buffer.get(),
                /*inBufferSize=*/static_cast<std::uint32_t>(SENDCMDINPARAMS::kSize), buffer.get(),
                /*outBufferSize=*/kBufferSize, &identifyBytes) == 0)
          return 0;
        AddIdentifyBlock(buffer.get() + SENDCMDOUTPARAMS::bBuffer.offset);
        return 1;
      });
}

}  // namespace hdsn
