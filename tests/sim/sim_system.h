// The simulated machine's system services, console, code page, HMAC and
// output file.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/hmac_interface.h"
#include "platform/output_file.h"
#include "platform/system_interface.h"
#include "platform/text_interface.h"
#include "sim/fault_plan.h"

namespace hdsn::sim {

// The volume serial number of the system drive unless a test sets another.
inline constexpr std::uint32_t kSystemVolumeSerial = 0x43000000u;

class SimSystem final : public SystemInterface {
 public:
  explicit SimSystem(FaultPlan& faults) : faults_(faults) {}

  // What GetWindowsDirectoryA writes.
  std::string windowsDirectory = "C:\\WINDOWS";
  // Volume serial numbers by root path; a root not listed fails.
  std::map<std::string, std::uint32_t> volumeSerials = {{"C:\\", kSystemVolumeSerial}};
  // Every volume's label and file system name. Both must fit their buffers,
  // terminator included, or the call fails with ERROR_BAD_LENGTH: the label
  // is longer than a 12-byte buffer holds, as labels often are.
  std::string volumeLabel = "Windows System Disk";
  std::string fileSystemName = "NTFS";
  std::uint32_t platformId = kVerPlatformWin32Nt;

  std::vector<std::string> volumeQueries;  // root paths asked for
  std::uint32_t lastError = 0;             // of the last volume query that failed
  int getVersionCalls = 0;
  std::uint32_t lastVersionInfoSize = 0;  // dwOSVersionInfoSize as passed

  std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override;
  int GetVolumeInformationA(const char* rootPathName, char* volumeNameBuffer,
                            std::uint32_t volumeNameSize, std::uint32_t* volumeSerialNumber,
                            std::uint32_t* maximumComponentLength, std::uint32_t* fileSystemFlags,
                            char* fileSystemNameBuffer, std::uint32_t fileSystemNameSize) override;
  int GetVersionExA(OsVersionInfoA* versionInformation) override;

 private:
  FaultPlan& faults_;
};

class SimConsole final : public ConsoleInterface {
 public:
  std::string output;
  std::string errorOutput;  // standard error
  int input = -1;           // what getchar returns; EOF by default
  std::size_t flushedLength = 0;
  int getCharCalls = 0;
  std::size_t outputAtGetChar = 0;
  bool flushedBeforeGetChar = false;

  void VPrintf(const char* format, std::va_list args) override;
  void VPrintfError(const char* format, std::va_list args) override;
  void Flush() override { flushedLength = output.size(); }
  int GetChar() override;
};

// The file system hdsn-disks --output writes to, the same on both machines:
// the folders that exist, the files in them, and every call, recorded. As on
// Windows, an open file can be neither renamed nor removed. The fault plan
// fails the operations output-create, output-write, output-sync,
// output-close, output-replace and output-remove, with the rule's status or
// 5 (EIO; ERROR_ACCESS_DENIED).
class SimOutputFile final : public OutputFileInterface {
 public:
  explicit SimOutputFile(FaultPlan& faults) : faults_(faults) {}

  // The codes of the failures the machine has of its own.
  static constexpr int kNoFolder = 2;   // ENOENT
  static constexpr int kReadOnly = 13;  // EACCES
  static constexpr int kSharing = 32;   // ERROR_SHARING_VIOLATION
  static constexpr int kBadHandle = 9;  // EBADF
  static constexpr std::uint32_t kPid = 4242;

  std::set<std::string> folders = {"/srv/metrics", "C:\\metrics"};
  std::set<std::string> readOnlyFolders;
  std::map<std::string, std::string> files;  // by path
  // The most bytes one write takes: a file system may take fewer than asked.
  std::size_t writeLimit = static_cast<std::size_t>(-1);

  std::vector<std::string> calls;  // "create PATH", "write PATH SIZE", "replace FROM TO"...
  int badHandleUses = 0;
  std::size_t OpenCount() const { return open_.size(); }

  int CreateNew(const char* path, OutputHandle& handle) override;
  int Write(OutputHandle handle, const char* bytes, std::size_t size,
            std::size_t& written) override;
  int Sync(OutputHandle handle) override;
  int Close(OutputHandle handle) override;
  int Replace(const char* from, const char* to) override;
  int Remove(const char* path) override;
  std::uint32_t ProcessId() override { return kPid; }

 private:
  // The error of a call on the handle, with the fault plan's first.
  int Check(const char* operation, OutputHandle handle);
  bool IsOpen(const std::string& path) const;

  FaultPlan& faults_;
  std::map<OutputHandle, std::string> open_;
  OutputHandle next_ = 100;
};

// Output files left open and uses of handles that were not open, added to a
// machine's leftovers.
void AddOutputFileLeftovers(const SimOutputFile& files, std::vector<std::string>& problems);

// A single-byte ANSI code page whose characters are U+0000 to U+00FF
// (Latin-1), with optional lead bytes to stand for a double-byte code page.
// Conversions behave as Windows': -1 lengths take the terminator along, a
// size of 0 asks for the size needed, and a buffer too small is filled up to
// its size and the call fails with ERROR_INSUFFICIENT_BUFFER.
class SimText final : public TextInterface {
 public:
  explicit SimText(FaultPlan& faults) : faults_(faults) {}

  std::set<unsigned char> leadBytes;
  std::uint32_t lastError = 0;

  int WideCharToMultiByte(const char16_t* wide, int wideLength, char* narrow,
                          int narrowSize) override;
  int MultiByteToWideChar(const char* narrow, int narrowLength, char16_t* wide,
                          int wideSize) override;
  bool IsDBCSLeadByte(unsigned char byte) override { return leadBytes.count(byte) != 0; }
  int StrTrimA(char* text, const char* trimChars) override;
  std::uint32_t GetLastError() override { return lastError; }

 private:
  bool Fails(const char* call);

  FaultPlan& faults_;
};

// This build's own HMAC-SHA256: nettle's on Linux, CNG's on Windows (under
// Wine for the tests), chosen by the build.
HmacInterface& HostHmac();

// The machines' HMAC-SHA256, a real one (HostHmac), so that a simulated
// machine's fingerprint is the value a real one with its disks prints. It
// records each key and message, as sent; a call the fault plan fails
// (HmacSha256) fails as bcrypt.dll's absence fails it on Windows XP.
class SimHmac final : public HmacInterface {
 public:
  explicit SimHmac(FaultPlan& faults) : faults_(faults) {}

  std::vector<std::string> keys;
  std::vector<std::string> messages;

  std::string HmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message,
                         Sha256Digest& digest) override;

 private:
  FaultPlan& faults_;
};

}  // namespace hdsn::sim
