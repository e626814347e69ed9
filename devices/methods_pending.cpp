// Device methods not yet built: each finds nothing.
#include "app/hard_drive_info.h"

namespace hdsn {

std::int32_t HardDriveInfo::ReadStorageDescriptor() { return 0; }
std::int32_t HardDriveInfo::ReadLegacyVxdIdentify() { return 0; }

}  // namespace hdsn
