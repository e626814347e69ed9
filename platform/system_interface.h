// The few Windows system services the programs ask of kernel32: the Windows
// directory, a volume's serial number, the platform's version. Neutral on
// purpose: no Windows header is needed to include this, so the logic builds
// and runs on any host.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hdsn {

// OSVERSIONINFOA as GetVersionExA fills it: 148 bytes, five DWORDs and the
// 128-byte service-pack text. Only the platform identifier is read.
struct OsVersionInfoA {
  static constexpr std::size_t kSize = 148;
  static constexpr std::size_t kOsVersionInfoSizeOffset = 0;
  static constexpr std::size_t kPlatformIdOffset = 16;
  alignas(4) unsigned char bytes[kSize];
};
static_assert(sizeof(OsVersionInfoA) == OsVersionInfoA::kSize);

inline constexpr std::uint32_t kVerPlatformWin32s = 0;
inline constexpr std::uint32_t kVerPlatformWin32Windows = 1;
inline constexpr std::uint32_t kVerPlatformWin32Nt = 2;

class SystemInterface {
 public:
  virtual ~SystemInterface() = default;
  virtual std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) = 0;
  virtual int GetVolumeInformationA(const char* rootPathName, char* volumeNameBuffer,
                                    std::uint32_t volumeNameSize, std::uint32_t* volumeSerialNumber,
                                    std::uint32_t* maximumComponentLength,
                                    std::uint32_t* fileSystemFlags, char* fileSystemNameBuffer,
                                    std::uint32_t fileSystemNameSize) = 0;
  virtual int GetVersionExA(OsVersionInfoA* versionInformation) = 0;
};

}  // namespace hdsn
