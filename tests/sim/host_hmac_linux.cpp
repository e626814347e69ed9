// The Linux build's HMAC for the simulated machines: nettle's.
#include "platform/linux_system.h"
#include "sim/sim_system.h"

namespace hdsn::sim {

HmacInterface& HostHmac() { return GetLinuxHmac(); }

}  // namespace hdsn::sim
