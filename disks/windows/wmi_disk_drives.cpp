#include "disks/windows/wmi_disk_drives.h"

#include <cstdio>
#include <limits>

#include "protocol/text.h"
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

// The integer types WMI gives an Index in, each read in its own width.
struct IndexType {
  std::uint16_t type;
  std::int64_t (*read)(const WmiValue& value);
};
constexpr IndexType kIndexTypes[] = {
    {kVtI4, [](const WmiValue& value) -> std::int64_t { return value.LongVal(); }},
    {kVtUi4, [](const WmiValue& value) -> std::int64_t { return value.ULongVal(); }},
    {kVtI2, [](const WmiValue& value) -> std::int64_t { return value.ShortVal(); }},
    {kVtUi2, [](const WmiValue& value) -> std::int64_t { return value.UShortVal(); }},
    {kVtUi1, [](const WmiValue& value) -> std::int64_t { return value.ByteVal(); }},
};

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

void AppendUtf8(std::string& out, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// A text property, by the text rule given (SerialText, PlainText).
std::optional<std::string> ReadTextProperty(WmiInterface& wmi, WmiClassObject* object,
                                            const char16_t* name,
                                            std::optional<std::string> (*rule)(std::string_view)) {
  std::optional<std::string> text;
  ReadProperty(wmi, object, name, [&](const WmiValue& value) {
    if (const std::optional<std::string> raw = ReadWmiText(value)) text = rule(*raw);
  });
  return text;
}

void ReadDiskDrive(WmiInterface& wmi, WmiClassObject* object, WmiDiskDrives& drives) {
  std::optional<int> index;
  ReadProperty(wmi, object, u"Index", [&](const WmiValue& value) { index = ReadWmiIndex(value); });
  if (!index || drives.drives.count(*index) != 0) return;
  SourceTexts texts;
  texts.serial = ReadTextProperty(wmi, object, u"SerialNumber", &SerialText);
  texts.model = ReadTextProperty(wmi, object, u"Model", &PlainText);
  texts.firmware = ReadTextProperty(wmi, object, u"FirmwareRevision", &PlainText);
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

std::string Utf16ToUtf8(std::u16string_view wide) {
  constexpr std::uint32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(wide.size());
  for (std::size_t at = 0; at < wide.size(); ++at) {
    const std::uint32_t unit = wide[at];
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < wide.size() && wide[at + 1] >= 0xDC00 &&
        wide[at + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (wide[at + 1] - 0xDC00u));
      ++at;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::optional<int> ReadWmiIndex(const WmiValue& value) {
  if (value.Type() == kVtBstr) return DigitsValue(value.BstrVal());
  for (const IndexType& integer : kIndexTypes) {
    if (value.Type() == integer.type) return NonNegative(integer.read(value));
  }
  return std::nullopt;
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
