// Method 0 against the simulated WMI service: the query texts sent, the
// answer left in the caller's buffer, and every COM object, string and
// initialisation given back on every path.
#include "wmi/wmi_serial.h"

#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "wmi/wql_text.h"

namespace hdsn::sim {
namespace {

constexpr char kQuery1[] = "SELECT * FROM Win32_OperatingSystem";
constexpr char kQuery2[] = R"(SELECT * FROM Win32_LogicalDisk WHERE DeviceID = "C:")";
constexpr char kQuery3[] =
    R"(SELECT * FROM Win32_LogicalDiskToPartition WHERE Dependent = "\\\\HOST\\ROOT\\CIMV2:Win32_LogicalDisk.DeviceID=\"C:\"")";
constexpr char kQuery4[] =
    R"(SELECT * FROM Win32_DiskDriveToDiskPartition WHERE Dependent="\\\\HOST\\ROOT\\CIMV2:Win32_DiskPartition.DeviceID=\"Disk #0, Partition #0\"")";
constexpr char kQuery5[] =
    R"(SELECT * FROM Win32_DiskDrive WHERE __PATH="\\\\HOST\\ROOT\\CIMV2:Win32_DiskDrive.DeviceID=\"\\\\\\\\.\\\\PHYSICALDRIVE0\"")";
constexpr char kQuery6[] =
    R"(SELECT * FROM Win32_DiskDrivePhysicalMedia WHERE Dependent="\\\\HOST\\ROOT\\CIMV2:Win32_DiskDrive.DeviceID=\"\\\\\\\\.\\\\PHYSICALDRIVE0\"")";
constexpr char kQuery7[] =
    R"(SELECT * FROM Win32_PhysicalMedia WHERE __PATH="\\\\HOST\\ROOT\\CIMV2:Win32_PhysicalMedia.Tag=\"\\\\\\\\.\\\\PHYSICALDRIVE0\"")";

constexpr std::int32_t kResultSize = 2048;

// Runs method 0 into a 2048-byte buffer holding `passed`; returns the text
// left. Nothing may stay behind.
std::string Query(SimMachine& m, const std::string& passed = "") {
  GuardedBuffer buffer(kResultSize);
  std::copy(passed.begin(), passed.end(), buffer.data());
  QueryWmiSerial(m.wmi, m.text, buffer.data(), kResultSize);
  EXPECT_EQ(buffer[kResultSize - 1], '\0');
  EXPECT_TRUE(buffer.CanariesIntact());
  EXPECT_TRUE(NothingLeftBehind(m));
  return buffer.Text();
}

TEST(WmiSerial, RealisticMachineWalksFromTheSystemDriveToItsDisk) {
  SimMachine m;
  BuildRealisticMachine(m.wmi);
  EXPECT_EQ(Query(m), "WD-WCAV12345678");
  EXPECT_EQ(m.wmi.queries, (std::vector<std::string>{kQuery1, kQuery2, kQuery3, kQuery4, kQuery5}));

  const std::vector<std::string> calls = Calls(m.wmi, "Sys", false);
  ASSERT_GE(calls.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 5),
            (std::vector<std::string>{
                "CoInitializeEx(null, 0x0)",
                "CoInitializeSecurity(null, -1, null, null, 0, 3, null, 0x0, null)",
                "CoCreateInstance({4590F811-1D3A-11D0-891F-00AA004B2E24}, null, 0x1, "
                "{DC12A687-737F-11CF-884D-00AA004B2E24})",
                "ConnectServer(\"ROOT\\CIMV2\", null, null, null, 0, null, null)",
                "CoSetProxyBlanket(10, 0, null, 3, 3, null, 0x0)"}));
  EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
            (std::vector<std::string>{"Release(services)", "Release(locator)", "CoUninitialize"}));
  for (const std::string& call : Calls(m.wmi, "ExecQuery")) {
    EXPECT_TRUE(call.starts_with("ExecQuery(\"WQL\", \"")) << call;
    EXPECT_TRUE(call.ends_with("\", 0x30, null)")) << call;
  }
}

TEST(WmiSerial, DriveWithoutSerialNumberFallsBackToItsPhysicalMedia) {
  SimMachine m;
  BuildRealisticMachine(m.wmi);
  m.wmi.DiskDrive(0).properties["SerialNumber"] = std::nullopt;
  EXPECT_EQ(Query(m), "MEDIA-0-SERIAL");
  EXPECT_EQ(m.wmi.queries, (std::vector<std::string>{kQuery1, kQuery2, kQuery3, kQuery4, kQuery5,
                                                     kQuery6, kQuery7}));
}

// The disk drive's SerialNumber as WMI gives it, and the media's.
struct SerialCase {
  const char* name;
  std::optional<std::u16string> serial;
  bool serialMissing;
  std::optional<std::u16string> mediaSerial;
  std::string expected;
  std::size_t queries;
};

class SerialNumberCases : public testing::TestWithParam<SerialCase> {};

TEST_P(SerialNumberCases, DecideTheResultAndWhetherTheMediaIsAsked) {
  const SerialCase& c = GetParam();
  SimMachine m;
  m.wmi.AddOperatingSystem("C:");
  m.wmi.AddDiskDrive(0, c.serial, c.mediaSerial);
  m.wmi.AddPartition(0, 0);
  m.wmi.AddLogicalDisk("C:", {{0, 0}});
  if (c.serialMissing) m.wmi.DiskDrive(0).properties.erase("SerialNumber");
  EXPECT_EQ(Query(m), c.expected);
  EXPECT_EQ(m.wmi.queries.size(), c.queries);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialNumberCases,
    testing::Values(SerialCase{"Missing", std::nullopt, true, u"M1", "M1", 7},
                    SerialCase{"Null", std::nullopt, false, u"M1", "M1", 7},
                    SerialCase{"AllBlanks", u"    ", false, u" M1 ", "M1", 7},
                    SerialCase{"NullAndMediaNull", std::nullopt, false, std::nullopt, "", 7},
                    SerialCase{"AllBlanksAndMediaAllBlanks", u"  ", false, u"  ", "", 7},
                    SerialCase{"BlanksAround", u"  ABC123 ", false, u"M1", "ABC123", 5},
                    SerialCase{"TabsStay", u"\tABC123\t", false, u"M1", "\tABC123\t", 5},
                    SerialCase{"OneCharacterIsEnough", u"A", false, u"M1", "A", 5},
                    SerialCase{"LongerThanTheResultIsCut", std::u16string(3000, u'S'), false, u"M1",
                               std::string(2047, 'S'), 5}),
    RowName());

// Several Win32_DiskDrive objects answering query 5: each text value
// replaces the result, a null one leaves it.
struct SeveralCase {
  const char* name;
  std::optional<std::u16string> first;
  std::optional<std::u16string> second;
  std::string expected;
};

class SeveralDrivesOnOnePath : public testing::TestWithParam<SeveralCase> {};

TEST_P(SeveralDrivesOnOnePath, LastTextWins) {
  const SeveralCase& c = GetParam();
  SimMachine m;
  BuildRealisticMachine(m.wmi);
  m.wmi.DiskDrive(0).properties["SerialNumber"] = c.first;
  SimWmiObject twin = m.wmi.DiskDrive(0);
  twin.properties["SerialNumber"] = c.second;
  m.wmi.objects.push_back(twin);
  m.wmi.PhysicalMedia(0).properties["SerialNumber"] = std::nullopt;
  EXPECT_EQ(Query(m), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SeveralDrivesOnOnePath,
    testing::Values(SeveralCase{"LaterEmptyEmpties", u"FIRST", u"", ""},
                    SeveralCase{"LaterNullLeaves", u"FIRST", std::nullopt, "FIRST"},
                    SeveralCase{"LaterTextReplaces", u"FIRST", u"SECOND", "SECOND"}),
    RowName());

// Machines whose paths lead the chain astray.
struct ChainCase {
  const char* name;
  std::function<void(SimWmi&)> setUp;
  std::string expected;
  std::vector<std::string> queries;  // all sent, or the first few and the last
};

class ChainCases : public testing::TestWithParam<ChainCase> {};

TEST_P(ChainCases, SendTheseQueries) {
  const ChainCase& c = GetParam();
  SimMachine m;
  c.setUp(m.wmi);
  EXPECT_EQ(Query(m), c.expected);
  EXPECT_EQ(m.wmi.queries, c.queries);
}

constexpr char kEmptyQuery2[] = R"(SELECT * FROM Win32_LogicalDisk WHERE DeviceID = "")";
constexpr char kEmptyQuery3[] =
    R"(SELECT * FROM Win32_LogicalDiskToPartition WHERE Dependent = "")";
constexpr char kEmptyQuery4[] =
    R"(SELECT * FROM Win32_DiskDriveToDiskPartition WHERE Dependent="")";
constexpr char kEmptyQuery5[] = R"(SELECT * FROM Win32_DiskDrive WHERE __PATH="")";
constexpr char kEmptyQuery6[] = R"(SELECT * FROM Win32_DiskDrivePhysicalMedia WHERE Dependent="")";
constexpr char kEmptyQuery7[] = R"(SELECT * FROM Win32_PhysicalMedia WHERE __PATH="")";

INSTANTIATE_TEST_SUITE_P(
    Cases, ChainCases,
    testing::Values(
        ChainCase{"EmptyServiceSendsEmptyLiterals",
                  [](SimWmi&) {},
                  "",
                  {kQuery1, kEmptyQuery2, kEmptyQuery3, kEmptyQuery4, kEmptyQuery5, kEmptyQuery6,
                   kEmptyQuery7}},
        ChainCase{
            "NoLogicalDiskSendsTheDriveEscaped",
            [](SimWmi& wmi) {
              BuildRealisticMachine(wmi);
              wmi.Find("Win32_OperatingSystem", "SystemDrive", "C:")->properties["SystemDrive"] =
                  u"C:\\\"";
            },
            "",
            {kQuery1, R"(SELECT * FROM Win32_LogicalDisk WHERE DeviceID = "C:\"")",
             R"(SELECT * FROM Win32_LogicalDiskToPartition WHERE Dependent = "C:\\\"")",
             kEmptyQuery4, kEmptyQuery5, kEmptyQuery6, kEmptyQuery7}},
        ChainCase{
            "SystemDriveOnTwoPartitionsFollowsTheLast",
            [](SimWmi& wmi) {
              wmi.AddOperatingSystem("C:");
              wmi.AddDiskDrive(0, u"DISK0", u"M0");
              wmi.AddDiskDrive(1, u"DISK1", u"M1");
              wmi.AddPartition(0, 0);
              wmi.AddPartition(1, 0);
              wmi.AddLogicalDisk("C:", {{0, 0}, {1, 0}});
            },
            "DISK1",
            {kQuery1, kQuery2, kQuery3,
             R"(SELECT * FROM Win32_DiskDriveToDiskPartition WHERE Dependent="\\\\HOST\\ROOT\\CIMV2:Win32_DiskPartition.DeviceID=\"Disk #1, Partition #0\"")",
             R"(SELECT * FROM Win32_DiskDrive WHERE __PATH="\\\\HOST\\ROOT\\CIMV2:Win32_DiskDrive.DeviceID=\"\\\\\\\\.\\\\PHYSICALDRIVE1\"")"}},
        // A partition path of 150 bytes with 110 backslashes fits its buffer
        // but not once escaped: the chain stops rather than send it cut.
        ChainCase{"PathTooLongOnceEscapedEndsTheChain",
                  [](SimWmi& wmi) {
                    BuildRealisticMachine(wmi);
                    const std::u16string odd = u"\\\\HOST\\ROOT\\CIMV2:Win32_DiskPartition.X=\"" +
                                               std::u16string(110, u'\\') + u"\"";
                    wmi.Find("Win32_LogicalDiskToPartition", "Dependent", LogicalDiskPath("C:"))
                        ->properties["Antecedent"] = odd;
                  },
                  "",
                  {kQuery1, kQuery2, kQuery3}}),
    RowName());

// Each opening step answering in turn.
struct OpeningCase {
  const char* name;
  const char* operation;
  HResult status;
  bool goesOn;
  int uninitializeCalls;
};

class OpeningSteps : public testing::TestWithParam<OpeningCase> {};

TEST_P(OpeningSteps, EndOrGoOnAndGiveEverythingBack) {
  const OpeningCase& c = GetParam();
  SimMachine m;
  BuildRealisticMachine(m.wmi);
  m.faults.FailNth(c.operation, 1, c.status);
  EXPECT_EQ(Query(m, "as passed"), c.goesOn ? "WD-WCAV12345678" : "as passed");
  EXPECT_EQ(m.wmi.queries.size(), c.goesOn ? 5u : 0u);
  EXPECT_EQ(Calls(m.wmi, "CoUninitialize").size(), static_cast<std::size_t>(c.uninitializeCalls));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpeningSteps,
    testing::Values(
        OpeningCase{"CoInitializeExFails", "CoInitializeEx", kEInvalidArg, false, 0},
        OpeningCase{"CoInitializeExOutOfMemory", "CoInitializeEx", kEOutOfMemory, false, 0},
        // Another model already runs here: go on, but leave its COM alone.
        OpeningCase{"CoInitializeExChangedMode", "CoInitializeEx", kRpcEChangedMode, true, 0},
        OpeningCase{"CoInitializeExAlreadyDone", "CoInitializeEx", kSFalse, true, 1},
        OpeningCase{"CoInitializeSecurityFails", "CoInitializeSecurity", kEFail, false, 1},
        OpeningCase{"CoInitializeSecurityTooLate", "CoInitializeSecurity", kRpcETooLate, true, 1},
        OpeningCase{"CoCreateInstanceFails", "CoCreateInstance", kEFail, false, 1},
        OpeningCase{"ConnectServerFails", "ConnectServer", kEFail, false, 1},
        OpeningCase{"CoSetProxyBlanketFails", "CoSetProxyBlanket", kEFail, false, 1}),
    RowName());

// Each query refused in turn, on a machine whose drive serial is all blanks
// so that all seven run: queries 1 to 5 leave the result as passed, 6 and 7
// after query 5 emptied it.
class QueryRefused : public testing::TestWithParam<int> {};

TEST_P(QueryRefused, EndsTheMethodThere) {
  const int query = GetParam();
  SimMachine m;
  BuildRealisticMachine(m.wmi);
  m.wmi.DiskDrive(0).properties["SerialNumber"] = u"   ";
  m.faults.FailNth("ExecQuery", query, kWbemEInvalidQuery);
  EXPECT_EQ(Query(m, "as passed"), query <= 5 ? "as passed" : "");
  EXPECT_EQ(m.wmi.queries.size(), static_cast<std::size_t>(query));
  EXPECT_EQ(Calls(m.wmi, "CoUninitialize").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Queries, QueryRefused, testing::Range(1, 8));

}  // namespace
}  // namespace hdsn::sim
