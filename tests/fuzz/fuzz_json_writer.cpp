// The JSON writer given any bytes: as every text of an inventory, the
// document parses with a real JSON parser and holds every disk and source,
// each disk's identity and shared identifiers, and a source's placeholders
// only when it answered with some; the table of it is whole, and any size
// comes out as lsblk's form;
// a literal of device bytes gives back each byte as U+00XX; a literal of
// any bytes as UTF-8 parses, and gives back any text converted from UTF-16;
// the fingerprint's input of the inventory is its version line, then lines
// in strictly rising byte order of a kind, a TAB, printable ASCII that
// decodes to the identifier of a system disk off USB, and a line feed.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "disks/disk_table.h"
#include "disks/fingerprint.h"
#include "disks/json_writer.h"
#include "disks/windows/wmi_disk_drives.h"
#include "fuzz_check.h"

namespace {

using nlohmann::json;

std::string Latin1ToUtf8(const std::string& bytes) {
  std::u16string wide;
  for (const char c : bytes) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  return hdsn::Utf16ToUtf8(wide);
}

std::string Parsed(const std::string& literal) {
  const json value = json::parse(literal, nullptr, false);
  FUZZ_CHECK(value.is_string());
  return value.get<std::string>();
}

std::optional<std::string> Text(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return std::nullopt;
  return in.ConsumeRandomLengthString(40);
}

template <typename Value>
std::optional<Value> Number(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return std::nullopt;
  return in.ConsumeIntegral<Value>();
}

// Any identity: texts of any bytes where identifiers stand, numbers of any
// value, placeholders of any names.
hdsn::DiskIdentity Identity(FuzzedDataProvider& in) {
  hdsn::DiskIdentity identity;
  identity.wwn = Text(in);
  identity.eui64 = Text(in);
  identity.nguid = Text(in);
  identity.uuid = Text(in);
  identity.size = Number<std::uint64_t>(in);
  identity.logicalSectorSize = Number<std::uint32_t>(in);
  identity.physicalSectorSize = Number<std::uint32_t>(in);
  if (in.ConsumeBool()) identity.rotational = in.ConsumeBool();
  identity.rotationRate = Number<std::uint32_t>(in);
  const int placeholders = in.ConsumeIntegralInRange(0, 2);
  for (int k = 0; k < placeholders; ++k)
    identity.placeholders.push_back(
        {in.ConsumeRandomLengthString(8), in.ConsumeRandomLengthString(8)});
  return identity;
}

std::vector<std::string> Devices(FuzzedDataProvider& in) {
  std::vector<std::string> devices(in.ConsumeIntegralInRange(0, 2));
  for (std::string& device : devices) device = in.ConsumeRandomLengthString(20);
  return devices;
}

hdsn::DiskInventory Inventory(FuzzedDataProvider& in) {
  hdsn::DiskInventory inventory;
  const int disks = in.ConsumeIntegralInRange(0, 3);
  for (int i = 0; i < disks; ++i) {
    hdsn::DiskEntry& disk = inventory.disks.emplace_back();
    if (in.ConsumeBool()) disk.index = in.ConsumeIntegral<int>();
    disk.device = in.ConsumeRandomLengthString(20);
    if (in.ConsumeBool()) disk.system = in.ConsumeBool();
    if (in.ConsumeBool())
      disk.bus = hdsn::DiskBus{
          static_cast<hdsn::Bus>(in.ConsumeIntegralInRange(0, static_cast<int>(hdsn::Bus::kOther))),
          in.ConsumeIntegral<std::uint32_t>()};
    if (in.ConsumeBool()) disk.removable = in.ConsumeBool();
    const int sources = in.ConsumeIntegralInRange(0, 5);
    for (int k = 0; k < sources; ++k) {
      hdsn::DiskSource& source = disk.sources.emplace_back();
      source.name = in.ConsumeBool() ? hdsn::kSourceWmi : in.ConsumeRandomLengthString(20);
      source.ok = in.ConsumeBool();
      source.via = Text(in);
      source.error = in.ConsumeRandomLengthString(20);
      source.serial = Text(in);
      source.model = Text(in);
      source.firmware = Text(in);
      source.identity = Identity(in);
    }
    disk.serial = Text(in);
    disk.model = Text(in);
    disk.firmware = Text(in);
    disk.serialSource = disk.modelSource = disk.firmwareSource =
        in.ConsumeBool() ? hdsn::kSourceWmi : in.ConsumeRandomLengthString(20);
    disk.agree = in.ConsumeBool();
    disk.serialKind = in.ConsumeRandomLengthString(8);
    disk.identity = Identity(in);
    hdsn::ForEachIdentityField([&](const char*, auto, auto from) {
      disk.identitySources.*from = in.ConsumeRandomLengthString(20);
    });
    disk.sharedWith = {Devices(in), Devices(in), Devices(in), Devices(in)};
  }
  inventory.systemVolume.root = Text(in);
  inventory.systemVolume.serial = Text(in);
  inventory.sourcesHaveVia = in.ConsumeBool();
  return inventory;
}

// The line's value with each "%XX" made its byte again.
std::string Unescaped(const std::string& value) {
  std::string bytes;
  for (std::size_t at = 0; at < value.size(); ++at) {
    if (value[at] != '%') {
      bytes += value[at];
      continue;
    }
    FUZZ_CHECK(at + 2 < value.size());
    bytes += static_cast<char>(std::stoi(value.substr(at + 1, 2), nullptr, 16));
    at += 2;
  }
  return bytes;
}

void CheckFingerprintInput(const hdsn::DiskInventory& inventory) {
  std::vector<std::string> identifiers;  // "kind\tbytes" of every disk that may count
  for (const hdsn::DiskEntry& disk : inventory.disks) {
    if (!disk.system.value_or(false) || disk.removable.value_or(false) ||
        (disk.bus && disk.bus->kind == hdsn::Bus::kUsb))
      continue;
    if (disk.serial) identifiers.push_back("serial\t" + *disk.serial);
    if (disk.identity.wwn) identifiers.push_back("wwn\t" + *disk.identity.wwn);
    if (disk.identity.eui64) identifiers.push_back("eui64\t" + *disk.identity.eui64);
    if (disk.identity.nguid) identifiers.push_back("nguid\t" + *disk.identity.nguid);
  }
  const auto components = hdsn::FingerprintComponents(inventory);
  FUZZ_CHECK(components.size() <= inventory.disks.size());
  const std::string input = hdsn::FingerprintInput(components);
  FUZZ_CHECK(input.rfind("hdsn-fp1\n", 0) == 0);
  std::string previous;
  for (std::size_t start = 9; start < input.size();) {
    const std::size_t end = input.find('\n', start);
    FUZZ_CHECK(end != std::string::npos);
    const std::string line = input.substr(start, end - start);
    FUZZ_CHECK(previous.empty() || previous < line);
    const std::size_t tab = line.find('\t');
    FUZZ_CHECK(tab != std::string::npos && line.find('\t', tab + 1) == std::string::npos);
    for (const char c : line.substr(tab + 1)) FUZZ_CHECK(c >= 0x20 && c <= 0x7E);
    const std::string identifier = line.substr(0, tab + 1) + Unescaped(line.substr(tab + 1));
    FUZZ_CHECK(std::find(identifiers.begin(), identifiers.end(), identifier) != identifiers.end());
    previous = line;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  std::string literal;
  const std::string bytes = in.ConsumeRandomLengthString(64);
  hdsn::AppendJsonBytes(literal, bytes);
  FUZZ_CHECK(Parsed(literal) == Latin1ToUtf8(bytes));

  literal.clear();
  hdsn::AppendJsonUtf8(literal, in.ConsumeRandomLengthString(64));
  Parsed(literal);

  std::u16string wide;
  const std::string units = in.ConsumeRandomLengthString(64);
  for (std::size_t at = 0; at + 1 < units.size(); at += 2)
    wide += static_cast<char16_t>(static_cast<unsigned char>(units[at]) |
                                  static_cast<unsigned char>(units[at + 1]) << 8);
  const std::string utf8 = hdsn::Utf16ToUtf8(wide);
  literal.clear();
  hdsn::AppendJsonUtf8(literal, utf8);
  FUZZ_CHECK(Parsed(literal) == utf8);

  const hdsn::DiskInventory inventory = Inventory(in);
  const std::string text = hdsn::FormatInventoryJson(inventory);
  const json document = json::parse(text, nullptr, false);
  FUZZ_CHECK(!document.is_discarded());
  FUZZ_CHECK(text.rfind("{\"schema_version\": 3,", 0) == 0);
  FUZZ_CHECK(document.at("disks").size() == inventory.disks.size());
  for (std::size_t at = 0; at < inventory.disks.size(); ++at) {
    const json& disk = document.at("disks").at(at);
    const std::optional<int>& index = inventory.disks[at].index;
    FUZZ_CHECK(index ? disk.at("index") == *index : disk.at("index").is_null());
    FUZZ_CHECK(disk.at("device") == Latin1ToUtf8(inventory.disks[at].device));
    for (const json& source : disk.at("sources"))
      FUZZ_CHECK(source.contains("via") == inventory.sourcesHaveVia);
    FUZZ_CHECK(disk.at("sources").size() == inventory.disks[at].sources.size());
    FUZZ_CHECK(disk.at("serial").is_null() == !inventory.disks[at].serial);
    const hdsn::DiskEntry& entry = inventory.disks[at];
    FUZZ_CHECK(disk.at("size").is_null() ? !entry.identity.size
                                         : disk.at("size") == *entry.identity.size);
    FUZZ_CHECK(disk.at("rotational").is_null() == !entry.identity.rotational);
    FUZZ_CHECK(disk.at("shared_with").size() ==
               !entry.sharedWith.serial.empty() + !entry.sharedWith.wwn.empty() +
                   !entry.sharedWith.eui64.empty() + !entry.sharedWith.nguid.empty());
    for (std::size_t k = 0; k < entry.sources.size(); ++k) {
      const json& source = disk.at("sources").at(k);
      FUZZ_CHECK(!source.contains("placeholders") ||
                 (entry.sources[k].ok && !entry.sources[k].identity.placeholders.empty()));
    }
  }
  CheckFingerprintInput(inventory);
  // The table of the same inventory, sizes of any value as lsblk writes them.
  const std::string table = hdsn::FormatDiskTable(inventory);
  FUZZ_CHECK(!table.empty() && table.back() == '\n');
  const std::string shown = hdsn::HumanSize(in.ConsumeIntegral<std::uint64_t>());
  FUZZ_CHECK(shown.size() >= 2 && std::string("BKMGTPE").find(shown.back()) != std::string::npos);
  const std::size_t point = shown.find('.');
  FUZZ_CHECK(point == std::string::npos || (point + 3 == shown.size() && shown[point + 1] != '0'));
  FUZZ_CHECK(std::stoul(shown) <= 1024);
  return 0;
}
