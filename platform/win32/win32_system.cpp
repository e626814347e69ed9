// kernel32, passed through unchanged.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/system_interface.h"
#include "platform/win32/win32_platform.h"

namespace hdsn {
namespace {

static_assert(sizeof(OSVERSIONINFOA) == OsVersionInfoA::kSize);
static_assert(offsetof(OSVERSIONINFOA, dwOSVersionInfoSize) ==
              OsVersionInfoA::kOsVersionInfoSizeOffset);
static_assert(offsetof(OSVERSIONINFOA, dwPlatformId) == OsVersionInfoA::kPlatformIdOffset);
static_assert(VER_PLATFORM_WIN32_NT == kVerPlatformWin32Nt);
static_assert(VER_PLATFORM_WIN32_WINDOWS == kVerPlatformWin32Windows);
static_assert(sizeof(DWORD) == sizeof(std::uint32_t));

class Win32System final : public SystemInterface {
 public:
  std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override {
    return ::GetWindowsDirectoryA(buffer, size);
  }

  int GetVolumeInformationA(const char* rootPathName, char* volumeNameBuffer,
                            std::uint32_t volumeNameSize, std::uint32_t* volumeSerialNumber,
                            std::uint32_t* maximumComponentLength, std::uint32_t* fileSystemFlags,
                            char* fileSystemNameBuffer, std::uint32_t fileSystemNameSize) override {
    OutParam<DWORD, std::uint32_t> serial(volumeSerialNumber);
    OutParam<DWORD, std::uint32_t> componentLength(maximumComponentLength);
    OutParam<DWORD, std::uint32_t> flags(fileSystemFlags);
    return ::GetVolumeInformationA(rootPathName, volumeNameBuffer, volumeNameSize, serial.get(),
                                   componentLength.get(), flags.get(), fileSystemNameBuffer,
                                   fileSystemNameSize);
  }

  int GetVersionExA(OsVersionInfoA* versionInformation) override {
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)  // deprecated, yet the only call that names the platform family
#endif
    // The neutral bytes are copied in (for dwOSVersionInfoSize) and out.
    OSVERSIONINFOA info;
    std::memcpy(&info, versionInformation->bytes, sizeof info);
    const BOOL result = ::GetVersionExA(&info);
    std::memcpy(versionInformation->bytes, &info, sizeof info);
    return result;
  }
};

}  // namespace

SystemInterface& GetWin32System() {
  static Win32System system;
  return system;
}

}  // namespace hdsn
