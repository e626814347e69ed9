#include "disks/linux/readers.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include "protocol/text.h"

namespace hdsn {
namespace {

constexpr std::size_t kMaxWordDigits = 4;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }

// The lines of a text, the last one with or without its line feed.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    if (!visit(text.substr(0, end))) return;
    text.remove_prefix(std::min(end + 1, text.size()));
  }
}

// The blank-separated fields of a line.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    const std::size_t start = at;
    while (at < line.size() && !IsBlank(line[at])) ++at;
    if (at > start) fields.push_back(line.substr(start, at - start));
  }
  return fields;
}

// A decimal number of at most 9 digits, the whole text.
std::optional<unsigned> Decimal(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  unsigned value = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = 10 * value + static_cast<unsigned>(c - '0');
  }
  return value;
}

// The value of NAME="value" inside a blkid cache entry's opening tag.
std::optional<std::string_view> TagAttribute(std::string_view tag, std::string_view name) {
  std::string pattern(1, ' ');
  pattern.append(name).append("=\"");
  const std::size_t start = tag.find(pattern);
  if (start == std::string_view::npos) return std::nullopt;
  const std::size_t value = start + pattern.size();
  const std::size_t end = tag.find('"', value);
  if (end == std::string_view::npos) return std::nullopt;
  return tag.substr(value, end - value);
}

// glibc's makedev: the 64-bit device number blkid writes as DEVNO.
std::uint64_t MakeDevice(std::uint64_t major, std::uint64_t minor) {
  return ((major & 0xFFFu) << 8) | ((major & ~0xFFFull) << 32) | (minor & 0xFFu) |
         ((minor & ~0xFFull) << 12);
}

std::optional<std::uint64_t> HexNumber(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.empty() || text.size() > 16) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = 16 * value + static_cast<std::uint64_t>(digit);
  }
  return value;
}

// One piece of a name in natural order: a number, the letters of a disk
// (a...z, aa...: by length, then alphabetically), or other text.
struct NamePiece {
  enum Kind { kNumber, kDiskLetters, kText } kind;
  std::string_view text;
  auto Key() const {
    const std::size_t length = kind == kText ? 0 : text.size();
    return std::make_tuple(static_cast<int>(kind), length, text);
  }
};

// Prefixes of the names whose disks are counted in letters.
constexpr std::string_view kLetteredPrefixes[] = {"sd", "vd", "hd", "xvd"};

std::vector<NamePiece> NamePieces(std::string_view name) {
  std::vector<NamePiece> pieces;
  for (const std::string_view prefix : kLetteredPrefixes) {
    if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix &&
        IsLower(name[prefix.size()])) {
      std::size_t end = prefix.size();
      while (end < name.size() && IsLower(name[end])) ++end;
      pieces.push_back({NamePiece::kText, prefix});
      pieces.push_back({NamePiece::kDiskLetters, name.substr(prefix.size(), end - prefix.size())});
      name.remove_prefix(end);
      break;
    }
  }
  while (!name.empty()) {
    const bool digits = IsDigit(name[0]);
    std::size_t end = 1;
    while (end < name.size() && IsDigit(name[end]) == digits) ++end;
    std::string_view piece = name.substr(0, end);
    if (digits) {
      while (piece.size() > 1 && piece[0] == '0') piece.remove_prefix(1);
    }
    pieces.push_back({digits ? NamePiece::kNumber : NamePiece::kText, piece});
    name.remove_prefix(end);
  }
  return pieces;
}

// The last mount of a mountinfo table that `match` takes, given the mount
// and its mount point.
template <typename Match>
std::optional<Mount> LastMount(std::string_view mountinfo, Match match) {
  std::optional<Mount> last;
  ForEachLine(mountinfo, [&](std::string_view line) {
    // id parent major:minor root mount-point options [optional...] - type source options
    const std::vector<std::string_view> fields = Fields(line);
    if (fields.size() < 5) return true;
    const std::string_view numbers = fields[2];
    const std::size_t colon = numbers.find(':');
    if (colon == std::string_view::npos) return true;
    const std::optional<unsigned> major = Decimal(numbers.substr(0, colon));
    const std::optional<unsigned> minor = Decimal(numbers.substr(colon + 1));
    if (!major || !minor) return true;
    Mount mount{*major, *minor, {}, {}};
    const auto separator = std::find(fields.begin() + 5, fields.end(), "-");
    if (separator != fields.end() && fields.end() - separator >= 3) {
      mount.type = std::string(*(separator + 1));
      mount.source = std::string(*(separator + 2));
    }
    if (match(mount, fields[4])) last = std::move(mount);
    return true;
  });
  return last;
}

}  // namespace

AtaIdWords ReadAtaIdFile(std::string_view text) {
  AtaIdWords words;
  std::size_t at = 0;
  std::size_t count = 0;
  while (count < kIdentifyWords) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    std::size_t digits = 0;
    unsigned value = 0;
    while (at < text.size() && !IsBlank(text[at]) && digits <= kMaxWordDigits) {
      const int digit = HexDigitValue(text[at]);
      if (digit < 0) return words;
      value = 16 * value + static_cast<unsigned>(digit);
      ++digits;
      ++at;
    }
    if (digits == 0 || digits > kMaxWordDigits) return words;
    words.block[2 * count] = static_cast<std::uint8_t>(value);
    words.block[2 * count + 1] = static_cast<std::uint8_t>(value >> 8);
    ++count;
    words.bytes = 2 * count;
  }
  return words;
}

std::optional<std::uint64_t> ReadSysfsNumber(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (!IsDigit(c) || value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
      return std::nullopt;
    value = 10 * value + digit;
  }
  return value;
}

std::vector<std::uint8_t> ReadSysfsHex(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  std::vector<std::uint8_t> bytes;
  for (std::size_t at = 0; at < text.size(); at += 2) {
    if (at > 0 && (text[at] == ' ' || text[at] == '-')) ++at;
    if (at + 1 >= text.size()) return {};
    const int high = HexDigitValue(text[at]);
    const int low = HexDigitValue(text[at + 1]);
    if (high < 0 || low < 0) return {};
    bytes.push_back(static_cast<std::uint8_t>(16 * high + low));
  }
  return bytes;
}

void TakeWwid(DiskIdentity& identity, std::string_view text) {
  constexpr std::pair<std::string_view, IdentifierKind> kPrefixes[] = {
      {"naa.", IdentifierKind::kWwn},
      {"eui.", IdentifierKind::kEui64},
      {"uuid.", IdentifierKind::kUuid}};
  for (auto [prefix, kind] : kPrefixes) {
    if (text.substr(0, prefix.size()) != prefix) continue;
    const std::vector<std::uint8_t> bytes = ReadSysfsHex(text.substr(prefix.size()));
    if (kind == IdentifierKind::kEui64 && bytes.size() == 16) kind = IdentifierKind::kNguid;
    const std::size_t length = kind == IdentifierKind::kEui64 ? 8 : 16;
    if (bytes.size() == length || (kind == IdentifierKind::kWwn && bytes.size() == 8))
      TakeIdentifier(identity, kind, bytes);
    return;
  }
}

std::optional<std::string_view> UdevProperty(std::string_view database, std::string_view key) {
  std::optional<std::string_view> value;
  ForEachLine(database, [&](std::string_view line) {
    if (line.size() < 2 || line.substr(0, 2) != "E:") return true;
    line.remove_prefix(2);
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=')
      return true;
    value = line.substr(key.size() + 1);
    return false;
  });
  return value;
}

std::string DecodeUdevText(std::string_view encoded) {
  std::string text;
  for (std::size_t at = 0; at < encoded.size(); ++at) {
    if (encoded[at] == '\\' && at + 3 < encoded.size() && encoded[at + 1] == 'x') {
      const int high = HexDigitValue(encoded[at + 2]);
      const int low = HexDigitValue(encoded[at + 3]);
      if (high >= 0 && low >= 0) {
        text += static_cast<char>(16 * high + low);
        at += 3;
        continue;
      }
    }
    text += encoded[at];
  }
  return text;
}

std::optional<Mount> ReadMountedRoot(std::string_view mountinfo) {
  return LastMount(mountinfo,
                   [](const Mount&, std::string_view mountPoint) { return mountPoint == "/"; });
}

std::optional<Mount> FindMount(std::string_view mountinfo, unsigned major, unsigned minor) {
  return LastMount(mountinfo, [&](const Mount& mount, std::string_view) {
    return mount.major == major && mount.minor == minor;
  });
}

std::optional<std::string> BlkidCacheUuid(std::string_view cache, unsigned major, unsigned minor,
                                          std::string_view node) {
  std::optional<std::string> uuid;
  ForEachLine(cache, [&](std::string_view line) {
    constexpr std::string_view kOpen = "<device";
    constexpr std::string_view kClose = "</device>";
    if (line.substr(0, kOpen.size()) != kOpen) return true;
    const std::size_t tagEnd = line.find('>');
    if (tagEnd == std::string_view::npos) return true;
    const std::string_view tag = line.substr(0, tagEnd);
    std::string_view name = line.substr(tagEnd + 1);
    name = name.substr(0, std::min(name.find(kClose), name.size()));
    const std::optional<std::string_view> devno = TagAttribute(tag, "DEVNO");
    const std::optional<std::uint64_t> number = devno ? HexNumber(*devno) : std::nullopt;
    const bool same = number ? *number == MakeDevice(major, minor) : name == node;
    if (!same) return true;
    const std::optional<std::string_view> value = TagAttribute(tag, "UUID");
    if (value) uuid = std::string(*value);
    return false;
  });
  return uuid;
}

bool NaturalNameLess(std::string_view first, std::string_view second) {
  const std::vector<NamePiece> a = NamePieces(first);
  const std::vector<NamePiece> b = NamePieces(second);
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](const NamePiece& x, const NamePiece& y) { return x.Key() < y.Key(); });
}

}  // namespace hdsn
