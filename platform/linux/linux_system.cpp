// The Linux implementation of the interfaces: each call passes straight to
// the system, with the root directory in front of every path.
#include "platform/linux_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/system_interface.h"

namespace hdsn {
namespace {

class LinuxSystem final : public LinuxSystemInterface {
 public:
  // "/" or a directory without a trailing slash.
  explicit LinuxSystem(std::string root) : root_(root == "/" ? "" : std::move(root)) {}

  int Open(const char* path, OpenMode mode, int& fd) override {
    const int flags =
        mode == OpenMode::kDevice ? O_RDONLY | O_NONBLOCK | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
    fd = ::open(Full(path).c_str(), flags);
    return fd < 0 ? errno : 0;
  }

  int Read(int fd, void* buffer, std::size_t size, std::size_t& count) override {
    ssize_t got;
    do {
      got = ::read(fd, buffer, size);
    } while (got < 0 && errno == EINTR);
    count = got < 0 ? 0 : static_cast<std::size_t>(got);
    return got < 0 ? errno : 0;
  }

  // A close that fails has still released the descriptor on Linux: it is
  // never retried.
  int Close(int fd) override { return ::close(fd) == 0 ? 0 : errno; }

  int Ioctl(int fd, unsigned long request, void* argument, int& result) override {
    result = ::ioctl(fd, request, argument);
    return result < 0 ? errno : 0;
  }

  int ResolvePath(const char* path, std::string& resolved) override {
    char buffer[PATH_MAX];
    if (::realpath(Full(path).c_str(), buffer) == nullptr) return errno;
    resolved = buffer;
    if (!root_.empty()) {
      // A link out of the root leaves it; the program's paths stay inside.
      if (resolved.compare(0, root_.size(), root_) != 0) return ENOENT;
      resolved.erase(0, root_.size());
      if (resolved.empty()) resolved.push_back('/');
    }
    return 0;
  }

  int ListDirectory(const char* path, std::vector<std::string>& names) override {
    DIR* directory = ::opendir(Full(path).c_str());
    if (directory == nullptr) return errno;
    names.clear();
    errno = 0;
    while (const dirent* entry = ::readdir(directory)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    const int error = errno;
    ::closedir(directory);
    return error;
  }

 private:
  std::string Full(const char* path) const { return root_ + path; }
  std::string root_;
};

class LinuxConsole final : public ConsoleInterface {
 public:
  void VPrintf(const char* format, std::va_list args) override { std::vprintf(format, args); }
  void VPrintfError(const char* format, std::va_list args) override {
    std::vfprintf(stderr, format, args);
  }
  void Flush() override { std::fflush(stdout); }
  int GetChar() override { return std::getchar(); }
};

}  // namespace

std::unique_ptr<LinuxSystemInterface> MakeLinuxSystem(const std::string& root) {
  return std::make_unique<LinuxSystem>(root);
}

const LinuxPlatform& GetLinuxPlatform() {
  static LinuxSystem system("/");
  static LinuxConsole console;
  static const LinuxPlatform platform{system, console};
  return platform;
}

}  // namespace hdsn
