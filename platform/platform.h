// Everything a Windows program of the project (hdsn.exe, hdsn-disks.exe,
// hdsn_disks.dll) asks of the system, in one bundle: hdsn-disks' fingerprint
// also asks for HMAC-SHA256. The Windows build hands
// it the Win32 implementation; the tests hand it a simulated machine. The
// Linux program's bundle is linux_system.h.
#pragma once

namespace hdsn {

class SystemInterface;
class ConsoleInterface;
class TextInterface;
class DeviceIoInterface;
class WmiInterface;
class OutputFileInterface;
class HmacInterface;

struct Platform {
  SystemInterface& system;
  ConsoleInterface& console;
  TextInterface& text;
  DeviceIoInterface& devices;
  WmiInterface& wmi;
  HmacInterface& hmac;
};

// The real Windows services, created on first use (Windows builds only).
const Platform& GetWin32Platform();
// The real output file (platform/output_file.h): hdsn-disks' alone, so that
// hdsn.exe, which writes no file, links none of it.
OutputFileInterface& GetWin32OutputFile();

}  // namespace hdsn
