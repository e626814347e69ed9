// The Win32 implementations, one per interface, each created on first use.
#pragma once

namespace hdsn {

// An output parameter as Windows types it (DWORD, ULONG, LONG are long on
// Windows, not the neutral interfaces' fixed-width int), in place of the
// caller's object for the length of one call and copied to it afterwards, so
// no object is written through a pointer of another type. A null pointer
// stays null.
template <typename WindowsType, typename NeutralType>
class OutParam {
 public:
  explicit OutParam(NeutralType* target)
      : target_(target), value_(target != nullptr ? static_cast<WindowsType>(*target) : 0) {}
  OutParam(const OutParam&) = delete;
  OutParam& operator=(const OutParam&) = delete;
  ~OutParam() {
    if (target_ != nullptr) *target_ = static_cast<NeutralType>(value_);
  }
  WindowsType* get() { return target_ != nullptr ? &value_ : nullptr; }

 private:
  NeutralType* target_;
  WindowsType value_;
};

class SystemInterface;
class TextInterface;
class DeviceIoInterface;
class WmiInterface;
class HmacInterface;

SystemInterface& GetWin32System();
TextInterface& GetWin32Text();
DeviceIoInterface& GetWin32DeviceIo();
WmiInterface& GetWin32Wmi();
HmacInterface& GetWin32Hmac();

}  // namespace hdsn
