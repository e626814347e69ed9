// What hdsn-disks asks of a Linux system: files of sysfs, /proc and /run
// read with bounded buffers, directories listed, links resolved, the file
// system of a file found, device nodes opened read-only and asked through
// ioctl. Every path is absolute ("/sys/block"). No Linux header is needed
// here: the ioctl arguments are byte layouts (disks/linux/layouts.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace hdsn {

class ConsoleInterface;
class OutputFileInterface;
class HmacInterface;

enum class OpenMode {
  kFile,    // read-only
  kDevice,  // read-only and non-blocking: a drive without media does not hold the open up
};

class LinuxSystemInterface {
 public:
  virtual ~LinuxSystemInterface() = default;
  // Each call returns 0, or the errno of its failure.
  virtual int Open(const char* path, OpenMode mode, int& fd) = 0;
  // At most `size` bytes; `count` is what the read returned (0 at the end).
  virtual int Read(int fd, void* buffer, std::size_t size, std::size_t& count) = 0;
  virtual int Close(int fd) = 0;
  // ioctl(fd, request, argument): the argument's bytes go to the kernel as
  // they are; `result` is what the call returned when it did not fail.
  virtual int Ioctl(int fd, unsigned long request, void* argument, int& result) = 0;
  // The path with every link followed, absolute.
  virtual int ResolvePath(const char* path, std::string& resolved) = 0;
  // The names in a directory, without "." and "..", in no particular order.
  virtual int ListDirectory(const char* path, std::vector<std::string>& names) = 0;
  // The device numbers of the file system that holds the file (stat's
  // st_dev), links followed.
  virtual int FileSystemDevice(const char* path, unsigned& major, unsigned& minor) = 0;
};

struct LinuxPlatform {
  LinuxSystemInterface& system;
  ConsoleInterface& console;
  HmacInterface& hmac;  // of hdsn-disks' fingerprint
};

// The real system, the C runtime's console and nettle's HMAC, created on
// first use (Linux builds only).
const LinuxPlatform& GetLinuxPlatform();
// The real system's output file (platform/output_file.h), hdsn-disks' alone.
OutputFileInterface& GetLinuxOutputFile();
// nettle's HMAC-SHA256, linked statically; it keeps no state between calls.
HmacInterface& GetLinuxHmac();

}  // namespace hdsn
