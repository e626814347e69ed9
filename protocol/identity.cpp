#include "protocol/identity.h"

#include <algorithm>
#include <limits>

namespace hdsn {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::optional<std::string> DiskIdentity::*Member(IdentifierKind kind) {
  switch (kind) {
    case IdentifierKind::kWwn:
      return &DiskIdentity::wwn;
    case IdentifierKind::kEui64:
      return &DiskIdentity::eui64;
    case IdentifierKind::kNguid:
      return &DiskIdentity::nguid;
    case IdentifierKind::kUuid:
      break;
  }
  return &DiskIdentity::uuid;
}

std::string Formatted(IdentifierKind kind, std::span<const std::uint8_t> bytes) {
  if (kind == IdentifierKind::kWwn) return "0x" + HexDigits(bytes);
  if (kind != IdentifierKind::kUuid || bytes.size() != 16) return HexDigits(bytes);
  // 8-4-4-4-12 digits: a dash before bytes 4, 6, 8 and 10.
  std::string uuid;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    if (at == 4 || at == 6 || at == 8 || at == 10) uuid += '-';
    uuid += HexDigits(bytes.subspan(at, 1));
  }
  return uuid;
}

}  // namespace

DiskIdentity::DiskIdentity() = default;
DiskIdentity::DiskIdentity(const DiskIdentity& other) = default;
DiskIdentity::DiskIdentity(DiskIdentity&& other) noexcept = default;
DiskIdentity& DiskIdentity::operator=(const DiskIdentity& other) = default;
DiskIdentity& DiskIdentity::operator=(DiskIdentity&& other) noexcept = default;
DiskIdentity::~DiskIdentity() = default;

const char* IdentifierName(IdentifierKind kind) {
  switch (kind) {
    case IdentifierKind::kWwn:
      return "wwn";
    case IdentifierKind::kEui64:
      return "eui64";
    case IdentifierKind::kNguid:
      return "nguid";
    case IdentifierKind::kUuid:
      break;
  }
  return "uuid";
}

void TakeIdentifier(DiskIdentity& identity, IdentifierKind kind,
                    std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  const auto all = [&](std::uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [&](std::uint8_t b) { return b == value; });
  };
  if (all(0x00) || all(0xFF)) {
    identity.placeholders.push_back({IdentifierName(kind), all(0x00) ? "all zero" : "all FFh"});
    return;
  }
  std::optional<std::string>& field = identity.*Member(kind);
  if (!field) field = Formatted(kind, bytes);
}

void TakeRotationRate(DiskIdentity& identity, std::uint16_t nominal) {
  if (nominal == 0x0001) {
    identity.rotational = false;
  } else if (nominal >= 0x0401 && nominal <= 0xFFFE) {
    identity.rotational = true;
    identity.rotationRate = nominal;
  }
}

std::string HexDigits(std::span<const std::uint8_t> bytes) {
  std::string digits;
  digits.reserve(2 * bytes.size());
  for (const std::uint8_t byte : bytes) {
    digits += kHexDigits[byte >> 4];
    digits += kHexDigits[byte & 0x0F];
  }
  return digits;
}

std::optional<std::uint64_t> BlocksToBytes(std::uint64_t blocks, std::uint64_t blockSize) {
  if (blocks == 0 || blockSize == 0 ||
      blocks > std::numeric_limits<std::uint64_t>::max() / blockSize)
    return std::nullopt;
  return blocks * blockSize;
}

}  // namespace hdsn
