// hdsn-disks' serial texts of any bytes: always trimmed, and decoded exactly
// when, trimmed, they are 40 hexadecimal digits whose bytes, the two of each
// word swapped, are printable ASCII.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "protocol/text.h"

namespace {

int Digit(char c) {
  const std::string digits = "0123456789abcdef0123456789ABCDEF";
  const std::size_t at = digits.find(c);
  return c == '\0' || at == std::string::npos ? -1 : static_cast<int>(at % 16);
}

bool Trimmed(const std::string& text) {
  return text.empty() ||
         (text.front() != ' ' && text.front() != '\0' && text.back() != ' ' && text.back() != '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const std::string trimmed = hdsn::TrimText(raw);
  FUZZ_CHECK(Trimmed(trimmed) && raw.find(trimmed) != std::string::npos);

  bool hex = trimmed.size() == 40;
  std::string decoded(20, '\0');
  for (std::size_t byte = 0; hex && byte < 20; ++byte) {
    const int high = Digit(trimmed[2 * byte]), low = Digit(trimmed[2 * byte + 1]);
    hex = high >= 0 && low >= 0 && 16 * high + low >= 0x20 && 16 * high + low <= 0x7E;
    decoded[byte ^ 1] = static_cast<char>(16 * high + low);
  }
  const std::string expected = hex ? hdsn::TrimText(decoded) : trimmed;
  const std::optional<std::string> serial = hdsn::SerialText(raw);
  FUZZ_CHECK(serial.value_or("") == expected && (!serial || !serial->empty()));
  FUZZ_CHECK(hdsn::PlainText(raw).value_or("") == trimmed);
  return 0;
}
