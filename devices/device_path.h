// Device paths of the disk drivers. The templates are wide text; a path is
// formatted as wide text and converted to the ANSI code page for CreateFileA.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devices/device_handle.h"

namespace hdsn {

class TextInterface;

inline constexpr char16_t kPhysicalDriveTemplate[] = u"\\\\.\\PhysicalDrive%d";
inline constexpr char16_t kScsiPortTemplate[] = u"\\\\.\\Scsi%d:";
// Room for the longest path with any int index, in any code page.
inline constexpr std::size_t kDevicePathSize = 64;

// Writes the template with "%d" replaced by the index in decimal. False when
// the conversion to narrow text fails: the caller then has no path and skips
// that index.
bool FormatDevicePath(TextInterface& text, const char16_t* wideTemplate, int index,
                      char (&path)[kDevicePathSize]);

// Opens the device that the template and index name, as an existing file with
// no flags. The owner holds no handle when the path could not be formed or
// the device not opened: that index is skipped.
DeviceHandleOwner OpenIndexedDevice(DeviceIoInterface& devices, TextInterface& text,
                                    const char16_t* wideTemplate, int index,
                                    std::uint32_t desiredAccess, std::uint32_t shareMode);

// Opens the devices the template names for the indexes 0 to count-1 in
// turn, as OpenIndexedDevice does, and hands each that opened to
// ask(handle, index); it is closed before the next opens. Returns 1 when any
// ask returned nonzero, 0 otherwise: a device method's report.
template <typename Ask>
std::int32_t AskIndexedDevices(DeviceIoInterface& devices, TextInterface& text,
                               const char16_t* wideTemplate, int count, std::uint32_t desiredAccess,
                               std::uint32_t shareMode, Ask ask) {
  std::int32_t result = 0;
  for (int index = 0; index < count; ++index) {
    DeviceHandleOwner device =
        OpenIndexedDevice(devices, text, wideTemplate, index, desiredAccess, shareMode);
    if (device.valid() && ask(device.get(), index) != 0) result = 1;
  }
  return result;
}

}  // namespace hdsn
