// The Linux implementation of the output file: each call passes straight to
// the system.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux_system.h"
#include "platform/output_file.h"

namespace hdsn {
namespace {

class LinuxOutputFile final : public OutputFileInterface {
 public:
  int CreateNew(const char* path, OutputHandle& handle) override {
    // 0644 before the umask: node_exporter reads the file as its own user.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    handle = fd;
    if (fd >= 0) return 0;
    return errno == EEXIST ? kOutputFileExists : errno;
  }

  int Write(OutputHandle handle, const char* bytes, std::size_t size,
            std::size_t& written) override {
    ssize_t put;
    do {
      put = ::write(static_cast<int>(handle), bytes, size);
    } while (put < 0 && errno == EINTR);
    written = put < 0 ? 0 : static_cast<std::size_t>(put);
    return put < 0 ? errno : 0;
  }

  int Sync(OutputHandle handle) override {
    return ::fsync(static_cast<int>(handle)) == 0 ? 0 : errno;
  }

  // A close that fails has still released the descriptor: never retried.
  int Close(OutputHandle handle) override {
    return ::close(static_cast<int>(handle)) == 0 ? 0 : errno;
  }

  int Replace(const char* from, const char* to) override {
    return ::rename(from, to) == 0 ? 0 : errno;
  }

  int Remove(const char* path) override { return ::unlink(path) == 0 ? 0 : errno; }

  std::uint32_t ProcessId() override { return static_cast<std::uint32_t>(::getpid()); }
};

}  // namespace

OutputFileInterface& GetLinuxOutputFile() {
  static LinuxOutputFile files;
  return files;
}

}  // namespace hdsn
