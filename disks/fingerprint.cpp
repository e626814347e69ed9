#include "disks/fingerprint.h"

#include <cstddef>
#include <cstdio>
#include <optional>

#include "disks/disks_runner.h"
#include "disks/json_writer.h"
#include "platform/console.h"
#include "platform/hmac_interface.h"
#include "protocol/identity.h"

namespace hdsn {
namespace {

// Printable ASCII stays as it is but for "%"; that and every other byte is
// "%" and two capital hex digits. No value can then hold the TAB or the line
// feed that end its parts, and two values have one line only if they are
// the same bytes.
void AppendEscapedValue(std::string& out, std::string_view value) {
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte <= 0x7E && byte != '%') {
      out += c;
      continue;
    }
    char escape[4];
    std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned>(byte));
    out += escape;
  }
}

FingerprintComponent Component(const char* kind, const std::string& source,
                               const std::string& value) {
  FingerprintComponent component;
  component.kind = kind;
  component.source = source;
  component.line = kind;
  component.line += '\t';
  AppendEscapedValue(component.line, value);
  component.line += '\n';
  return component;
}

// The identifier that stands for the disk, when it counts.
std::optional<FingerprintComponent> Represent(const DiskEntry& disk) {
  // A disk that holds the system, not one that comes and goes with a stick
  // or a dock.
  if (!disk.system.value_or(false) || disk.removable.value_or(false)) return std::nullopt;
  if (disk.bus && disk.bus->kind == Bus::kUsb) return std::nullopt;
  if (disk.serial && disk.serialKind == kSerialKindSerial)
    return Component(kSerialKindSerial, disk.serialSource, *disk.serial);
  const DiskIdentity& identity = disk.identity;
  const IdentitySources& sources = disk.identitySources;
  if (identity.wwn) return Component("wwn", sources.wwn, *identity.wwn);
  if (identity.eui64) return Component("eui64", sources.eui64, *identity.eui64);
  if (identity.nguid) return Component("nguid", sources.nguid, *identity.nguid);
  return std::nullopt;
}

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string VersionLine() { return std::string(kFingerprintVersion) + "\n"; }

// The HMAC's digest in hex, or the error.
std::string Hmac(HmacInterface& hmac, std::string_view salt, std::string_view message,
                 std::string& hex) {
  Sha256Digest digest{};
  std::string error = hmac.HmacSha256(Bytes(salt), Bytes(message), digest);
  if (error.empty()) hex = HexDigits(digest);
  return error;
}

}  // namespace

std::vector<FingerprintComponent> FingerprintComponents(const DiskInventory& inventory) {
  // Each one put in its place by its line as it comes: a machine has a disk
  // or two, and std::stable_sort of these would add some 40 KB to each
  // Windows image. Of disks that give the same line, the first one's source
  // stays.
  std::vector<FingerprintComponent> components;
  for (const DiskEntry& disk : inventory.disks) {
    std::optional<FingerprintComponent> component = Represent(disk);
    if (!component) continue;
    std::size_t at = 0;
    while (at < components.size() && components[at].line < component->line) ++at;
    if (at < components.size() && components[at].line == component->line) continue;
    components.insert(components.begin() + static_cast<std::ptrdiff_t>(at), std::move(*component));
  }
  return components;
}

std::string FingerprintInput(const std::vector<FingerprintComponent>& components) {
  std::string input = VersionLine();
  for (const FingerprintComponent& component : components) input += component.line;
  return input;
}

Fingerprint MakeFingerprint(HmacInterface& hmac, const DiskInventory& inventory,
                            std::string_view salt) {
  Fingerprint fingerprint;
  fingerprint.components = FingerprintComponents(inventory);
  if (fingerprint.components.empty()) return fingerprint;
  std::string value;
  std::string error = Hmac(hmac, salt, FingerprintInput(fingerprint.components), value);
  for (FingerprintComponent& component : fingerprint.components) {
    if (!error.empty()) break;
    error = Hmac(hmac, salt, VersionLine() + component.line, component.hmac);
  }
  if (!error.empty()) {
    fingerprint.status = Fingerprint::Status::kNoHmac;
    fingerprint.error = std::move(error);
    fingerprint.components.clear();
    return fingerprint;
  }
  fingerprint.status = Fingerprint::Status::kMade;
  fingerprint.value = std::string(kFingerprintVersion) + ":" + value;
  return fingerprint;
}

std::string FormatFingerprintJson(const Fingerprint& fingerprint) {
  std::string out = "{\"schema_version\": 1, \"version\": ";
  AppendJsonBytes(out, kFingerprintVersion);
  out += ", \"value\": ";
  AppendJsonBytes(out, fingerprint.value);
  out += ",\n \"components\": [";
  for (std::size_t at = 0; at < fingerprint.components.size(); ++at) {
    const FingerprintComponent& component = fingerprint.components[at];
    out += at == 0 ? "\n  {\"kind\": " : ",\n  {\"kind\": ";
    AppendJsonBytes(out, component.kind);
    out += ", \"source\": ";
    AppendJsonBytes(out, component.source);
    out += ", \"hmac\": ";
    AppendJsonBytes(out, component.hmac);
    out += '}';
  }
  out += "]}\n";
  return out;
}

int PrintFingerprint(ConsoleInterface& console, OutputFileInterface& files, HmacInterface& hmac,
                     const DiskInventory& inventory, const DisksOptions& options) {
  if (!inventory.error.empty()) {
    console.ErrorPrintf("hdsn-disks: %s\n", inventory.error.c_str());
    return kDisksExitNone;
  }
  const Fingerprint fingerprint = MakeFingerprint(hmac, inventory, options.salt.value_or(""));
  switch (fingerprint.status) {
    case Fingerprint::Status::kNoInput:
      console.ErrorPrintf("hdsn-disks: no system disk gives a serial number or world wide name\n");
      return kDisksExitNone;
    case Fingerprint::Status::kNoHmac:
      console.ErrorPrintf("hdsn-disks: HMAC-SHA256 is not available (%s)\n",
                          fingerprint.error.c_str());
      return kDisksExitNone;
    case Fingerprint::Status::kMade:
      break;
  }
  const std::string text =
      options.json ? FormatFingerprintJson(fingerprint) : fingerprint.value + "\n";
  return EmitDocument(console, files, options, text) ? kDisksExitFound : kDisksExitOutput;
}

}  // namespace hdsn
