// Method 3: the storage class driver's device descriptor and media serial
// number. Their texts are decoded but kept nowhere, and the method never
// delivers a block: the results cast to void below are dropped on purpose.
#include <cstring>

#include "app/hard_drive_info.h"
#include "devices/device_handle.h"
#include "devices/device_layouts.h"
#include "devices/device_path.h"
#include "devices/storage_descriptor.h"
#include "platform/platform.h"
#include "protocol/byte_order.h"
#include "protocol/text.h"

namespace hdsn {

namespace {

constexpr int kPhysicalDrives = 16;
constexpr std::uint32_t kAnswerSize = 10000;

// One byte more than the driver is told about, always zero, so that a text
// the driver left unterminated still ends inside the buffer.
using AnswerBuffer = std::uint8_t[kAnswerSize + 1];

const char* AnswerText(const AnswerBuffer& answer, std::uint32_t offset) {
  if (offset >= kAnswerSize) return "";
  return reinterpret_cast<const char*>(answer + offset);
}

// Drivers write the serial in lowercase: an uppercase letter counts as no
// digit here, and no digit counts as 0.
int DigitValue(char c) {
  const int value = c >= 'A' && c <= 'F' ? -1 : HexDigitValue(c);
  return value < 0 ? 0 : value;
}

}  // namespace

const char* DecodeHexSerial(const char* text) {
  static char result[kDecodedSerialSize];
  std::memset(result, 0, sizeof result);
  const std::size_t length = std::strlen(text);
  // Positions past the end of the text count as non-digits.
  auto at = [&](std::size_t position) { return position < length ? text[position] : '\0'; };
  std::size_t written = 0;
  for (std::size_t group = 0; group < length; group += 4) {
    for (std::size_t pair : {group + 2, group}) {
      const int value = 16 * DigitValue(at(pair)) + DigitValue(at(pair + 1));
      if (value != 0 && written < kDecodedSerialSize - 1)
        result[written++] = static_cast<char>(value);
    }
  }
  return result;
}

std::int32_t HardDriveInfo::ReadStorageDescriptor() {
  using namespace layout;
  DeviceIoInterface& devices = platform_.devices;
  for (int drive = 0; drive < kPhysicalDrives; ++drive) {
    // Storage queries need no access rights, so drives that refuse reading
    // and writing still answer them.
    DeviceHandleOwner device =
        OpenIndexedDevice(devices, platform_.text, kPhysicalDriveTemplate, drive,
                          /*desiredAccess=*/0, kFileShareRead | kFileShareWrite);
    if (!device.valid()) continue;

    // PropertyId StorageDeviceProperty and QueryType PropertyStandardQuery
    // are both 0.
    std::uint8_t query[STORAGE_PROPERTY_QUERY::kSize] = {};
    AnswerBuffer answer = {};
    std::uint32_t bytesReturned = 0;
    if (devices.DeviceIoControl(device.get(), kIoctlStorageQueryProperty, query, sizeof query,
                                answer, kAnswerSize, &bytesReturned) != 0) {
      const std::uint32_t offset =
          LoadLe32(answer + STORAGE_DEVICE_DESCRIPTOR::SerialNumberOffset.offset);
      (void)DecodeHexSerial(AnswerText(answer, offset));
    } else {
      devices.GetLastError();
    }

    std::memset(answer, 0, sizeof answer);
    if (devices.DeviceIoControl(device.get(), kIoctlStorageGetMediaSerialNumber,
                                /*inBuffer=*/nullptr, /*inBufferSize=*/0, answer, kAnswerSize,
                                &bytesReturned) != 0) {
      (void)AnswerText(
          answer, static_cast<std::uint32_t>(MEDIA_SERIAL_NUMBER_DATA::SerialNumberData.offset));
    } else {
      devices.GetLastError();
    }
  }
  return 0;
}

}  // namespace hdsn
