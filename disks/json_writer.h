// The inventory as one JSON document, and the string literals it is made
// of. Any bytes in give valid JSON out.
#pragma once

#include <string>
#include <string_view>

#include "disks/disk_inventory.h"

namespace hdsn {

// A string literal of bytes from a device or the ANSI code page: printable
// ASCII as it is (with " and \ escaped), every other byte as \u00XX.
void AppendJsonBytes(std::string& out, std::string_view bytes);

// A string literal of UTF-8 text: valid sequences as they are, control
// characters escaped, any byte that is not part of a valid sequence as
// \u00XX.
void AppendJsonUtf8(std::string& out, std::string_view text);

// A text the named source gave, as a string literal: WMI's texts are UTF-8,
// every other source's are a device's bytes. The Prometheus format writes
// its label values from these literals.
void AppendJsonSourceText(std::string& out, std::string_view text, const std::string& source);

// The whole document, version 3, ending in a line feed:
// {"schema_version": 3, "disks": [{"index": ..., "device": ..., "wwn": ..., "shared_with": {...},
//  "sources": [...]}, ...], "system_volume": {...}}
std::string FormatInventoryJson(const DiskInventory& inventory);

}  // namespace hdsn
