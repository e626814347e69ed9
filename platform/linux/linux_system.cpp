// The Linux implementation of the interfaces: each call passes straight to
// the system.
#include "platform/linux_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/console.h"

namespace hdsn {
namespace {

class LinuxSystem final : public LinuxSystemInterface {
 public:
  int Open(const char* path, OpenMode mode, int& fd) override {
    const int flags =
        mode == OpenMode::kDevice ? O_RDONLY | O_NONBLOCK | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
    fd = ::open(path, flags);
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
    if (::realpath(path, buffer) == nullptr) return errno;
    resolved = buffer;
    return 0;
  }

  int ListDirectory(const char* path, std::vector<std::string>& names) override {
    DIR* directory = ::opendir(path);
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

  int FileSystemDevice(const char* path, unsigned& major, unsigned& minor) override {
    struct stat status;
    if (::stat(path, &status) != 0) return errno;
    major = ::major(status.st_dev);
    minor = ::minor(status.st_dev);
    return 0;
  }
};

}  // namespace

const LinuxPlatform& GetLinuxPlatform() {
  static LinuxSystem system;
  static const LinuxPlatform platform{system, GetRuntimeConsole(), GetLinuxHmac()};
  return platform;
}

}  // namespace hdsn
