// Method 2: IDENTIFY DEVICE through the SCSI ports' miniport request.
#include <algorithm>
#include <cstring>
#include <string>

#include "app/hard_drive_info.h"
#include "devices/device_layouts.h"
#include "protocol/byte_order.h"
#include "sim/call_log.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

using namespace layout;
using Buffer = MiniportIdentifyBuffer;

// The request a port should receive for a target: the header, then
// SENDCMDINPARAMS without its bBuffer byte.
Bytes MiniportRequest(int target) {
  Bytes request(SRB_IO_CONTROL::kSize + SENDCMDINPARAMS::kSizeWithoutBuffer, 0);
  StoreLe32(request.data() + SRB_IO_CONTROL::HeaderLength.offset, SRB_IO_CONTROL::kSize);
  std::memcpy(request.data() + SRB_IO_CONTROL::Signature.offset, kMiniportSignature,
              SRB_IO_CONTROL::Signature.width);
  StoreLe32(request.data() + SRB_IO_CONTROL::Timeout.offset, 10000);
  StoreLe32(request.data() + SRB_IO_CONTROL::ControlCode.offset, kIoctlScsiMiniportIdentify);
  // What follows the header in the answer: 17 + 512 bytes.
  StoreLe32(request.data() + SRB_IO_CONTROL::Length.offset, 529);
  request[Buffer::kInParams + InParamsRegister(IDEREGS::bCommandReg)] = kAtaIdentifyDevice;
  request[Buffer::kInParams + SENDCMDINPARAMS::bDriveNumber.offset] =
      static_cast<std::uint8_t>(target);
  return request;
}

TEST(MiniportIdentify2, SendsTwoRequestsPerPortThenCloses) {
  for (int port : {0, 12, 15}) {
    SCOPED_TRACE(port);
    SimMachine machine;
    machine.devices.scsiPorts[port];  // a port with no drive
    HardDriveInfo info(machine.platform);
    EXPECT_EQ(info.ReadScsiMiniportIdentify(), 0);
    const std::string path = "\\\\.\\Scsi" + std::to_string(port) + ":";
    const auto& calls = machine.devices.calls;
    const auto at = std::find(calls.begin(), calls.end(), "CreateFileA " + path);
    ASSERT_NE(at, calls.end());
    const std::string ask = "DeviceIoControl " + Hex(kIoctlScsiMiniport);
    EXPECT_EQ(std::vector<std::string>(at, at + 4),
              (std::vector<std::string>{"CreateFileA " + path, ask, ask, "CloseHandle"}));
    EXPECT_TRUE(NothingLeftBehind(machine));
    ASSERT_EQ(machine.devices.requests.size(), 2u);
    for (int target = 0; target < 2; ++target) {
      const RequestRecord& request = machine.devices.requests[static_cast<std::size_t>(target)];
      EXPECT_EQ(request.path, path);
      EXPECT_EQ(request.input, MiniportRequest(target));
      EXPECT_EQ(request.outSize, Buffer::kSize);
      EXPECT_TRUE(request.sameBuffer);
    }
  }
}

struct ModelByteCase {
  const char* name;
  std::uint8_t byte54;
  std::uint8_t byte55;
  bool requestFails;
  bool taken;
};

class MiniportModelByte : public testing::TestWithParam<ModelByteCase> {};

// Only the request's result and the model number's byte 54 decide.
TEST_P(MiniportModelByte, DecidesWhetherTheBlockIsTaken) {
  const ModelByteCase& c = GetParam();
  SimMachine machine;
  IdentifyBlock block = MakeIdentifyBlock("SERIAL", "");
  block[54] = c.byte54;
  block[55] = c.byte55;
  machine.devices.scsiPorts[1].targets[0] = block;
  const IdentifyBlock second = MakeIdentifyBlock("SECOND", "MODEL");
  machine.devices.scsiPorts[1].targets[1] = second;
  if (c.requestFails) machine.faults.FailNth("DeviceIoControl", 1);  // target 0
  HardDriveInfo info(machine.platform);

  EXPECT_EQ(info.ReadScsiMiniportIdentify(), 1);
  const IdentifyBlockList expected =
      c.taken ? IdentifyBlockList{block, second} : IdentifyBlockList{second};
  EXPECT_EQ(info.identifyBlocks, expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, MiniportModelByte,
                         testing::Values(ModelByteCase{"ZeroByte54NonzeroByte55", 0x00, 'M', false,
                                                       false},
                                         ModelByteCase{"NonzeroByte54", 'M', 0x00, false, true},
                                         ModelByteCase{"Byte54Of0xFF", 0xFF, 0xFF, false, true},
                                         ModelByteCase{"RequestFails", 'M', 'M', true, false}),
                         RowName());

TEST(MiniportIdentify2, BlocksInPortThenTargetOrder) {
  SimMachine machine;
  const IdentifyBlock p9t0 = MakeIdentifyBlock("P9T0", "MODEL");
  const IdentifyBlock p2t1 = MakeIdentifyBlock("P2T1", "MODEL");
  const IdentifyBlock p2t0 = MakeIdentifyBlock("P2T0", "MODEL");
  machine.devices.scsiPorts[9].targets[0] = p9t0;
  machine.devices.scsiPorts[2].targets[1] = p2t1;
  machine.devices.scsiPorts[2].targets[0] = p2t0;
  machine.devices.scsiPorts[5].targets[0] = p2t0;  // the same drive seen twice
  HardDriveInfo info(machine.platform);
  EXPECT_EQ(info.ReadScsiMiniportIdentify(), 1);
  EXPECT_EQ(info.identifyBlocks, (IdentifyBlockList{p2t0, p2t1, p9t0}));
}

}  // namespace
}  // namespace hdsn::sim
