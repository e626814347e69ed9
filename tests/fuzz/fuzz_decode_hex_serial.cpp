// DecodeHexSerial on any terminated text, held in a heap buffer of exactly
// its size so that a read past the terminator is caught.
#include <cstdint>
#include <cstring>
#include <vector>

#include "devices/storage_descriptor.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  const std::size_t length = std::strlen(text.data());
  const char* decoded = hdsn::DecodeHexSerial(text.data());
  const std::size_t decodedLength = std::strlen(decoded);
  FUZZ_CHECK(decodedLength < hdsn::kDecodedSerialSize);
  // Two bytes at most from each group of four characters.
  FUZZ_CHECK(decodedLength <= (length + 3) / 4 * 2);
  return 0;
}
