// EscapeWqlLiteral on any text in a buffer of any size up to the working
// buffers' 255 bytes, including texts whose escaped form does not fit.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "wmi/wql_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::int32_t bufferSize = 1 + data[0] % hdsn::kWmiWorkBufferSize;
  // Exactly bufferSize bytes on the heap, holding a terminated text.
  std::vector<char> buffer(static_cast<std::size_t>(bufferSize), '\0');
  const std::size_t length = std::min(size - 1, static_cast<std::size_t>(bufferSize - 1));
  std::memcpy(buffer.data(), data + 1, length);
  const std::string original = buffer.data();

  const bool escaped = hdsn::EscapeWqlLiteral(buffer.data(), bufferSize);
  FUZZ_CHECK(buffer.back() == '\0');
  const std::string text = buffer.data();
  if (!escaped) {
    FUZZ_CHECK(text.empty());
    return 0;
  }
  // Undoing the escapes gives the original text back.
  std::string undone;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      FUZZ_CHECK(i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"'));
      ++i;
    } else {
      FUZZ_CHECK(text[i] != '"');
    }
    undone += text[i];
  }
  FUZZ_CHECK(undone == original);
  for (std::size_t i = text.size(); i < buffer.size(); ++i) FUZZ_CHECK(buffer[i] == '\0');
  return 0;
}
