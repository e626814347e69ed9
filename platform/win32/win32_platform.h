// The Win32 implementations, one per interface, each created on first use.
#pragma once

namespace hdsn {

class SystemInterface;
class ConsoleInterface;
class TextInterface;
class DeviceIoInterface;
class WmiInterface;

SystemInterface& GetWin32System();
ConsoleInterface& GetWin32Console();
TextInterface& GetWin32Text();
DeviceIoInterface& GetWin32DeviceIo();
WmiInterface& GetWin32Wmi();

}  // namespace hdsn
