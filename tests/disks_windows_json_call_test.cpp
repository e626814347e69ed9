// The call of hdsn_disks.dll on the simulated machine: its returns, the size
// it reports, the buffer it leaves alone, the document it writes (the
// program's own), and the process's COM as the host left it.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "disks/windows/json_call.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

void BuildSataDisk(SimMachine& m) {
  m.devices.physicalDrives[0] = MakeSataDrive("WD-WCAV12345678", "SATA SSD 500");
  m.wmi.AddInventoryDisk(0, u"WD-WCAV12345678", u"SATA SSD 500", u"1.0");
}

// What hdsn-disks --json prints on the machine BuildSataDisk makes.
std::string ProgramDocument() {
  SimMachine m;
  BuildSataDisk(m);
  EXPECT_EQ(m.RunDisks({"--json"}), 0);
  return m.console.output;
}

struct CallCase {
  const char* name;
  std::uint32_t platformId;
  bool nullBuffer;
  long sizeLessNeeded;  // the buffer's size: the document's size less this
  int expected;
};

class DisksJsonCall : public testing::TestWithParam<CallCase> {};

TEST_P(DisksJsonCall, WritesTheProgramsDocumentOnlyWhenItFits) {
  const CallCase& c = GetParam();
  const std::string document = ProgramDocument();
  SimMachine m;
  BuildSataDisk(m);
  m.system.platformId = c.platformId;
  m.wmi.securityIsTheHosts = true;
  const std::size_t size = document.size() + 1 - static_cast<std::size_t>(c.sizeLessNeeded);
  GuardedBuffer buffer(size, 'x');
  std::size_t needed = 12345;
  EXPECT_EQ(WriteDisksJson(m.platform, c.nullBuffer ? nullptr : buffer.data(),
                           c.nullBuffer ? 0 : size, &needed),
            c.expected);
  EXPECT_TRUE(buffer.CanariesIntact());
  if (c.expected == kDisksJsonWritten) {
    EXPECT_EQ(buffer.Text(), document);
    EXPECT_EQ(buffer[document.size()], '\0');
  } else {
    EXPECT_EQ(buffer.Text(), std::string(size, 'x')) << "written though it failed";
  }
  EXPECT_EQ(needed, c.expected == kDisksJsonNotNt ? 0 : document.size() + 1);
  EXPECT_TRUE(Calls(m.wmi, "CoInitializeSecurity").empty());
  EXPECT_TRUE(NothingLeftBehind(m));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisksJsonCall,
    testing::Values(
        CallCase{"NotNtFamily", kVerPlatformWin32Windows, false, 0, kDisksJsonNotNt},
        CallCase{"NullBufferAsksTheSize", kVerPlatformWin32Nt, true, 0, kDisksJsonTooSmall},
        CallCase{"OneByteShortForTheNul", kVerPlatformWin32Nt, false, 1, kDisksJsonTooSmall},
        CallCase{"ExactSize", kVerPlatformWin32Nt, false, 0, kDisksJsonWritten},
        CallCase{"Larger", kVerPlatformWin32Nt, false, -100, kDisksJsonWritten}),
    RowName());

// WMI answers the library without the process's security (the blanket on
// each proxy), and a thread in a single-threaded apartment keeps its COM.
TEST(DisksJsonCall, AsksWmiInTheCallersApartmentWithoutProcessSecurity) {
  for (const bool callerInSta : {false, true}) {
    SimMachine m;
    BuildSataDisk(m);
    m.wmi.securityIsTheHosts = true;
    if (callerInSta) m.faults.FailEvery("CoInitializeEx", kRpcEChangedMode);
    std::size_t needed = 0;
    ASSERT_EQ(WriteDisksJson(m.platform, nullptr, 0, &needed), kDisksJsonTooSmall);
    std::string document(needed, '\0');
    ASSERT_EQ(WriteDisksJson(m.platform, document.data(), document.size(), nullptr),
              kDisksJsonWritten);
    const nlohmann::json parsed = nlohmann::json::parse(document.c_str());
    RecordJson(document.c_str());
    EXPECT_EQ(parsed.at("disks").at(0).at("sources").at(4).at("serial"), "WD-WCAV12345678")
        << callerInSta;
    EXPECT_EQ(Calls(m.wmi, "CoUninitialize").size(), callerInSta ? 0u : 2u);
    EXPECT_TRUE(NothingLeftBehind(m)) << callerInSta;
  }
}

// The program, which owns its process, sets the security once, right after
// COM, before ListDisks opens its own session.
TEST(DisksProgram, SetsTheProcessSecurityOnceBeforeListingTheDisks) {
  SimMachine m;
  BuildSataDisk(m);
  ASSERT_EQ(m.RunDisks({"--json"}), 0);
  const std::vector<std::string> com = Calls(m.wmi, "Co");
  ASSERT_GE(com.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(com.begin(), com.begin() + 3),
            (std::vector<std::string>{"CoInitializeEx(null, 0x0)",
                                      "CoInitializeSecurity(null, -1, null, null, 0, 3, null, "
                                      "0x0, null)",
                                      "CoInitializeEx(null, 0x0)"}));
  EXPECT_EQ(Calls(m.wmi, "CoInitializeSecurity").size(), 1u);
  EXPECT_EQ(com.back(), "CoUninitialize");
  EXPECT_TRUE(NothingLeftBehind(m));
}

}  // namespace
}  // namespace hdsn::sim
