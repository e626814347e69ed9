// Sequences of AddIdentifyBlock: the list keeps exactly one copy of each
// distinct block, in the order of first addition.
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/hard_drive_info.h"
#include "fuzz_check.h"
#include "sim/sim_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace hdsn;
  sim::SimMachine machine;
  HardDriveInfo info{machine.platform};
  std::vector<IdentifyBlock> expected;
  // Each 4-byte record changes one byte of a block made of a small base value,
  // so that equal blocks come back often.
  for (std::size_t at = 0; at + 4 <= size; at += 4) {
    IdentifyBlock block;
    block.fill(data[at] & 3);
    const std::size_t position = (data[at + 1] | (data[at + 2] << 8)) % kIdentifyBlockSize;
    block[position] = data[at + 3] & 7;
    std::vector<std::uint8_t> heapCopy(block.begin(), block.end());

    bool known = false;
    for (const IdentifyBlock& held : expected) known = known || held == block;
    if (!known) expected.push_back(block);
    FUZZ_CHECK(info.AddIdentifyBlock(heapCopy.data()) == !known);
  }
  FUZZ_CHECK(info.identifyBlocks == expected);
  return 0;
}
