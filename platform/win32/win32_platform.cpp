#include "platform/win32/win32_platform.h"

#include "platform/console.h"
#include "platform/platform.h"

namespace hdsn {

const Platform& GetWin32Platform() {
  static const Platform platform{GetWin32System(),   GetRuntimeConsole(), GetWin32Text(),
                                 GetWin32DeviceIo(), GetWin32Wmi(),       GetWin32Hmac()};
  return platform;
}

}  // namespace hdsn
