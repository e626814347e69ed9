// The checks of a disk's identity that every reader's fuzz target shares:
// nothing but well-formed identifiers (never all zero or all FFh, which are
// placeholders and named as such), sizes above 0, a rate of the encoded
// range that goes with rotating media, and nothing at all from an answer
// that was not usable.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "protocol/identity.h"

inline bool FuzzIsHexDigits(const std::string& text, std::size_t from, std::size_t count) {
  if (text.size() != from + count) return false;
  bool zeros = true, ones = true;
  for (std::size_t at = from; at < text.size(); ++at) {
    const char c = text[at];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    zeros &= c == '0';
    ones &= c == 'f';
  }
  return !zeros && !ones;
}

inline void CheckIdentity(const std::string& error, const hdsn::DiskIdentity& identity) {
  if (!error.empty()) {
    FUZZ_CHECK(!identity.wwn && !identity.eui64 && !identity.nguid && !identity.uuid &&
               !identity.size && !identity.logicalSectorSize && !identity.physicalSectorSize &&
               !identity.rotational && !identity.rotationRate && identity.placeholders.empty());
    return;
  }
  if (identity.wwn)
    FUZZ_CHECK(identity.wwn->rfind("0x", 0) == 0 &&
               (FuzzIsHexDigits(*identity.wwn, 2, 16) || FuzzIsHexDigits(*identity.wwn, 2, 32)));
  if (identity.eui64) FUZZ_CHECK(FuzzIsHexDigits(*identity.eui64, 0, 16));
  if (identity.nguid) FUZZ_CHECK(FuzzIsHexDigits(*identity.nguid, 0, 32));
  if (identity.uuid) {
    const std::string& uuid = *identity.uuid;
    FUZZ_CHECK(uuid.size() == 36 && uuid[8] == '-' && uuid[13] == '-' && uuid[18] == '-' &&
               uuid[23] == '-');
    std::string digits;
    for (const char c : uuid)
      if (c != '-') digits += c;
    FUZZ_CHECK(FuzzIsHexDigits(digits, 0, 32));
  }
  FUZZ_CHECK(identity.size.value_or(1) > 0);
  FUZZ_CHECK(identity.logicalSectorSize.value_or(1) > 0);
  FUZZ_CHECK(identity.physicalSectorSize.value_or(1) > 0);
  if (identity.rotationRate)
    FUZZ_CHECK(*identity.rotationRate >= 0x0401 && *identity.rotationRate <= 0xFFFE &&
               identity.rotational == true);
  for (const hdsn::Placeholder& placeholder : identity.placeholders) {
    FUZZ_CHECK(placeholder.field == "wwn" || placeholder.field == "eui64" ||
               placeholder.field == "nguid" || placeholder.field == "uuid");
    FUZZ_CHECK(placeholder.reason == "all zero" || placeholder.reason == "all FFh");
  }
}

// What IDENTIFY gives besides: sectors of at least 512 bytes, a physical
// sector a whole number of logical ones, a size of whole logical sectors.
inline void CheckIdentifyIdentity(const std::string& error, const hdsn::DiskIdentity& identity) {
  CheckIdentity(error, identity);
  FUZZ_CHECK(!identity.eui64 && !identity.nguid && !identity.uuid);
  FUZZ_CHECK(identity.logicalSectorSize.has_value() == identity.physicalSectorSize.has_value());
  if (identity.logicalSectorSize) {
    FUZZ_CHECK(*identity.logicalSectorSize >= 512);
    FUZZ_CHECK(*identity.physicalSectorSize % *identity.logicalSectorSize == 0);
    if (identity.size) FUZZ_CHECK(*identity.size % *identity.logicalSectorSize == 0);
  } else {
    FUZZ_CHECK(!identity.size);
  }
}
