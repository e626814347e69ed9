// Method 5 reading whatever the legacy VxD writes: any flags, any blocks, an
// answer of any length up to the 4108 bytes of its layout.
#include <cstdint>

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

  HardDriveInfo info{machine.platform};
  const std::int32_t found = info.ReadLegacyVxdIdentify();
  const std::int32_t again = info.ReadLegacyVxdIdentify();  // the same answer adds nothing new
  FUZZ_CHECK(found == again);
  FUZZ_CHECK(info.identifyBlocks.size() <= static_cast<std::size_t>(Result::kDrives));
  FUZZ_CHECK((found != 0) == !info.identifyBlocks.empty());
  FuzzCheckNoProblems(sim::Leftovers(machine));
  return 0;
}
