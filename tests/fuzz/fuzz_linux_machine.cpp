// hdsn-disks on a simulated Linux machine made of the fuzz input: disks of
// every kind with any names and texts, their attribute files and the node's
// answers replaced by any bytes, the mount table, a loop device, udev's
// entries and one failing call. Whatever the machine, the document is valid JSON and every
// descriptor is closed once.
#include <fuzzer/FuzzedDataProvider.h>

#include <nlohmann/json.hpp>
#include <string>

#include "fuzz_check.h"
#include "sim/sim_linux.h"

namespace {

using namespace hdsn;

constexpr sim::SimDiskKind kKinds[] = {
    sim::SimDiskKind::kSata,       sim::SimDiskKind::kPata,
    sim::SimDiskKind::kNvme,       sim::SimDiskKind::kVirtioBlock,
    sim::SimDiskKind::kVirtioScsi, sim::SimDiskKind::kUsbStorage,
    sim::SimDiskKind::kUas,        sim::SimDiskKind::kSas,
    sim::SimDiskKind::kMmc,        sim::SimDiskKind::kNvmeOverFabrics,
    sim::SimDiskKind::kEmmc};
constexpr const char* kNames[] = {"sda", "sdb", "sdaa", "nvme0n1", "nvme1n1", "vda", "mmcblk0"};
// Files of a disk's tree that the sources read, relative to its block device.
constexpr const char* kFiles[] = {"dev",           "removable",           "serial",
                                  "device/model",  "device/rev",          "device/vpd_pg80",
                                  "device/serial", "device/firmware_rev", "device/type",
                                  "hidden",        "device/fwrev",        "device/prv"};

void BuildMachine(FuzzedDataProvider& in, sim::SimLinux& s) {
  const int disks = in.ConsumeIntegralInRange(0, 4);
  std::vector<std::string> names;
  for (int i = 0; i < disks; ++i) {
    sim::SimDisk disk{kKinds[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kKinds) - 1)],
                      kNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kNames) - 1)],
                      in.ConsumeRandomLengthString(40), in.ConsumeRandomLengthString(50),
                      in.ConsumeRandomLengthString(10)};
    disk.udev = in.ConsumeBool();
    disk.nvmePaths = in.ConsumeIntegralInRange(0, 2);
    disk.multiplierPort = in.ConsumeIntegralInRange(-1, 2);
    // NVMe disks are named after their controller; keep names the kind can have.
    const bool nvme =
        disk.kind == sim::SimDiskKind::kNvme || disk.kind == sim::SimDiskKind::kNvmeOverFabrics;
    if (nvme != (disk.name.compare(0, 4, "nvme") == 0)) disk.name = nvme ? "nvme2n1" : "sdc";
    // Controllers of one subsystem are numbered from the subsystem's.
    if (nvme && disk.nvmePaths > 0) disk.name = disk.name == "nvme0n1" ? "nvme4n1" : "nvme6n1";
    if (s.Resolved("/sys/block/" + disk.name).empty()) {
      sim::AddDisk(s, disk);
      names.push_back(disk.name);
    }
  }
  // Any file of a disk, any bytes.
  const int changes = names.empty() ? 0 : in.ConsumeIntegralInRange(0, 6);
  for (int i = 0; i < changes; ++i) {
    const std::string& name = names[in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)];
    const std::string block = s.Resolved("/sys/block/" + name);
    const char* file = kFiles[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kFiles) - 1)];
    const std::string path = s.Resolved(block + "/" + file);
    if (!path.empty() && in.ConsumeBool()) {
      s.Remove(path);
    } else if (!path.empty()) {
      s.AddFile(path, in.ConsumeRandomLengthString(300));
    }
  }
  for (const std::string& name : names) {
    const std::string id = s.Resolved("/sys/class/ata_device/dev1.0/id");
    if (!id.empty() && in.ConsumeBool()) s.AddFile(id, in.ConsumeRandomLengthString(1400));
    const std::string node = "/dev/" + name;
    if (in.ConsumeBool()) s.Node(node).identify = in.ConsumeBytes<std::uint8_t>(600);
    if (in.ConsumeBool()) s.Node(node).vpdPage = in.ConsumeBytes<std::uint8_t>(300);
    if (in.ConsumeBool()) s.Node(node).hostStatus = in.ConsumeIntegral<std::uint16_t>();
    if (in.ConsumeBool()) s.Node(node).driverStatus = in.ConsumeIntegral<std::uint16_t>();
    if (in.ConsumeBool()) s.Node(node).info = in.ConsumeIntegral<std::uint32_t>();
    if (in.ConsumeBool()) s.Node(node).resid = in.ConsumeIntegral<std::int32_t>();
  }
  // A loop device whose backing file lies on a file system of any numbers.
  if (in.ConsumeBool()) {
    sim::AddLoopDevice(s, "loop0", "/srv/" + in.ConsumeRandomLengthString(20));
    s.fileSystems["/srv"] = {in.ConsumeIntegralInRange(0u, 300u),
                             in.ConsumeIntegral<std::uint8_t>()};
  }
  if (in.ConsumeBool()) {
    s.AddFile("/proc/self/mountinfo", in.ConsumeRandomLengthString(300));
  } else if (!names.empty()) {
    sim::MountRoot(s, names[0]);
  }
  if (in.ConsumeBool()) s.AddFile("/run/udev/data/b8:0", in.ConsumeRandomLengthString(300));
  s.root = in.ConsumeBool();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  sim::SimLinuxMachine m;
  BuildMachine(in, m.system);
  if (in.ConsumeBool()) m.faults.FailCall(in.ConsumeIntegralInRange<long>(1, 400));
  const int status = m.RunDisks({"--json"});
  FuzzCheckNoProblems(sim::Leftovers(m));
  // What could not be read is said on standard error, and nothing else.
  if (!m.console.errorOutput.empty()) {
    FUZZ_CHECK(m.console.output.empty() && status == 1);
    return 0;
  }
  const nlohmann::json document = nlohmann::json::parse(m.console.output, nullptr, false);
  FUZZ_CHECK(!document.is_discarded());
  bool serial = false;
  for (const nlohmann::json& disk : document.at("disks")) serial |= !disk.at("serial").is_null();
  FUZZ_CHECK(status == (serial ? 0 : 1));
  return 0;
}
