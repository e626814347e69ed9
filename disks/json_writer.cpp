#include "disks/json_writer.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace hdsn {
namespace {

void AppendEscapedByte(std::string& out, unsigned char byte) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(byte));
  out += escape;
}

// Length of the valid UTF-8 sequence at the start of text, or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
  struct Form {
    unsigned char firstLead, lastLead;
    std::size_t length;
    std::uint32_t minimum;  // the smallest code point this length may carry
  };
  static constexpr Form kForms[] = {
      {0xC2, 0xDF, 2, 0x80}, {0xE0, 0xEF, 3, 0x800}, {0xF0, 0xF4, 4, 0x10000}};
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  for (const Form& form : kForms) {
    if (lead < form.firstLead || lead > form.lastLead) continue;
    if (text.size() < form.length) return 0;
    std::uint32_t codePoint = lead & (0x7Fu >> form.length);
    for (std::size_t at = 1; at < form.length; ++at) {
      if ((byte(at) & 0xC0) != 0x80) return 0;
      codePoint = (codePoint << 6) | (byte(at) & 0x3Fu);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if (codePoint < form.minimum || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
        codePoint > 0x10FFFF)
      return 0;
    return form.length;
  }
  return 0;
}

void AppendField(std::string& out, const char* name) {
  out += '"';
  out += name;
  out += "\": ";
}

// A text field: a literal of device bytes or of UTF-8 (WMI's), or null.
void AppendText(std::string& out, const char* name, const std::optional<std::string>& text,
                bool utf8) {
  AppendField(out, name);
  if (!text) {
    out += "null";
  } else if (utf8) {
    AppendJsonUtf8(out, *text);
  } else {
    AppendJsonBytes(out, *text);
  }
}

bool FromWmi(const std::string& source) { return source == kSourceWmi; }

// The literal of an identity field's value, none for null: text of device
// bytes (identifiers are hex digits), a number, a boolean. Only these are
// written once per type; the appending is not.
std::optional<std::string> Literal(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  std::string literal;
  AppendJsonBytes(literal, *text);
  return literal;
}
template <typename Number>
std::optional<std::string> Literal(const std::optional<Number>& number) {
  if (!number) return std::nullopt;
  return std::to_string(*number);
}
std::optional<std::string> Literal(const std::optional<bool>& value) {
  if (!value) return std::nullopt;
  return *value ? "true" : "false";
}

// A field a source gave: only when it gave it.
void AppendGiven(std::string& out, const char* name, const std::optional<std::string>& literal) {
  if (!literal) return;
  out += ", ";
  AppendField(out, name);
  out += *literal;
}

// The identity a source gave: only the fields it gave, then the
// placeholders it gave, named by field.
void AppendSourceIdentity(std::string& out, const DiskIdentity& identity) {
  ForEachIdentityField([&](const char* name, auto field, auto) {
    AppendGiven(out, name, Literal(identity.*field));
  });
  if (identity.placeholders.empty()) return;
  out += ", ";
  AppendField(out, "placeholders");
  out += '{';
  for (std::size_t at = 0; at < identity.placeholders.size(); ++at) {
    if (at > 0) out += ", ";
    AppendJsonBytes(out, identity.placeholders[at].field);
    out += ": ";
    AppendJsonBytes(out, identity.placeholders[at].reason);
  }
  out += '}';
}

// One field of the disk's identity and its source: two identifiers a line,
// then the size, each sector size, and the rotation on lines of their own.
void AppendDiskField(std::string& out, int written, const char* name,
                     const std::optional<std::string>& literal, const std::string& source) {
  out += written == 1 || written == 3 || written == 8 ? ", " : ",\n   ";
  AppendField(out, name);
  out += literal.value_or("null");
  out += ", \"";
  out += name;
  out += "_source\": ";
  if (literal) {
    AppendJsonBytes(out, source);
  } else {
    out += "null";
  }
}

void AppendDiskIdentity(std::string& out, const DiskEntry& disk) {
  int written = 0;
  ForEachIdentityField([&](const char* name, auto field, auto from) {
    AppendDiskField(out, written++, name, Literal(disk.identity.*field),
                    disk.identitySources.*from);
  });
}

void AppendDevices(std::string& out, const char* name, const std::vector<std::string>& devices,
                   bool& first) {
  if (devices.empty()) return;
  if (!first) out += ", ";
  first = false;
  AppendField(out, name);
  out += '[';
  for (std::size_t at = 0; at < devices.size(); ++at) {
    if (at > 0) out += ", ";
    AppendJsonBytes(out, devices[at]);
  }
  out += ']';
}

void AppendShared(std::string& out, const SharedIdentifiers& shared) {
  AppendField(out, "shared_with");
  out += '{';
  bool first = true;
  AppendDevices(out, "serial", shared.serial, first);
  AppendDevices(out, "wwn", shared.wwn, first);
  AppendDevices(out, "eui64", shared.eui64, first);
  AppendDevices(out, "nguid", shared.nguid, first);
  out += '}';
}

void AppendSource(std::string& out, const DiskSource& source, bool withVia) {
  out += '{';
  AppendField(out, "name");
  AppendJsonBytes(out, source.name);
  out += ", ";
  AppendField(out, "ok");
  out += source.ok ? "true" : "false";
  if (withVia) {
    out += ", ";
    AppendText(out, "via", source.via, /*utf8=*/false);
  }
  const bool utf8 = FromWmi(source.name);
  if (source.ok) {
    out += ", ";
    AppendText(out, "serial", source.serial, utf8);
    out += ", ";
    AppendText(out, "model", source.model, utf8);
    out += ", ";
    AppendText(out, "firmware", source.firmware, utf8);
    AppendSourceIdentity(out, source.identity);
  } else {
    out += ", ";
    AppendField(out, "error");
    AppendJsonBytes(out, source.error);
  }
  out += '}';
}

void AppendBool(std::string& out, const char* name, const std::optional<bool>& value) {
  AppendField(out, name);
  out += !value ? "null" : *value ? "true" : "false";
}

void AppendDisk(std::string& out, const DiskEntry& disk, bool withVia) {
  out += "  {";
  AppendField(out, "index");
  out += disk.index ? std::to_string(*disk.index) : "null";
  out += ", ";
  AppendField(out, "device");
  AppendJsonBytes(out, disk.device);
  out += ", ";
  AppendField(out, "bus");
  if (disk.bus) {
    AppendJsonBytes(out, BusName(*disk.bus));
  } else {
    out += "null";
  }
  out += ", ";
  AppendBool(out, "removable", disk.removable);
  out += ", ";
  AppendBool(out, "system", disk.system);
  out += ",\n   ";
  AppendText(out, "serial", disk.serial, FromWmi(disk.serialSource));
  out += ", ";
  AppendField(out, "serial_source");
  if (disk.serial) {
    AppendJsonBytes(out, disk.serialSource);
  } else {
    out += "null";
  }
  out += ", ";
  AppendField(out, "serial_kind");
  if (disk.serial) {
    AppendJsonBytes(out, disk.serialKind);
  } else {
    out += "null";
  }
  out += ",\n   ";
  AppendText(out, "model", disk.model, FromWmi(disk.modelSource));
  out += ", ";
  AppendText(out, "firmware", disk.firmware, FromWmi(disk.firmwareSource));
  out += ", ";
  AppendField(out, "agree");
  out += disk.agree ? "true" : "false";
  AppendDiskIdentity(out, disk);
  out += ",\n   ";
  AppendShared(out, disk.sharedWith);
  out += ",\n   ";
  AppendField(out, "sources");
  out += '[';
  for (std::size_t at = 0; at < disk.sources.size(); ++at) {
    out += at == 0 ? "\n     " : ",\n     ";
    AppendSource(out, disk.sources[at], withVia);
  }
  out += "]}";
}

}  // namespace

void AppendJsonBytes(std::string& out, std::string_view bytes) {
  out += '"';
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += c;
    } else if (byte >= 0x20 && byte <= 0x7E) {
      out += c;
    } else {
      AppendEscapedByte(out, byte);
    }
  }
  out += '"';
}

void AppendJsonUtf8(std::string& out, std::string_view text) {
  out += '"';
  std::size_t at = 0;
  while (at < text.size()) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += text[at++];
      continue;
    }
    if (byte < 0x20 || byte == 0x7F) {
      AppendEscapedByte(out, byte);
      ++at;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(text.substr(at));
    if (length == 0) {
      AppendEscapedByte(out, byte);
      ++at;
      continue;
    }
    out.append(text, at, length);
    at += length;
  }
  out += '"';
}

void AppendJsonSourceText(std::string& out, std::string_view text, const std::string& source) {
  if (FromWmi(source)) {
    AppendJsonUtf8(out, text);
  } else {
    AppendJsonBytes(out, text);
  }
}

std::string FormatInventoryJson(const DiskInventory& inventory) {
  std::string out = "{\"schema_version\": 3,\n \"disks\": [";
  for (std::size_t at = 0; at < inventory.disks.size(); ++at) {
    out += at == 0 ? "\n" : ",\n";
    AppendDisk(out, inventory.disks[at], inventory.sourcesHaveVia);
  }
  out += "],\n \"system_volume\": {";
  AppendText(out, "root", inventory.systemVolume.root, /*utf8=*/false);
  out += ", ";
  AppendText(out, "serial", inventory.systemVolume.serial, /*utf8=*/false);
  out += "}}\n";
  return out;
}

}  // namespace hdsn
