// The system volume: the root of the drive that holds the Windows directory
// and that volume's serial number.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hdsn {

class SystemInterface;

// MAX_PATH characters and the terminator.
inline constexpr std::size_t kSystemRootSize = 261;
// The volume label buffer: MAX_PATH characters and the terminator.
inline constexpr std::size_t kVolumeNameSize = 261;

// Asks for the Windows directory and cuts it right after its first
// backslash, leaving the root of the system drive (C:\WINDOWS gives C:\);
// should that call fail and leave no backslash, the root is empty. Then asks
// for that volume's serial number. Returns whether the volume answered;
// serial is 0 when it did not.
bool ReadSystemVolume(SystemInterface& system, char (&rootPath)[kSystemRootSize],
                      std::uint32_t& serial);

}  // namespace hdsn
