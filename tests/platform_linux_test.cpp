// The real Linux layer on a tree of the test's own: links resolved, files
// read within their bounds, and a whole inventory of a small tree laid out
// like sysfs. The real calls run on real files; only the paths are moved
// under the tree's root, by a wrapper of the test's.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "disks/json_writer.h"
#include "disks/linux/disk_list.h"
#include "disks/linux/sources.h"
#include "platform/linux_system.h"
#include "sim/sim_system.h"
#include "test_support.h"

namespace hdsn {
namespace {

namespace fs = std::filesystem;

// The real system with every path the program names put under a root
// directory (absolute, no trailing slash); a link that leaves the root
// resolves to nothing, as a link out of the system would.
class RootedLinuxSystem final : public LinuxSystemInterface {
 public:
  explicit RootedLinuxSystem(std::string root)
      : real_(GetLinuxPlatform().system), root_(std::move(root)) {}

  int Open(const char* path, OpenMode mode, int& fd) override {
    return real_.Open(Full(path).c_str(), mode, fd);
  }
  int Read(int fd, void* buffer, std::size_t size, std::size_t& count) override {
    return real_.Read(fd, buffer, size, count);
  }
  int Close(int fd) override { return real_.Close(fd); }
  int Ioctl(int fd, unsigned long request, void* argument, int& result) override {
    return real_.Ioctl(fd, request, argument, result);
  }
  int ResolvePath(const char* path, std::string& resolved) override {
    if (const int error = real_.ResolvePath(Full(path).c_str(), resolved); error != 0) return error;
    if (resolved.compare(0, root_.size(), root_) != 0) return ENOENT;
    resolved.erase(0, root_.size());
    if (resolved.empty()) resolved.push_back('/');
    return 0;
  }
  int ListDirectory(const char* path, std::vector<std::string>& names) override {
    return real_.ListDirectory(Full(path).c_str(), names);
  }
  int FileSystemDevice(const char* path, unsigned& major, unsigned& minor) override {
    return real_.FileSystemDevice(Full(path).c_str(), major, minor);
  }

 private:
  std::string Full(const char* path) const { return root_ + path; }
  LinuxSystemInterface& real_;
  std::string root_;
};

class LinuxLayer : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/hdsn-linux-layer-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    system_ = std::make_unique<RootedLinuxSystem>(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  void File(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(root_ + path).parent_path());
    std::ofstream(root_ + path, std::ios::binary) << content;
  }
  void Link(const std::string& path, const std::string& target) {
    fs::create_directories(fs::path(root_ + path).parent_path());
    fs::create_symlink(target, root_ + path);
  }

  std::string root_;
  std::unique_ptr<LinuxSystemInterface> system_;
};

TEST_F(LinuxLayer, ResolvesLinksInsideItsRootOnly) {
  File("/sys/devices/virtio1/block/vda/dev", "254:0\n");
  Link("/sys/block/vda", "../devices/virtio1/block/vda");
  Link("/sys/block/escape", "/");
  std::string resolved;
  EXPECT_EQ(system_->ResolvePath("/sys/block/vda/dev", resolved), 0);
  EXPECT_EQ(resolved, "/sys/devices/virtio1/block/vda/dev");
  EXPECT_EQ(system_->ResolvePath("/sys/block/escape", resolved), ENOENT);
  EXPECT_EQ(system_->ResolvePath("/sys/block/none", resolved), ENOENT);
}

TEST_F(LinuxLayer, ReadsFilesWithinTheirLimitAndNamesTheFailedStep) {
  File("/sys/block/vda/serial", "0123456789");
  const FileRead cut = ReadLinuxFile(*system_, "/sys/block/vda/serial", 4);
  EXPECT_EQ(cut.error, "");
  EXPECT_EQ(cut.bytes, "0123");
  EXPECT_TRUE(cut.cut);
  const FileRead whole = ReadLinuxFile(*system_, "/sys/block/vda/serial", 10);
  EXPECT_EQ(whole.bytes, "0123456789");
  EXPECT_FALSE(whole.cut);
  EXPECT_EQ(ReadLinuxFile(*system_, "/sys/block/vda/missing", 4).error, "open: 2");
  EXPECT_EQ(ReadLinuxFile(*system_, "/sys/block", 4).error, "read: 21");
}

TEST_F(LinuxLayer, ListsTheDisksOfATreeLaidOutLikeSysfs) {
  const std::string block = "/sys/devices/pci0000:00/0000:00:07.0/virtio1/block/vda";
  File(block + "/dev", "254:0\n");
  File(block + "/removable", "0\n");
  File(block + "/serial", "VBLK-REAL");
  Link(block + "/device", "../../../virtio1");
  Link("/sys/block/vda", ".." + block.substr(4));
  Link("/sys/dev/block/254:0", "../.." + block.substr(4));
  Link("/sys/block/loop0", "../devices/virtual/block/loop0");
  File("/proc/self/mountinfo", "22 1 254:0 / / rw - ext4 /dev/vda rw\n");
  File("/run/udev/data/b254:0", "E:ID_FS_UUID=real-uuid\n");
  sim::SimConsole console;
  const DiskInventory inventory = ListDisks(LinuxPlatform{*system_, console, GetLinuxHmac()});
  const std::string text = FormatInventoryJson(inventory);
  sim::RecordJson(text);
  const nlohmann::json document = nlohmann::json::parse(text);
  ASSERT_EQ(document.at("disks").size(), 1u);
  EXPECT_EQ(document.at("/disks/0/device"_json_pointer), "/dev/vda");
  EXPECT_EQ(document.at("/disks/0/serial"_json_pointer), "VBLK-REAL");
  EXPECT_EQ(document.at("/disks/0/system"_json_pointer), true);
  EXPECT_EQ(document.at("/disks/0/sources/4/via"_json_pointer), "/run/udev/data/b254:0");
  EXPECT_EQ(document.at("/system_volume/serial"_json_pointer), "real-uuid");
}

}  // namespace
}  // namespace hdsn
