// The wmi source: one query for every Win32_DiskDrive of ROOT\CIMV2, each
// object's Index, SerialNumber, Model and FirmwareRevision.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/text.h"
#include "wmi/wmi_interface.h"

namespace hdsn {

class TextInterface;

struct WmiDiskDrives {
  // Whether the connection and the query succeeded; when not, error names
  // the call that failed and its HRESULT, e.g. "ConnectServer: 0x80041003".
  bool ok = false;
  std::string error;
  // The texts (UTF-8) by Index; the first object of an Index counts.
  std::map<int, SourceTexts> drives;
};

WmiDiskDrives QueryWmiDiskDrives(WmiInterface& wmi, TextInterface& text);

// Index as WMI gives it: VT_I4 on Windows and Wine, also taken as VT_UI4,
// VT_I2, VT_UI2, VT_UI1 or a BSTR of decimal digits. nullopt for anything
// else, a negative value or one beyond int.
std::optional<int> ReadWmiIndex(const WmiValue& value);

// A property text (VT_BSTR) as UTF-8, not trimmed; nullopt for any other
// type, null included.
std::optional<std::string> ReadWmiText(const WmiValue& value);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view wide);

}  // namespace hdsn
