// Everything the program asks of the operating system, in one bundle.
// The Windows build hands the program the Win32 implementation; the tests
// hand it a simulated machine.
#pragma once

namespace hdsn {

class SystemInterface;
class ConsoleInterface;
class TextInterface;
class DeviceIoInterface;
class WmiInterface;

struct Platform {
  SystemInterface& system;
  ConsoleInterface& console;
  TextInterface& text;
  DeviceIoInterface& devices;
  WmiInterface& wmi;
};

// The real Windows services, created on first use (Windows builds only).
const Platform& GetWin32Platform();

}  // namespace hdsn
