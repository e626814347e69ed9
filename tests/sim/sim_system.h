// The simulated machine's system services, console and code page.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/system_interface.h"
#include "platform/text_interface.h"
#include "sim/fault_plan.h"

namespace hdsn::sim {

class SimSystem final : public SystemInterface, public Faultable {
 public:
  // What GetWindowsDirectoryA writes; with failWindowsDirectory it writes
  // nothing and returns 0.
  std::string windowsDirectory = "C:\\WINDOWS";
  bool failWindowsDirectory = false;
  // Volume serial numbers by root path; a root not listed fails.
  std::map<std::string, std::uint32_t> volumeSerials = {{"C:\\", 0x43000000u}};
  std::uint32_t platformId = 2;  // VER_PLATFORM_WIN32_NT
  bool failGetVersion = false;

  std::vector<std::string> volumeQueries;  // root paths asked for
  int getVersionCalls = 0;
  std::uint32_t lastVersionInfoSize = 0;  // dwOSVersionInfoSize as passed

  std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override;
  int GetVolumeInformationA(const char* rootPathName, char* volumeNameBuffer,
                            std::uint32_t volumeNameSize, std::uint32_t* volumeSerialNumber,
                            std::uint32_t* maximumComponentLength, std::uint32_t* fileSystemFlags,
                            char* fileSystemNameBuffer, std::uint32_t fileSystemNameSize) override;
  int GetVersionExA(OsVersionInfoA* versionInformation) override;
};

class SimConsole final : public ConsoleInterface {
 public:
  std::string output;
  int input = -1;  // what getchar returns; EOF by default
  std::size_t flushedLength = 0;
  int getCharCalls = 0;
  std::size_t outputAtGetChar = 0;
  bool flushedBeforeGetChar = false;

  void VPrintf(const char* format, std::va_list args) override;
  void Flush() override { flushedLength = output.size(); }
  int GetChar() override;
};

// A single-byte ANSI code page whose characters are U+0000 to U+00FF
// (Latin-1), with optional lead bytes to stand for a double-byte code page.
// Conversions behave as Windows': -1 lengths take the terminator along, a
// size of 0 asks for the size needed, and a buffer too small is filled up to
// its size and the call fails with ERROR_INSUFFICIENT_BUFFER.
class SimText final : public TextInterface, public Faultable {
 public:
  std::set<unsigned char> leadBytes;
  std::uint32_t lastError = 0;
  int failConversionsAfter = -1;  // conversions that succeed before all fail; -1: none fail
  int conversions = 0;

  int WideCharToMultiByte(const char16_t* wide, int wideLength, char* narrow,
                          int narrowSize) override;
  int MultiByteToWideChar(const char* narrow, int narrowLength, char16_t* wide,
                          int wideSize) override;
  bool IsDBCSLeadByte(unsigned char byte) override { return leadBytes.count(byte) != 0; }
  int StrTrimA(char* text, const char* trimChars) override;
  std::uint32_t GetLastError() override { return lastError; }

 private:
  bool ConversionFails();
};

}  // namespace hdsn::sim
