// COM and WMI, passed through unchanged.
#include "platform/win32/win32_platform.h"
#include "wmi/wmi_interface.h"

namespace hdsn {
namespace {

class Win32Wmi final : public WmiInterface {};

}  // namespace

WmiInterface& GetWin32Wmi() {
  static Win32Wmi wmi;
  return wmi;
}

}  // namespace hdsn
