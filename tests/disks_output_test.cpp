// hdsn-disks' outputs for collectors: the label values of the Prometheus
// format, and --output, which writes any format whole or leaves the old file
// as it was, whatever call fails.
#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "disks/disk_inventory.h"
#include "disks/prometheus_writer.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

struct LabelCase {
  const char* name;
  std::string text;  // the disk's serial
  const char* source;
  std::string label;  // as the file writes it
};

class PrometheusLabels : public testing::TestWithParam<LabelCase> {};

TEST_P(PrometheusLabels, EscapeAsTheFormatSaysAndShowOtherBytesAsTheJsonDoes) {
  DiskInventory inventory;
  DiskEntry& disk = inventory.disks.emplace_back();
  disk.device = "/dev/sda";
  disk.serial = GetParam().text;
  disk.serialSource = GetParam().source;
  const std::string text = FormatInventoryPrometheus(inventory);
  const std::string line = "\nhdsn_disk_info{device=\"/dev/sda\",bus=\"\",serial=\"" +
                           GetParam().label + "\",serial_source=\"" + GetParam().source +
                           "\",model=\"\",firmware=\"\",wwn=\"\",system=\"\"} 1\n";
  EXPECT_NE(text.find(line), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PrometheusLabels,
    testing::Values(LabelCase{"QuoteAndBackslash", "a\"b\\c", "ata-identify", "a\\\"b\\\\c"},
                    LabelCase{"LineFeedOfADevice", "a\nb", "sysfs", "a\\nb"},
                    LabelCase{"LineFeedOfWmi", "a\nb", "wmi", "a\\nb"},
                    // The text a backslash and "u000a" is no line feed.
                    LabelCase{"EscapedLookalike", "\\u000a", "scsi-vpd80", "\\\\u000a"},
                    LabelCase{"ByteOutsideUtf8", "A\xff", "ata-identify", "A\\\\u00ff"},
                    // A device's bytes are no UTF-8, as in the JSON.
                    LabelCase{"Utf8OfADevice", "\xc3\xa9", "nvme-identify", "\\\\u00c3\\\\u00a9"},
                    LabelCase{"Utf8OfWmi", "\xc3\xa9", "wmi", "\xc3\xa9"},
                    LabelCase{"BrokenUtf8OfWmi", "\xc3(", "wmi", "\\\\u00c3("},
                    LabelCase{"ControlByteOfWmi", "a\tb", "wmi", "a\\\\u0009b"}),
    RowName());

TEST(PrometheusFamilies, LeaveOutWhatNoDiskGivesAndAnUnknownTextIsEmpty) {
  DiskInventory inventory;
  EXPECT_EQ(FormatInventoryPrometheus(inventory),
            "# HELP hdsn_system_volume_info The system volume's root and serial number (on "
            "Linux the UUID of the root file system); an empty label is unknown.\n"
            "# TYPE hdsn_system_volume_info gauge\n"
            "hdsn_system_volume_info{root=\"\",serial=\"\"} 1\n");
  DiskEntry& disk = inventory.disks.emplace_back();
  disk.device = "/dev/vda";
  disk.agree = false;
  const std::string text = FormatInventoryPrometheus(inventory);
  EXPECT_EQ(text.find("hdsn_disk_size_bytes"), std::string::npos) << text;
  EXPECT_NE(text.find("\nhdsn_disk_sources_agree{device=\"/dev/vda\"} 0\n"), std::string::npos)
      << text;
}

// The machine of every --output row: one USB disk, and the old file.
constexpr char kFile[] = "C:\\metrics\\hdsn.prom";
constexpr char kTemporary[] = "C:\\metrics\\hdsn.prom.4242.tmp";
constexpr char kOld[] = "old\n";

struct OutputCase {
  const char* name;
  std::vector<const char*> arguments;  // before --output FILE
  std::function<void(SimMachine&)> change;
  int status;
  std::string errorOutput;  // "" on success: FILE then holds the new document
  // The files the folder holds at the end, beside FILE.
  std::vector<std::string> leftBeside = {};
};

class OutputFile : public testing::TestWithParam<OutputCase> {};

TEST_P(OutputFile, HoldsTheWholeDocumentOrTheOldOne) {
  const OutputCase& c = GetParam();
  const auto machine = [](SimMachine& m) {
    m.devices.physicalDrives[0] = MakeUsbBridge("USB-1", "USB Disk");
    m.files.files[kFile] = kOld;
  };
  // What standard output gets without --output.
  SimMachine printed;
  machine(printed);
  ASSERT_EQ(printed.RunDisks(c.arguments), 0);

  SimMachine m;
  machine(m);
  if (c.change) c.change(m);
  std::vector<const char*> arguments = c.arguments;
  arguments.insert(arguments.end(), {"--output", kFile});
  EXPECT_EQ(m.RunDisks(arguments), c.status);
  EXPECT_EQ(m.console.output, "");
  EXPECT_EQ(m.console.errorOutput, c.errorOutput);
  EXPECT_EQ(m.files.files.at(kFile), c.errorOutput.empty() ? printed.console.output : kOld);
  std::vector<std::string> beside, expected = c.leftBeside;
  for (const auto& [path, content] : m.files.files)
    if (path != kFile) beside.push_back(path);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(beside, expected);
  EXPECT_TRUE(NothingLeftBehind(m));
}

void Fail(SimMachine& m, const char* operation) { m.faults.FailEvery(operation); }

// Every name the program tries for its new file.
std::vector<std::string> TakenNames() {
  std::vector<std::string> names = {kTemporary};
  for (int n = 1; n < 16; ++n)
    names.push_back("C:\\metrics\\hdsn.prom.4242-" + std::to_string(n) + ".tmp");
  return names;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, OutputFile,
    testing::Values(
        OutputCase{"Table", {}, nullptr, 0, ""}, OutputCase{"Json", {"--json"}, nullptr, 0, ""},
        OutputCase{"Prometheus", {"--prometheus"}, nullptr, 0, ""},
        // A file system may take fewer bytes a write than asked.
        OutputCase{"ShortWrites", {"--json"}, [](SimMachine& m) { m.files.writeLimit = 7; }, 0, ""},
        // The name a run of the same process id left behind is not touched.
        OutputCase{"NameTaken",
                   {"--prometheus"},
                   [](SimMachine& m) { m.files.files[kTemporary] = "left"; },
                   0,
                   "",
                   {kTemporary}},
        OutputCase{"EveryNameTaken",
                   {"--prometheus"},
                   [](SimMachine& m) {
                     for (const std::string& name : TakenNames()) m.files.files[name] = "left";
                   },
                   3,
                   "hdsn-disks: cannot write C:\\metrics\\hdsn.prom: create "
                   "C:\\metrics\\hdsn.prom.4242-15.tmp: exists\n",
                   TakenNames()},
        OutputCase{"FolderReadOnly",
                   {"--prometheus"},
                   [](SimMachine& m) { m.files.readOnlyFolders.insert("C:\\metrics"); },
                   3,
                   "hdsn-disks: cannot write C:\\metrics\\hdsn.prom: create "
                   "C:\\metrics\\hdsn.prom.4242.tmp: 13\n"},
        OutputCase{"WriteFails",
                   {"--prometheus"},
                   [](SimMachine& m) { m.faults.FailEvery("output-write", 28); },
                   3,
                   "hdsn-disks: cannot write C:\\metrics\\hdsn.prom: write "
                   "C:\\metrics\\hdsn.prom.4242.tmp: 28\n"},
        OutputCase{"SecondWriteFails",
                   {"--json"},
                   [](SimMachine& m) {
                     m.files.writeLimit = 100;
                     m.faults.FailNth("output-write", 2);
                   },
                   3,
                   "hdsn-disks: cannot write C:\\metrics\\hdsn.prom: write "
                   "C:\\metrics\\hdsn.prom.4242.tmp: 5\n"},
        OutputCase{"SyncFails",
                   {},
                   [](SimMachine& m) { Fail(m, "output-sync"); },
                   3,
                   "hdsn-disks: cannot write C:\\metrics\\hdsn.prom: sync "
                   "C:\\metrics\\hdsn.prom.4242.tmp: 5\n"},
        OutputCase{"CloseFails",
                   {},
                   [](SimMachine& m) { Fail(m, "output-close"); },
                   3,
                   "hdsn-disks: cannot write C:\\metrics\\hdsn.prom: close "
                   "C:\\metrics\\hdsn.prom.4242.tmp: 5\n"},
        OutputCase{"RenameFails",
                   {"--json"},
                   [](SimMachine& m) { Fail(m, "output-replace"); },
                   3,
                   "hdsn-disks: cannot write C:\\metrics\\hdsn.prom: rename "
                   "C:\\metrics\\hdsn.prom.4242.tmp: 5\n"},
        // Then the file left behind is named.
        OutputCase{"RenameAndRemoveFail",
                   {"--json"},
                   [](SimMachine& m) {
                     Fail(m, "output-replace");
                     Fail(m, "output-remove");
                   },
                   3,
                   "hdsn-disks: cannot write C:\\metrics\\hdsn.prom: rename "
                   "C:\\metrics\\hdsn.prom.4242.tmp: 5; remove C:\\metrics\\hdsn.prom.4242.tmp: "
                   "5\n",
                   {kTemporary}}),
    RowName());

TEST(OutputFile, OfAMissingFolderIsAnErrorAndMakesNothing) {
  SimMachine m;
  m.devices.physicalDrives[0] = MakeUsbBridge("USB-1", "USB Disk");
  EXPECT_EQ(m.RunDisks({"--output", "D:\\gone\\hdsn.prom"}), 3);
  EXPECT_EQ(m.console.errorOutput,
            "hdsn-disks: cannot write D:\\gone\\hdsn.prom: create D:\\gone\\hdsn.prom.4242.tmp: "
            "2\n");
  EXPECT_EQ(m.files.files, (std::map<std::string, std::string>{}));
  EXPECT_TRUE(NothingLeftBehind(m));
}

// The order of the calls is what makes the file whole: written, made
// durable and closed before it is renamed, never renamed while open.
TEST(OutputFile, IsWrittenSyncedAndClosedBeforeItIsRenamed) {
  SimMachine m;
  m.devices.physicalDrives[0] = MakeUsbBridge("USB-1", "USB Disk");
  m.files.writeLimit = 1000;
  ASSERT_EQ(m.RunDisks({"--prometheus", "--output", kFile}), 0);
  const std::size_t whole = m.files.files.at(kFile).size();
  ASSERT_GT(whole, 1000u);
  ASSERT_LT(whole, 2000u);
  const std::string size = std::to_string(whole);
  const std::string rest = std::to_string(whole - 1000);
  EXPECT_EQ(m.files.calls, (std::vector<std::string>{
                               std::string("create ") + kTemporary,
                               std::string("write ") + kTemporary + " " + size,
                               std::string("write ") + kTemporary + " " + rest,
                               std::string("sync ") + kTemporary,
                               std::string("close ") + kTemporary,
                               std::string("replace ") + kTemporary + " " + kFile,
                           }));
}

}  // namespace
}  // namespace hdsn::sim
