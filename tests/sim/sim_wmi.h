// The simulated machine's WMI service.
#pragma once

#include "wmi/wmi_interface.h"

namespace hdsn::sim {

class SimWmi final : public WmiInterface {};

}  // namespace hdsn::sim
