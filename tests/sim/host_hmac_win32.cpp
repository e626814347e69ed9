// The Windows build's HMAC for the simulated machines: CNG's.
#include "platform/win32/win32_platform.h"
#include "sim/sim_system.h"

namespace hdsn::sim {

HmacInterface& HostHmac() { return GetWin32Hmac(); }

}  // namespace hdsn::sim
