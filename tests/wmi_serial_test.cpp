// Method 0 against the simulated WMI service: the query texts sent, the
// answer left in the caller's buffer, and every COM object, string and
// initialisation given back on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim_machine.h"
#include "sim/sim_system.h"
#include "sim/sim_wmi.h"
#include "wmi/wmi_serial.h"
#include "wmi/wql_text.h"

namespace hdsn::sim {
namespace {

const std::string kQuery1 = "SELECT * FROM Win32_OperatingSystem";
const std::string kQuery2 = R"(SELECT * FROM Win32_LogicalDisk WHERE DeviceID = "C:")";
const std::string kQuery3 =
    R"(SELECT * FROM Win32_LogicalDiskToPartition WHERE Dependent = "\\\\HOST\\ROOT\\CIMV2:Win32_LogicalDisk.DeviceID=\"C:\"")";
const std::string kQuery4 =
    R"(SELECT * FROM Win32_DiskDriveToDiskPartition WHERE Dependent="\\\\HOST\\ROOT\\CIMV2:Win32_DiskPartition.DeviceID=\"Disk #0, Partition #0\"")";
const std::string kQuery5 =
    R"(SELECT * FROM Win32_DiskDrive WHERE __PATH="\\\\HOST\\ROOT\\CIMV2:Win32_DiskDrive.DeviceID=\"\\\\\\\\.\\\\PHYSICALDRIVE0\"")";
const std::string kQuery6 =
    R"(SELECT * FROM Win32_DiskDrivePhysicalMedia WHERE Dependent="\\\\HOST\\ROOT\\CIMV2:Win32_DiskDrive.DeviceID=\"\\\\\\\\.\\\\PHYSICALDRIVE0\"")";
const std::string kQuery7 =
    R"(SELECT * FROM Win32_PhysicalMedia WHERE __PATH="\\\\HOST\\ROOT\\CIMV2:Win32_PhysicalMedia.Tag=\"\\\\\\\\.\\\\PHYSICALDRIVE0\"")";

constexpr std::int32_t kResultSize = 2048;
constexpr char kCanary = '\xA5';

// Runs method 0 into a 2048-byte buffer holding `passed`, with a canary past
// its end; returns the text left.
std::string Query(SimWmi& wmi, const std::string& passed = "") {
  SimText text;
  std::vector<char> buffer(kResultSize + 16, kCanary);
  std::fill(buffer.begin(), buffer.begin() + kResultSize, '\0');
  std::copy(passed.begin(), passed.end(), buffer.begin());
  QueryWmiSerial(wmi, text, buffer.data(), kResultSize);
  EXPECT_EQ(buffer[kResultSize - 1], '\0');
  for (std::size_t i = kResultSize; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kCanary) << i;
  return buffer.data();
}

void ExpectAllGivenBack(const SimWmi& wmi) {
  EXPECT_EQ(wmi.LiveObjects(), 0);
  EXPECT_EQ(wmi.LiveStrings(), 0);
  EXPECT_EQ(wmi.comInitializations, 0);
  EXPECT_TRUE(wmi.errors.empty()) << wmi.errors.front();
}

// The calls logged that start (or, with keep false, do not start) so.
std::vector<std::string> Calls(const SimWmi& wmi, const std::string& start, bool keep = true) {
  std::vector<std::string> found;
  for (const std::string& call : wmi.calls)
    if (call.starts_with(start) == keep) found.push_back(call);
  return found;
}

SimWmiObject& Drive0(SimWmi& wmi) {
  return *wmi.Find("Win32_DiskDrive", "DeviceID", "\\\\.\\PHYSICALDRIVE0");
}

TEST(WmiSerial, RealisticMachineWalksFromTheSystemDriveToItsDisk) {
  SimWmi wmi;
  BuildRealisticMachine(wmi);
  EXPECT_EQ(Query(wmi), "WD-WCAV12345678");
  EXPECT_EQ(wmi.queries,
            (std::vector<std::string>{kQuery1, kQuery2, kQuery3, kQuery4, kQuery5}));
  ExpectAllGivenBack(wmi);

  const std::vector<std::string> calls = Calls(wmi, "Sys", false);
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
  for (const std::string& call : Calls(wmi, "ExecQuery")) {
    EXPECT_TRUE(call.starts_with("ExecQuery(\"WQL\", \"")) << call;
    EXPECT_TRUE(call.ends_with("\", 0x30, null)")) << call;
  }
}

TEST(WmiSerial, DriveWithoutSerialNumberFallsBackToItsPhysicalMedia) {
  SimWmi wmi;
  BuildRealisticMachine(wmi);
  Drive0(wmi).properties["SerialNumber"] = std::nullopt;
  EXPECT_EQ(Query(wmi), "MEDIA-0-SERIAL");
  EXPECT_EQ(wmi.queries, (std::vector<std::string>{kQuery1, kQuery2, kQuery3, kQuery4, kQuery5,
                                                   kQuery6, kQuery7}));
  ExpectAllGivenBack(wmi);
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
  SimWmi wmi;
  wmi.AddOperatingSystem("C:");
  wmi.AddDiskDrive(0, c.serial, c.mediaSerial);
  wmi.AddPartition(0, 0);
  wmi.AddLogicalDisk("C:", {{0, 0}});
  if (c.serialMissing)
    Drive0(wmi).properties.erase("SerialNumber");
  EXPECT_EQ(Query(wmi), c.expected);
  EXPECT_EQ(wmi.queries.size(), c.queries);
  ExpectAllGivenBack(wmi);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialNumberCases,
    testing::Values(
        SerialCase{"Missing", std::nullopt, true, u"M1", "M1", 7},
        SerialCase{"Null", std::nullopt, false, u"M1", "M1", 7},
        SerialCase{"AllBlanks", u"    ", false, u" M1 ", "M1", 7},
        SerialCase{"NullAndMediaNull", std::nullopt, false, std::nullopt, "", 7},
        SerialCase{"AllBlanksAndMediaAllBlanks", u"  ", false, u"  ", "", 7},
        SerialCase{"BlanksAround", u"  ABC123 ", false, u"M1", "ABC123", 5},
        SerialCase{"TabsStay", u"\tABC123\t", false, u"M1", "\tABC123\t", 5},
        SerialCase{"OneCharacterIsEnough", u"A", false, u"M1", "A", 5},
        SerialCase{"LongerThanTheResultIsCut", std::u16string(3000, u'S'), false, u"M1",
                   std::string(2047, 'S'), 5}),
    [](const testing::TestParamInfo<SerialCase>& row) { return row.param.name; });

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
  SimWmi wmi;
  BuildRealisticMachine(wmi);
  Drive0(wmi).properties["SerialNumber"] = c.first;
  SimWmiObject twin = Drive0(wmi);
  twin.properties["SerialNumber"] = c.second;
  wmi.objects.push_back(twin);
  wmi.Find("Win32_PhysicalMedia", "Tag", "\\\\.\\PHYSICALDRIVE0")->properties["SerialNumber"] =
      std::nullopt;
  EXPECT_EQ(Query(wmi), c.expected);
  ExpectAllGivenBack(wmi);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SeveralDrivesOnOnePath,
    testing::Values(SeveralCase{"LaterEmptyEmpties", u"FIRST", u"", ""},
                    SeveralCase{"LaterNullLeaves", u"FIRST", std::nullopt, "FIRST"},
                    SeveralCase{"LaterTextReplaces", u"FIRST", u"SECOND", "SECOND"}),
    [](const testing::TestParamInfo<SeveralCase>& row) { return row.param.name; });

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
  SimWmi wmi;
  c.setUp(wmi);
  EXPECT_EQ(Query(wmi), c.expected);
  EXPECT_EQ(wmi.queries, c.queries);
  ExpectAllGivenBack(wmi);
}

const std::string kEmptyQuery2 = R"(SELECT * FROM Win32_LogicalDisk WHERE DeviceID = "")";
const std::string kEmptyQuery3 =
    R"(SELECT * FROM Win32_LogicalDiskToPartition WHERE Dependent = "")";
const std::string kEmptyQuery4 =
    R"(SELECT * FROM Win32_DiskDriveToDiskPartition WHERE Dependent="")";
const std::string kEmptyQuery5 = R"(SELECT * FROM Win32_DiskDrive WHERE __PATH="")";
const std::string kEmptyQuery6 = R"(SELECT * FROM Win32_DiskDrivePhysicalMedia WHERE Dependent="")";
const std::string kEmptyQuery7 = R"(SELECT * FROM Win32_PhysicalMedia WHERE __PATH="")";

INSTANTIATE_TEST_SUITE_P(
    Cases, ChainCases,
    testing::Values(
        ChainCase{"EmptyServiceSendsEmptyLiterals", [](SimWmi&) {}, "",
                  {kQuery1, kEmptyQuery2, kEmptyQuery3, kEmptyQuery4, kEmptyQuery5, kEmptyQuery6,
                   kEmptyQuery7}},
        ChainCase{"NoLogicalDiskSendsTheDriveEscaped",
                  [](SimWmi& wmi) {
                    BuildRealisticMachine(wmi);
                    wmi.Find("Win32_OperatingSystem", "SystemDrive", "C:")
                        ->properties["SystemDrive"] = u"C:\\\"";
                  },
                  "",
                  {kQuery1, R"(SELECT * FROM Win32_LogicalDisk WHERE DeviceID = "C:\"")",
                   R"(SELECT * FROM Win32_LogicalDiskToPartition WHERE Dependent = "C:\\\"")",
                   kEmptyQuery4, kEmptyQuery5, kEmptyQuery6, kEmptyQuery7}},
        ChainCase{"SystemDriveOnTwoPartitionsFollowsTheLast",
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
    [](const testing::TestParamInfo<ChainCase>& row) { return row.param.name; });

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
  SimWmi wmi;
  BuildRealisticMachine(wmi);
  wmi.results[{c.operation, 1}] = c.status;
  EXPECT_EQ(Query(wmi, "as passed"), c.goesOn ? "WD-WCAV12345678" : "as passed");
  EXPECT_EQ(wmi.queries.size(), c.goesOn ? 5u : 0u);
  EXPECT_EQ(Calls(wmi, "CoUninitialize").size(),
            static_cast<std::size_t>(c.uninitializeCalls));
  ExpectAllGivenBack(wmi);
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
    [](const testing::TestParamInfo<OpeningCase>& row) { return row.param.name; });

// Each query refused in turn, on a machine whose drive serial is all blanks
// so that all seven run: queries 1 to 5 leave the result as passed, 6 and 7
// after query 5 emptied it.
class QueryRefused : public testing::TestWithParam<int> {};

TEST_P(QueryRefused, EndsTheMethodThere) {
  const int query = GetParam();
  SimWmi wmi;
  BuildRealisticMachine(wmi);
  Drive0(wmi).properties["SerialNumber"] = u"   ";
  wmi.results[{"ExecQuery", query}] = kWbemEInvalidQuery;
  EXPECT_EQ(Query(wmi, "as passed"), query <= 5 ? "as passed" : "");
  EXPECT_EQ(wmi.queries.size(), static_cast<std::size_t>(query));
  EXPECT_EQ(Calls(wmi, "CoUninitialize").size(), 1u);
  ExpectAllGivenBack(wmi);
}

INSTANTIATE_TEST_SUITE_P(Queries, QueryRefused, testing::Range(1, 8));

}  // namespace
}  // namespace hdsn::sim
