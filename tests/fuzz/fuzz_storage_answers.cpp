// Method 3 reading whatever the storage class driver writes: a device
// descriptor whose SerialNumberOffset points anywhere, texts without
// terminator, answers of any length, and a media serial answer.
#include <cstdint>
#include <cstring>

#include "app/hard_drive_info.h"
#include "devices/device_layouts.h"
#include "fuzz_check.h"
#include "sim/sim_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace hdsn;
  if (size < 2) return 0;
  // The first two bytes cut the rest into the two answers.
  const std::size_t split = std::min<std::size_t>(size - 2, data[0] | (data[1] << 8));
  const std::uint8_t* rest = data + 2;
  sim::SimMachine machine;
  machine.devices.physicalDrives[0] = sim::MakeAtaDrive("STORAGE", "DISK");
  machine.devices.physicalDrives[7] = sim::MakeAtaDrive("OTHER", "DISK");
  machine.devices.answerOverrides[layout::kIoctlStorageQueryProperty] = {
      sim::Bytes(rest, rest + split), 1};
  machine.devices.answerOverrides[layout::kIoctlStorageGetMediaSerialNumber] = {
      sim::Bytes(rest + split, data + size), 1};

  HardDriveInfo info{machine.platform};
  FUZZ_CHECK(info.ReadStorageDescriptor() == 0);
  FUZZ_CHECK(info.identifyBlocks.empty());
  FUZZ_CHECK(machine.console.output.empty());
  FuzzCheckNoProblems(sim::Leftovers(machine));
  return 0;
}
