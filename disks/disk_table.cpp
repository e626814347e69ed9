#include "disks/disk_table.h"

#include <algorithm>
#include <array>
#include <vector>

namespace hdsn {
namespace {

constexpr std::size_t kColumns = 7;
constexpr std::size_t kSizeColumn = 2;
using Row = std::array<std::string, kColumns>;
constexpr char kMissing[] = "-";

std::string Shown(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E) c = '?';
  }
  return shown;
}

std::string ShownOrMissing(const std::optional<std::string>& text) {
  return text ? Shown(*text) : kMissing;
}

// The disk's number, or its device where the system does not number disks.
std::string DiskName(const DiskEntry& disk) {
  return disk.index ? std::to_string(*disk.index) : Shown(disk.device);
}

constexpr char kSystemMark[] = "*";

Row DiskRow(const DiskEntry& disk) {
  return {DiskName(disk) + (disk.system.value_or(false) ? kSystemMark : ""),
          disk.bus ? BusName(*disk.bus) : kMissing,
          disk.identity.size ? HumanSize(*disk.identity.size) : kMissing,
          ShownOrMissing(disk.serial),
          ShownOrMissing(disk.model),
          ShownOrMissing(disk.firmware),
          disk.serial ? disk.serialSource : kMissing};
}

void AppendRow(std::string& out, const Row& row, const std::array<std::size_t, kColumns>& widths) {
  std::string line;
  for (std::size_t column = 0; column < kColumns; ++column) {
    const std::size_t pad = widths[column] - row[column].size();
    if (column == kSizeColumn) line.append(pad, ' ');
    line += row[column];
    if (column + 1 < kColumns) line.append((column == kSizeColumn ? 0 : pad) + 2, ' ');
  }
  out += line;
  out += '\n';
}

void AppendDisagreement(std::string& out, const DiskEntry& disk) {
  out += "Disk " + DiskName(disk) + " sources disagree:";
  bool first = true;
  for (const DiskSource& source : disk.sources) {
    if (!source.ok || !source.serial) continue;
    out += first ? " " : ", ";
    out += source.name + " \"" + Shown(*source.serial) + "\"";
    first = false;
  }
  out += '\n';
}

}  // namespace

std::string HumanSize(std::uint64_t bytes) {
  constexpr char kSuffixes[] = "BKMGTPE";
  int shift = 10;
  while (shift <= 60 && bytes >= std::uint64_t{1} << shift) shift += 10;
  const int exponent = shift - 10;
  std::uint64_t whole = bytes >> exponent;
  std::uint64_t fraction = bytes - (whole << exponent);
  if (fraction != 0) {
    // Thousandths, truncated, then rounded half up to tenths: 0.95 and more
    // make the next whole number.
    fraction = fraction >= UINT64_MAX / 1000
                   ? fraction / 1024 * 1000 / (std::uint64_t{1} << (exponent - 10))
                   : fraction * 1000 / (std::uint64_t{1} << exponent);
    fraction = (fraction + 50) / 100;
    if (fraction == 10) {
      ++whole;
      fraction = 0;
    }
  }
  std::string text = std::to_string(whole);
  if (fraction != 0) {
    text += '.';
    text += static_cast<char>('0' + fraction);
  }
  text += kSuffixes[exponent / 10];
  return text;
}

std::string FormatDiskTable(const DiskInventory& inventory) {
  std::string out;
  if (inventory.disks.empty()) {
    out += "No disk found.\n";
  } else {
    std::vector<Row> rows = {{"Disk", "Bus", "Size", "Serial", "Model", "Firmware", "Source"}};
    for (const DiskEntry& disk : inventory.disks) rows.push_back(DiskRow(disk));
    std::array<std::size_t, kColumns> widths{};
    for (const Row& row : rows) {
      for (std::size_t column = 0; column < kColumns; ++column)
        widths[column] = std::max(widths[column], row[column].size());
    }
    for (const Row& row : rows) AppendRow(out, row, widths);
    const auto system = [](const DiskEntry& disk) { return disk.system.value_or(false); };
    if (std::any_of(inventory.disks.begin(), inventory.disks.end(), system))
      out += std::string(kSystemMark) + " holds the system volume " +
             ShownOrMissing(inventory.systemVolume.root) + "\n";
  }
  out += '\n';
  for (const DiskEntry& disk : inventory.disks) {
    if (!disk.agree) AppendDisagreement(out, disk);
  }

  const SystemVolume& volume = inventory.systemVolume;
  out += "System volume " + ShownOrMissing(volume.root) + " serial " +
         ShownOrMissing(volume.serial) + "\n";
  return out;
}

}  // namespace hdsn
