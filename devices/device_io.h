// The kernel32 calls through which the device methods reach the disk
// drivers. A Win32 implementation passes every argument through unchanged;
// the tests put simulated drives behind it.
#pragma once

#include <cstdint>

namespace hdsn {

using DeviceHandle = std::intptr_t;
inline constexpr DeviceHandle kInvalidHandleValue = -1;

// CreateFileA arguments and priority classes, with the platform's values.
inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kFileShareRead = 0x1;
inline constexpr std::uint32_t kFileShareWrite = 0x2;
inline constexpr std::uint32_t kFileShareDelete = 0x4;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kFileFlagDeleteOnClose = 0x04000000u;
inline constexpr std::uint32_t kNormalPriorityClass = 0x20;
inline constexpr std::uint32_t kRealtimePriorityClass = 0x100;

class DeviceIoInterface {
 public:
  virtual ~DeviceIoInterface() = default;
  // CreateFileA(path, access, share, no security attributes, disposition, flags, no template).
  virtual DeviceHandle CreateFileA(const char* fileName, std::uint32_t desiredAccess,
                                   std::uint32_t shareMode, std::uint32_t creationDisposition,
                                   std::uint32_t flagsAndAttributes) = 0;
  // DeviceIoControl(handle, code, in, inSize, out, outSize, bytesReturned, no overlapped).
  virtual int DeviceIoControl(DeviceHandle device, std::uint32_t ioControlCode, void* inBuffer,
                              std::uint32_t inBufferSize, void* outBuffer,
                              std::uint32_t outBufferSize, std::uint32_t* bytesReturned) = 0;
  virtual int CloseHandle(DeviceHandle object) = 0;
  virtual std::uint32_t GetLastError() = 0;
  virtual DeviceHandle GetCurrentProcess() = 0;
  virtual int SetPriorityClass(DeviceHandle process, std::uint32_t priorityClass) = 0;
};

}  // namespace hdsn
