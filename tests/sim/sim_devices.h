// The simulated machine's disk drivers.
#pragma once

#include "devices/device_io.h"

namespace hdsn::sim {

class SimDevices final : public DeviceIoInterface {
 public:
  DeviceHandle CreateFileA(const char*, std::uint32_t, std::uint32_t, std::uint32_t,
                           std::uint32_t) override {
    return kInvalidHandleValue;
  }
  int DeviceIoControl(DeviceHandle, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t,
                      std::uint32_t*) override {
    return 0;
  }
  int CloseHandle(DeviceHandle) override { return 0; }
  std::uint32_t GetLastError() override { return 0; }
  DeviceHandle GetCurrentProcess() override { return -1; }
  int SetPriorityClass(DeviceHandle, std::uint32_t) override { return 1; }
};

}  // namespace hdsn::sim
