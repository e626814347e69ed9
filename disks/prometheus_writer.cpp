#include "disks/prometheus_writer.h"

#include <optional>
#include <string_view>

#include "disks/json_writer.h"

namespace hdsn {
namespace {

// A label value from the JSON string literal of its text. The literal holds
// no raw line feed or quote, and its only escapes are \", \\ and \u00XX.
void AppendLabelValue(std::string& out, std::string_view literal) {
  literal = literal.substr(1, literal.size() - 2);
  for (std::size_t at = 0; at < literal.size(); ++at) {
    if (literal[at] != '\\' || at + 1 == literal.size()) {
      out += literal[at];
    } else if (literal[at + 1] == '"' || literal[at + 1] == '\\') {
      out += literal.substr(at++, 2);
    } else if (literal.substr(at, 6) == "\\u000a") {
      out += "\\n";
      at += 5;
    } else {
      out += "\\\\";
    }
  }
}

// name="value", the text as its source gave it ("" for any byte string).
void AppendLabel(std::string& out, const char* name, const std::optional<std::string>& text,
                 const std::string& source = "") {
  if (out.back() != '{') out += ',';
  out += name;
  out += "=\"";
  if (text) {
    std::string literal;
    AppendJsonSourceText(literal, *text, source);
    AppendLabelValue(out, literal);
  }
  out += '"';
}

std::optional<std::string> SystemText(const std::optional<bool>& system) {
  if (!system) return std::nullopt;
  return *system ? "true" : "false";
}

// One family: HELP, TYPE and each sample `sample` gives (false: none for
// that disk), or nothing when no disk gives one.
template <typename Sample>
void AppendDiskFamily(std::string& out, const DiskInventory& inventory, const char* name,
                      const char* help, Sample&& sample) {
  std::string samples;
  for (const DiskEntry& disk : inventory.disks) {
    std::string value;
    if (!sample(disk, value)) continue;
    samples += name;
    samples += '{';
    AppendLabel(samples, "device", disk.device);
    samples += "} " + value + "\n";
  }
  if (samples.empty()) return;
  out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
  out += samples;
}

}  // namespace

std::string FormatInventoryPrometheus(const DiskInventory& inventory) {
  std::string out;
  if (!inventory.disks.empty()) {
    out +=
        "# HELP hdsn_disk_info A disk of this machine with its serial number, model, firmware and "
        "world wide name, the source of the serial and whether the disk holds the system volume; "
        "an empty label is unknown.\n"
        "# TYPE hdsn_disk_info gauge\n";
  }
  for (const DiskEntry& disk : inventory.disks) {
    out += "hdsn_disk_info{";
    AppendLabel(out, "device", disk.device);
    AppendLabel(out, "bus", disk.bus ? std::optional(BusName(*disk.bus)) : std::nullopt);
    AppendLabel(out, "serial", disk.serial, disk.serialSource);
    AppendLabel(out, "serial_source",
                disk.serial ? std::optional(disk.serialSource) : std::nullopt);
    AppendLabel(out, "model", disk.model, disk.modelSource);
    AppendLabel(out, "firmware", disk.firmware, disk.firmwareSource);
    AppendLabel(out, "wwn", disk.identity.wwn);
    AppendLabel(out, "system", SystemText(disk.system));
    out += "} 1\n";
  }
  AppendDiskFamily(out, inventory, "hdsn_disk_size_bytes",
                   "A disk's size in bytes, where a source gave it.",
                   [](const DiskEntry& disk, std::string& value) {
                     if (!disk.identity.size) return false;
                     value = std::to_string(*disk.identity.size);
                     return true;
                   });
  AppendDiskFamily(out, inventory, "hdsn_disk_sources_agree",
                   "1 when every source that gave a disk's serial number gave the same one, "
                   "else 0.",
                   [](const DiskEntry& disk, std::string& value) {
                     // Constructed, not assigned from a literal: GCC 12's release
                     // build misreads that assignment (-Wrestrict).
                     value = std::string(1, disk.agree ? '1' : '0');
                     return true;
                   });
  out +=
      "# HELP hdsn_system_volume_info The system volume's root and serial number (on Linux the "
      "UUID of the root file system); an empty label is unknown.\n"
      "# TYPE hdsn_system_volume_info gauge\n"
      "hdsn_system_volume_info{";
  AppendLabel(out, "root", inventory.systemVolume.root);
  AppendLabel(out, "serial", inventory.systemVolume.serial);
  out += "} 1\n";
  return out;
}

}  // namespace hdsn
