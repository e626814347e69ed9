// IdentifyWordsToText over any block and any word range, and the master
// serial derived from a block: GetBlockSerialText and TrimSerial. The texts
// expected are worked out here from the bytes, word by word.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/hard_drive_info.h"
#include "fuzz_check.h"
#include "sim/sim_machine.h"

namespace {

// Words first..last that lie inside the block, high byte first, trailing
// blanks gone but for the first byte, up to the first NUL.
std::string WordsText(const std::vector<std::uint8_t>& block, int first, int last) {
  std::string text;
  for (int word = std::max(first, 0); word <= std::min(last, 255); ++word) {
    text += static_cast<char>(block[2 * static_cast<std::size_t>(word) + 1]);
    text += static_cast<char>(block[2 * static_cast<std::size_t>(word)]);
  }
  while (text.size() > 1 && text.back() == ' ') text.pop_back();
  return text.c_str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace hdsn;
  if (size < 2) return 0;
  // Word ranges from -16 to 271, reaching past both ends of the block.
  const int first = data[0] - 16;
  const int last = data[1] + 16;
  // Exactly 512 bytes on the heap, so that any read past them is caught.
  std::vector<std::uint8_t> block(kIdentifyBlockSize, 0);
  std::memcpy(block.data(), data + 2, std::min(size - 2, kIdentifyBlockSize));

  FUZZ_CHECK(IdentifyWordsToText(block.data(), first, last) == WordsText(block, first, last));

  sim::SimMachine machine;
  if (size > 2 && (data[2] & 1)) machine.text.leadBytes = {0x81, 0x82, 0xE0};
  HardDriveInfo info{machine.platform};
  info.AddIdentifyBlock(block.data());
  const std::string serial = WordsText(block, kSerialFirstWord, kSerialLastWord);
  info.masterSerial = info.GetBlockSerialText(0);
  FUZZ_CHECK(info.masterSerial == (serial.empty() ? kUnknownSerial : serial));
  const std::string before = info.masterSerial;
  info.TrimSerial();
  FUZZ_CHECK(before.find(info.masterSerial) != std::string::npos);
  return 0;
}
