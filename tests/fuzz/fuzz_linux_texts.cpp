// The udev database and its encoded texts, the mount table and blkid's
// cache, each of any bytes: a value found is part of the input, on one line.
// sysfs's numbers and identifiers: two hex digits or more for each byte, and
// only well-formed identifiers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "disks/linux/readers.h"
#include "fuzz_check.h"
#include "fuzz_identity.h"

namespace {

bool Inside(std::string_view part, std::string_view whole) {
  return part.empty() ||
         (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const char* key : {"ID_SERIAL_SHORT", "ID_SERIAL", "ID_FS_UUID"}) {
    const std::optional<std::string_view> value = hdsn::UdevProperty(text, key);
    if (!value) continue;
    FUZZ_CHECK(Inside(*value, text));
    FUZZ_CHECK(value->find('\n') == std::string_view::npos);
  }
  const unsigned major = size > 0 ? data[0] : 0;
  const unsigned minor = size > 1 ? data[1] : 0;
  for (const std::optional<hdsn::Mount>& mount :
       {hdsn::ReadMountedRoot(text), hdsn::FindMount(text, major, minor)}) {
    if (!mount) continue;
    FUZZ_CHECK(mount->source.size() + mount->type.size() <= size);
    FUZZ_CHECK(mount->source.find('\n') == std::string::npos);
    FUZZ_CHECK(mount->type.find('\n') == std::string::npos);
  }
  // Every escape is four bytes for one; nothing else changes.
  const std::string decoded = hdsn::DecodeUdevText(text);
  FUZZ_CHECK(decoded.size() <= size && size - decoded.size() <= 3 * (size / 4));
  FUZZ_CHECK(text.find('\\') != std::string_view::npos || decoded == text);
  if (const std::optional<std::string> uuid =
          hdsn::BlkidCacheUuid(text, major, minor, "/dev/sda")) {
    FUZZ_CHECK(text.find(*uuid) != std::string_view::npos);
    FUZZ_CHECK(uuid->find('"') == std::string::npos);
  }
  // A number is its digits, never one that wrapped past 64 bits.
  if (const std::optional<std::uint64_t> number = hdsn::ReadSysfsNumber(text)) {
    std::string_view digits = text;
    if (digits.back() == '\n') digits.remove_suffix(1);
    while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
    FUZZ_CHECK(digits == std::to_string(*number));
  }
  FUZZ_CHECK(2 * hdsn::ReadSysfsHex(text).size() <= size);
  hdsn::DiskIdentity identity;
  hdsn::TakeWwid(identity, text);
  CheckIdentity("", identity);
  FUZZ_CHECK(!identity.size && !identity.logicalSectorSize && !identity.rotational);
  return 0;
}
