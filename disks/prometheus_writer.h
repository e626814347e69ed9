// The inventory in the Prometheus text exposition format (version 0.0.4),
// which the textfile collectors of node_exporter and windows_exporter read.
#pragma once

#include <string>

#include "disks/disk_inventory.h"

namespace hdsn {

// Per disk hdsn_disk_info (value 1, the texts as labels),
// hdsn_disk_size_bytes (where a source gave the size) and
// hdsn_disk_sources_agree (1 or 0), then hdsn_system_volume_info (value 1),
// each family with its HELP and TYPE lines and without timestamps; a family
// without a sample is left out. An unknown text is an empty label value,
// which Prometheus takes for no label. A label value is the text as the JSON
// document writes it, but for the escapes of the format: a backslash is \\,
// a double quote \", a line feed \n; every other byte the JSON writes as
// \u00XX stays those six characters (its backslash written \\).
std::string FormatInventoryPrometheus(const DiskInventory& inventory);

}  // namespace hdsn
