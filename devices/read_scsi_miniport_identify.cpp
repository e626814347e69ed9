// Method 2: an ATA IDENTIFY DEVICE command wrapped in a miniport request,
// sent to targets 0 and 1 of each SCSI port.
#include <cstring>

#include "app/hard_drive_info.h"
#include "devices/device_handle.h"
#include "devices/device_layouts.h"
#include "devices/device_path.h"
#include "platform/platform.h"
#include "protocol/byte_order.h"

namespace hdsn {

namespace {
constexpr int kScsiPorts = 16;
constexpr int kTargetsPerPort = 2;
constexpr char kMiniportSignature[] = "SCSIDISK";
static_assert(sizeof kMiniportSignature - 1 == layout::SRB_IO_CONTROL::Signature.width);
constexpr std::uint32_t kMiniportTimeoutSeconds = 10000;
}  // namespace

std::int32_t HardDriveInfo::ReadScsiMiniportIdentify() {
  using namespace layout;
  using Buffer = MiniportIdentifyBuffer;
  return AskIndexedDevices(
      platform_.devices, platform_.text, kScsiPortTemplate, kScsiPorts,
      kGenericRead | kGenericWrite, kFileShareRead | kFileShareWrite,
      [this](DeviceHandle device, int) -> std::int32_t {
        std::int32_t found = 0;
        for (int target = 0; target < kTargetsPerPort; ++target) {
          std::uint8_t buffer[Buffer::kSize] = {};
          StoreLe32(buffer + SRB_IO_CONTROL::HeaderLength.offset,
                    static_cast<std::uint32_t>(SRB_IO_CONTROL::kSize));
          std::memcpy(buffer + SRB_IO_CONTROL::Signature.offset, kMiniportSignature,
                      SRB_IO_CONTROL::Signature.width);
          StoreLe32(buffer + SRB_IO_CONTROL::Timeout.offset, kMiniportTimeoutSeconds);
          StoreLe32(buffer + SRB_IO_CONTROL::ControlCode.offset, kIoctlScsiMiniportIdentify);
          StoreLe32(buffer + SRB_IO_CONTROL::Length.offset, Buffer::kDataLength);
          // Unlike method 1, cBufferSize and the other registers stay zero.
          buffer[Buffer::kInParams + InParamsRegister(IDEREGS::bCommandReg)] = kAtaIdentifyDevice;
          buffer[Buffer::kInParams + SENDCMDINPARAMS::bDriveNumber.offset] =
              static_cast<std::uint8_t>(target);

          std::uint32_t bytesReturned = 0;
          const int answered = platform_.devices.DeviceIoControl(
              device, kIoctlScsiMiniport, buffer, /*inBufferSize=*/Buffer::kInputSize, buffer,
              /*outBufferSize=*/static_cast<std::uint32_t>(Buffer::kSize), &bytesReturned);
          // Miniports answer for an empty target too, with a blank block: the
          // model number's first word tells a drive from nothing.
          if (answered == 0 || buffer[Buffer::kModelByte] == 0) continue;
          AddIdentifyBlock(buffer + Buffer::kIdentifyBlock);
          found = 1;
        }
        return found;
      });
}

}  // namespace hdsn
