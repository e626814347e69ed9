// The udev database, the mount table and blkid's cache, each of any bytes:
// a value found is part of the input, on one line.
#include <string_view>

#include "disks/linux/readers.h"
#include "fuzz_check.h"

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
  if (const std::optional<hdsn::MountedRoot> root = hdsn::ReadMountedRoot(text)) {
    FUZZ_CHECK(root->source.size() <= size);
    FUZZ_CHECK(root->source.find('\n') == std::string::npos);
  }
  const unsigned major = size > 0 ? data[0] : 0;
  const unsigned minor = size > 1 ? data[1] : 0;
  if (const std::optional<std::string> uuid =
          hdsn::BlkidCacheUuid(text, major, minor, "/dev/sda")) {
    FUZZ_CHECK(text.find(*uuid) != std::string_view::npos);
    FUZZ_CHECK(uuid->find('"') == std::string::npos);
  }
  return 0;
}
