// The whole program on a machine made of the fuzz input: the platform family,
// the drives and their answers, the legacy VxD, the storage answers, WMI's
// objects and texts, and which platform call fails. Whatever the machine, the
// report comes out in full and nothing is left behind.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "app/hard_drive_info.h"
#include "devices/device_layouts.h"
#include "fuzz_check.h"
#include "sim/hdsn_report.h"
#include "sim/sim_machine.h"
#include "wmi/wql_text.h"

namespace {

using namespace hdsn;

IdentifyBlock FuzzedBlock(FuzzedDataProvider& in) {
  IdentifyBlock block{};
  if (in.ConsumeBool()) {
    block =
        sim::MakeIdentifyBlock(in.ConsumeRandomLengthString(24), in.ConsumeRandomLengthString(44),
                               in.ConsumeBool() ? sim::DriveKind::kAta : sim::DriveKind::kAtapi);
  } else {
    const std::string bytes = in.ConsumeBytesAsString(kIdentifyBlockSize);
    std::copy(bytes.begin(), bytes.end(), block.begin());
  }
  return block;
}

std::u16string FuzzedWide(FuzzedDataProvider& in) {
  std::u16string text;
  const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(0, 300);
  for (std::size_t i = 0; i < length && in.remaining_bytes() > 0; ++i)
    text += in.ConsumeBool() ? static_cast<char16_t>(in.ConsumeIntegral<std::uint8_t>())
                             : static_cast<char16_t>(in.ConsumeIntegral<std::uint16_t>());
  return text;
}

void BuildMachine(FuzzedDataProvider& in, sim::SimMachine& m) {
  m.system.platformId = in.ConsumeIntegralInRange<std::uint32_t>(0, 3);
  m.system.windowsDirectory = in.ConsumeBool() ? "C:\\WINDOWS" : in.ConsumeRandomLengthString(270);
  m.system.volumeSerials = {{"C:\\", in.ConsumeIntegral<std::uint32_t>()}};

  const int drives = in.ConsumeIntegralInRange(0, 4);
  for (int i = 0; i < drives; ++i) {
    sim::SimPhysicalDrive& drive = m.devices.physicalDrives[in.ConsumeIntegralInRange(0, 17)];
    drive.identify = FuzzedBlock(in);
    drive.kind = in.ConsumeBool() ? sim::DriveKind::kAta : sim::DriveKind::kAtapi;
    drive.deviceMap = in.ConsumeIntegral<std::uint8_t>();
    drive.smart = in.ConsumeBool();
    if (in.ConsumeBool()) drive.storageDescriptor = in.ConsumeBytes<std::uint8_t>(600);
    if (in.ConsumeBool()) drive.mediaSerial = in.ConsumeBytes<std::uint8_t>(100);
  }
  const int ports = in.ConsumeIntegralInRange(0, 2);
  for (int i = 0; i < ports; ++i) {
    sim::SimScsiPort& port = m.devices.scsiPorts[in.ConsumeIntegralInRange(0, 17)];
    for (int target = 0; target < 2; ++target)
      if (in.ConsumeBool()) port.targets[target] = FuzzedBlock(in);
  }
  if (in.ConsumeBool())
    m.devices.vxdAnswer = in.ConsumeBytes<std::uint8_t>(layout::VxdIdentifyResult::kSize);
  m.devices.refuseFirstOpens[sim::kLegacyVxdPath] = in.ConsumeIntegralInRange(0, 11);
  // A driver answering one kind of request with any bytes at all.
  if (in.ConsumeBool()) {
    m.devices.answerOverrides[in.PickValueInArray(sim::kDriverRequestCodes)] = {
        in.ConsumeBytes<std::uint8_t>(5000), in.ConsumeBool() ? 1 : 0};
  }

  if (in.ConsumeBool()) {
    sim::BuildRealisticMachine(m.wmi);
    // Any object's property replaced by any text, made null or taken away.
    const int changes = in.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < changes && !m.wmi.objects.empty(); ++i) {
      sim::SimWmiObject& object =
          m.wmi.objects[in.ConsumeIntegralInRange<std::size_t>(0, m.wmi.objects.size() - 1)];
      if (object.properties.empty()) continue;
      auto property = object.properties.begin();
      std::advance(property,
                   in.ConsumeIntegralInRange<std::size_t>(0, object.properties.size() - 1));
      switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0:
          property->second = FuzzedWide(in);
          break;
        case 1:
          property->second = std::nullopt;
          break;
        default:
          object.properties.erase(property);
          break;
      }
    }
  }
  if (in.ConsumeBool()) m.text.leadBytes = {0x81, 0xE0};
  // 0: nothing fails.
  if (const long failing = in.ConsumeIntegralInRange<long>(0, 300); failing != 0)
    m.faults.FailCall(failing);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  sim::SimMachine m;
  BuildMachine(in, m);
  bool outOfMemory = false;
  try {
    FUZZ_CHECK(m.Run() == 0);
  } catch (const ComError& error) {
    // Only a COM string that could not be had may end the run.
    FUZZ_CHECK(error.Error() == kEOutOfMemory && m.faults.Failed("SysAllocStringLen"));
    outOfMemory = true;
  }
  DestroyHardDriveInfo();
  if (!outOfMemory) FuzzCheckNoProblems(sim::ReportProblems(m.console));
  FuzzCheckNoProblems(sim::Leftovers(m));
  return 0;
}
