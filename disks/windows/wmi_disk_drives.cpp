#include "inventory/wmi_disk_drives.h"

#include <cstdio>
#include <limits>

#include "inventory/disk_text.h"
#include "wmi/wmi_session.h"
#include "wmi/wql_text.h"

namespace hdsn {
namespace {

std::string CallError(const char* call, HResult status) {
  char text[64];
  std::snprintf(text, sizeof text, "%s: 0x%08X", call, static_cast<unsigned>(status));
  return text;
}

std::optional<int> NonNegative(std::int64_t value) {
  if (value < 0 || value > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(value);
}

std::optional<int> DigitsValue(const char16_t* text) {
  if (text == nullptr || *text == 0) return std::nullopt;
  std::int64_t value = 0;
  for (const char16_t* at = text; *at != 0; ++at) {
    if (*at < u'0' || *at > u'9') return std::nullopt;
    value = 10 * value + (*at - u'0');
    if (value > std::numeric_limits<int>::max()) return std::nullopt;
  }
  return static_cast<int>(value);
}

// One property of an object into a value holder cleared right after `use`
// has seen it.
template <typename Use>
void ReadProperty(WmiInterface& wmi, WmiClassObject* object, const char16_t* name, Use use) {
  PropertyValue read(wmi);
  const HResult got =
      wmi.Get(object, name, /*flags=*/0, &read.value, /*type=*/nullptr, /*flavor=*/nullptr);
  if (!Failed(got)) use(read.value);
}

void ReadDiskDrive(WmiInterface& wmi, WmiClassObject* object, WmiDiskDrives& drives) {
  std::optional<int> index;
  ReadProperty(wmi, object, u"Index", [&](const WmiValue& value) { index = ReadWmiIndex(value); });
  if (!index || drives.drives.count(*index) != 0) return;
  SourceTexts texts;
  ReadProperty(wmi, object, u"SerialNumber", [&](const WmiValue& value) {
    const std::optional<std::string> raw = ReadWmiText(value);
    if (raw) texts.serial = SerialText(*raw);
  });
  ReadProperty(wmi, object, u"Model", [&](const WmiValue& value) {
    const std::optional<std::string> raw = ReadWmiText(value);
    if (raw) texts.model = PlainText(*raw);
  });
  ReadProperty(wmi, object, u"FirmwareRevision", [&](const WmiValue& value) {
    const std::optional<std::string> raw = ReadWmiText(value);
    if (raw) texts.firmware = PlainText(*raw);
  });
  drives.drives.emplace(*index, texts);
}

void RunDiskDriveQuery(WmiInterface& wmi, TextInterface& text, WmiServices* services,
                       WmiDiskDrives& drives) {
  const char* failedCall = "ExecQuery";
  const HResult executed = ForEachQueryObject(
      wmi, text, services, "SELECT * FROM Win32_DiskDrive", /*value=*/nullptr,
      [&](WmiClassObject* object) { ReadDiskDrive(wmi, object, drives); }, ComSecurity::kPerProxy,
      &failedCall);
  if (Failed(executed)) {
    drives.error = CallError(failedCall, executed);
    return;
  }
  drives.ok = true;
}

}  // namespace

std::optional<int> ReadWmiIndex(const WmiValue& value) {
  switch (value.Type()) {
    case kVtI4:
      return NonNegative(value.LongVal());
    case kVtUi4:
      return NonNegative(value.ULongVal());
    case kVtI2:
      return NonNegative(value.ShortVal());
    case kVtUi2:
      return NonNegative(value.UShortVal());
    case kVtUi1:
      return NonNegative(value.ByteVal());
    case kVtBstr:
      return DigitsValue(value.BstrVal());
    default:
      return std::nullopt;
  }
}

std::optional<std::string> ReadWmiText(const WmiValue& value) {
  if (value.Type() != kVtBstr) return std::nullopt;
  const char16_t* text = value.BstrVal();
  // A null BSTR is the empty text.
  if (text == nullptr) return std::string();
  return Utf16ToUtf8(std::u16string_view(text));
}

WmiDiskDrives QueryWmiDiskDrives(WmiInterface& wmi, TextInterface& text) {
  WmiDiskDrives drives;
  // A library call: the process's COM security is its host's.
  WmiSession session(wmi, ComSecurity::kPerProxy);
  // A COM string that cannot be had (ComError) counts as a failure of the
  // call it was for.
  try {
    if (!session.Open()) {
      drives.error = CallError(session.failedCall(), session.failedStatus());
      return drives;
    }
  } catch (const ComError& error) {
    drives.error = CallError("ConnectServer", error.Error());
    return drives;
  }
  try {
    RunDiskDriveQuery(wmi, text, session.services(), drives);
  } catch (const ComError& error) {
    drives.error = CallError("ExecQuery", error.Error());
  }
  return drives;
}

}  // namespace hdsn
