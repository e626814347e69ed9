// The simulated machine's system services, console, code page and HMAC.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/hmac_interface.h"
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
