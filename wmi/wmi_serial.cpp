#include "wmi/wmi_serial.h"

namespace hdsn {

void QueryWmiSerial(WmiInterface&, TextInterface&, char*, std::int32_t) {}

}  // namespace hdsn
