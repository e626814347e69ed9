// ConvertPropertyText and StoreSerialText with any wide text, into buffers of
// exactly their stated sizes.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "sim/sim_machine.h"
#include "wmi/wql_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace hdsn;
  if (size < 2) return 0;
  const std::int32_t resultSize = 1 + (data[0] | (data[1] << 8)) % 2300;
  std::u16string wide;
  for (std::size_t at = 2; at + 1 < size; at += 2)
    wide += static_cast<char16_t>(data[at] | (data[at + 1] << 8));
  std::vector<char16_t> value(wide.c_str(), wide.c_str() + wide.size() + 1);

  sim::SimMachine machine;
  std::vector<char> work(kWmiWorkBufferSize, '\0');
  ConvertPropertyText(machine.text, value.data(), work.data());
  FUZZ_CHECK(work.back() == '\0');

  std::vector<char> result(static_cast<std::size_t>(resultSize), 'x');
  result.back() = '\0';
  StoreSerialText(machine.text, value.data(), result.data(), resultSize);
  FUZZ_CHECK(result.back() == '\0');
  const std::string stored = result.data();
  if (!stored.empty()) FUZZ_CHECK(stored.front() != ' ');
  // A text cut at the end of the result may end in a blank from its middle.
  if (!stored.empty() && stored.size() < static_cast<std::size_t>(resultSize - 1))
    FUZZ_CHECK(stored.back() != ' ');
  return 0;
}
