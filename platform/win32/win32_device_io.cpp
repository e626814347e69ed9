// CreateFileA, DeviceIoControl and friends, passed through unchanged.
#include <windows.h>

#include "devices/device_io.h"
#include "platform/win32/win32_platform.h"

namespace hdsn {
namespace {

static_assert(sizeof(HANDLE) == sizeof(DeviceHandle));

HANDLE ToHandle(DeviceHandle handle) { return reinterpret_cast<HANDLE>(handle); }

class Win32DeviceIo final : public DeviceIoInterface {
 public:
  DeviceHandle CreateFileA(const char* fileName, std::uint32_t desiredAccess,
                           std::uint32_t shareMode, std::uint32_t creationDisposition,
                           std::uint32_t flagsAndAttributes) override {
    return reinterpret_cast<DeviceHandle>(::CreateFileA(fileName, desiredAccess, shareMode,
                                                        /*lpSecurityAttributes=*/nullptr,
                                                        creationDisposition, flagsAndAttributes,
                                                        /*hTemplateFile=*/nullptr));
  }

  int DeviceIoControl(DeviceHandle device, std::uint32_t ioControlCode, void* inBuffer,
                      std::uint32_t inBufferSize, void* outBuffer, std::uint32_t outBufferSize,
                      std::uint32_t* bytesReturned) override {
    OutParam<DWORD, std::uint32_t> returned(bytesReturned);
    return ::DeviceIoControl(ToHandle(device), ioControlCode, inBuffer, inBufferSize, outBuffer,
                             outBufferSize, returned.get(), /*lpOverlapped=*/nullptr);
  }

  int CloseHandle(DeviceHandle object) override { return ::CloseHandle(ToHandle(object)); }

  std::uint32_t GetLastError() override { return ::GetLastError(); }

  DeviceHandle GetCurrentProcess() override {
    return reinterpret_cast<DeviceHandle>(::GetCurrentProcess());
  }

  int SetPriorityClass(DeviceHandle process, std::uint32_t priorityClass) override {
    return ::SetPriorityClass(ToHandle(process), priorityClass);
  }
};

}  // namespace

DeviceIoInterface& GetWin32DeviceIo() {
  static Win32DeviceIo devices;
  return devices;
}

}  // namespace hdsn
