// Owners of what the device methods hold for a moment: an open device handle
// and the process's priority class.
#pragma once

#include "devices/device_io.h"

namespace hdsn {

// Closes the handle once, when asked or when it goes out of scope.
class DeviceHandleOwner {
 public:
  DeviceHandleOwner(DeviceIoInterface& devices, DeviceHandle handle)
      : devices_(devices), handle_(handle) {}
  DeviceHandleOwner(const DeviceHandleOwner&) = delete;
  DeviceHandleOwner& operator=(const DeviceHandleOwner&) = delete;
  ~DeviceHandleOwner() { Close(); }

  bool valid() const { return handle_ != kInvalidHandleValue; }
  DeviceHandle get() const { return handle_; }
  void Close() {
    if (!valid()) return;
    devices_.CloseHandle(handle_);  // nothing to do should it fail
    handle_ = kInvalidHandleValue;
  }

 private:
  DeviceIoInterface& devices_;
  DeviceHandle handle_;
};

// Puts the whole process in the realtime class for its lifetime and in the
// normal class afterwards; the class in force before is not brought back.
class RealtimePriorityScope {
 public:
  explicit RealtimePriorityScope(DeviceIoInterface& devices) : devices_(devices) {
    devices_.SetPriorityClass(devices_.GetCurrentProcess(), kRealtimePriorityClass);
  }
  RealtimePriorityScope(const RealtimePriorityScope&) = delete;
  RealtimePriorityScope& operator=(const RealtimePriorityScope&) = delete;
  ~RealtimePriorityScope() {
    devices_.SetPriorityClass(devices_.GetCurrentProcess(), kNormalPriorityClass);
  }

 private:
  DeviceIoInterface& devices_;
};

}  // namespace hdsn
