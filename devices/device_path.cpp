#include "devices/device_path.h"

#include <cstring>

#include "platform/text_interface.h"

namespace hdsn {
namespace {

constexpr std::size_t kWidePathSize = 64;

// Decimal digits of the index, no leading zeros; returns the count.
std::size_t FormatDecimal(int index, char16_t* digits) {
  // Unsigned arithmetic keeps the most negative int exact.
  unsigned magnitude = index < 0 ? 0u - static_cast<unsigned>(index) : static_cast<unsigned>(index);
  char16_t reversed[16];
  std::size_t count = 0;
  do {
    reversed[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::size_t length = 0;
  if (index < 0) digits[length++] = u'-';
  while (count > 0) digits[length++] = reversed[--count];
  return length;
}

}  // namespace

bool FormatDevicePath(TextInterface& text, const char16_t* wideTemplate, int index,
                      char (&path)[kDevicePathSize]) {
  std::memset(path, 0, sizeof path);
  char16_t wide[kWidePathSize] = {};
  std::size_t length = 0;
  // Every write leaves the last element zero; 12 is the widest int in decimal.
  constexpr std::size_t kLimit = kWidePathSize - 1;
  for (const char16_t* at = wideTemplate; *at != 0 && length < kLimit; ++at) {
    if (at[0] == u'%' && at[1] == u'd') {
      if (length + 12 > kLimit) return false;
      length += FormatDecimal(index, wide + length);
      ++at;
    } else {
      wide[length++] = *at;
    }
  }
  const int written =
      text.WideCharToMultiByte(wide, /*wideLength=*/-1, path, static_cast<int>(sizeof path));
  path[sizeof path - 1] = '\0';
  return written > 0;
}

DeviceHandleOwner OpenIndexedDevice(DeviceIoInterface& devices, TextInterface& text,
                                    const char16_t* wideTemplate, int index,
                                    std::uint32_t desiredAccess, std::uint32_t shareMode) {
  char path[kDevicePathSize];
  if (!FormatDevicePath(text, wideTemplate, index, path))
    return DeviceHandleOwner(devices, kInvalidHandleValue);
  return DeviceHandleOwner(devices,
                           devices.CreateFileA(path, desiredAccess, shareMode, kOpenExisting,
                                               /*flagsAndAttributes=*/0));
}

}  // namespace hdsn
