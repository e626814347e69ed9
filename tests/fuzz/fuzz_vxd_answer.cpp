// Method 5 reading whatever the legacy VxD writes: any flags, any blocks, an
// answer of any length up to the 4108 bytes of its layout. The blocks
// expected are those of the drives flagged present on a controller flagged
// present (drives 2n and 2n+1 on controller n), each once, in drive order.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/hard_drive_info.h"
#include "devices/device_layouts.h"
#include "fuzz_check.h"
#include "sim/sim_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace hdsn;
  using Result = layout::VxdIdentifyResult;
  if (size == 0) return 0;
  sim::SimMachine machine;
  machine.devices.vxdResult = data[0] & 1;
  machine.devices.vxdAnswer = sim::Bytes(data + 1, data + std::min(size, Result::kSize + 1));

  // What the VxD did not write reads as zero.
  sim::Bytes answer = *machine.devices.vxdAnswer;
  answer.resize(Result::kSize, 0);
  IdentifyBlockList expected;
  for (int drive = 0; drive < Result::kDrives; ++drive) {
    if (answer[Result::drivePresent.offset + static_cast<std::size_t>(drive)] == 0 ||
        answer[Result::controllerPresent.offset + static_cast<std::size_t>(drive / 2)] == 0)
      continue;
    IdentifyBlock block;
    std::copy_n(answer.begin() + static_cast<std::ptrdiff_t>(Result::Block(drive)), block.size(),
                block.begin());
    if (std::find(expected.begin(), expected.end(), block) == expected.end())
      expected.push_back(block);
  }

  HardDriveInfo info{machine.platform};
  const std::int32_t found = info.ReadLegacyVxdIdentify();
  FUZZ_CHECK(found == (expected.empty() ? 0 : 1));
  FUZZ_CHECK(info.identifyBlocks == expected);
  // The same answer again adds nothing and still counts.
  FUZZ_CHECK(info.ReadLegacyVxdIdentify() == found);
  FUZZ_CHECK(info.identifyBlocks == expected);
  FuzzCheckNoProblems(sim::Leftovers(machine));
  return 0;
}
