// IdentifyWordsToText over any block and any word range, and the master
// serial derived from a block: GetBlockSerialText, TrimSerial, IsUsableSerial.
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/hard_drive_info.h"
#include "fuzz_check.h"
#include "sim/sim_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace hdsn;
  if (size < 2) return 0;
  // Word ranges from -16 to 271, reaching past both ends of the block.
  const int first = data[0] - 16;
  const int last = data[1] + 16;
  // Exactly 512 bytes on the heap, so that any read past them is caught.
  std::vector<std::uint8_t> block(kIdentifyBlockSize, 0);
  std::memcpy(block.data(), data + 2, std::min(size - 2, kIdentifyBlockSize));

  const char* text = IdentifyWordsToText(block.data(), first, last);
  FUZZ_CHECK(std::strlen(text) <= kIdentifyBlockSize);

  sim::SimMachine machine;
  if (size > 2 && (data[2] & 1)) machine.text.leadBytes = {0x81, 0x82, 0xE0};
  HardDriveInfo info{machine.platform};
  info.AddIdentifyBlock(block.data());
  info.masterSerial = info.GetBlockSerialText(0);
  FUZZ_CHECK(!info.masterSerial.empty() && info.masterSerial.size() <= 20);
  const std::string before = info.masterSerial;
  info.TrimSerial();
  FUZZ_CHECK(before.find(info.masterSerial) != std::string::npos);
  if (info.IsUsableSerial()) FUZZ_CHECK(info.masterSerial.size() >= 3);
  return 0;
}
