#include "app/hard_drive_info.h"

#include <cstring>
#include <memory>
#include <span>

#include "platform/console.h"
#include "platform/platform.h"
#include "platform/text_interface.h"
#include "wmi/wmi_serial.h"

namespace hdsn {
namespace {

// The process-wide instance slot. A plain pointer: nothing runs before main.
HardDriveInfo* instanceSlot = nullptr;

// Method 0 writes its answer into a buffer of this size.
constexpr std::int32_t kWmiSerialSize = 2048;

bool IsSerialWhiteSpace(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

bool EqualsIgnoringAsciiCase(const std::string& text, const char* other) {
  const std::size_t length = std::strlen(other);
  if (text.size() != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; };
    if (fold(static_cast<unsigned char>(text[i])) != fold(static_cast<unsigned char>(other[i])))
      return false;
  }
  return true;
}

}  // namespace

HardDriveInfo::HardDriveInfo(const Platform& platform)
    : masterSerial(kUnknownSerial), platform_(platform) {}

HardDriveInfo& GetHardDriveInfo(const Platform& platform) {
  if (instanceSlot != nullptr) return *instanceSlot;
  // Should the work below end in an exception, the half-built instance is
  // released and the slot stays empty.
  auto info = std::make_unique<HardDriveInfo>(platform);
  info->SelectMasterSerial();
  instanceSlot = info.release();
  return *instanceSlot;
}

void DestroyHardDriveInfo() {
  delete instanceSlot;
  instanceSlot = nullptr;
}

const char* GetMasterSerial(const HardDriveInfo& info) { return info.masterSerial.c_str(); }

void HardDriveInfo::SelectMasterSerial() {
  masterSerial.clear();
  CollectIdentifyBlocks();
  masterSerial = GetBlockSerialText(0);
  TrimSerial();
  if (!IsUsableSerial()) masterSerial = kUnknownSerial;

  char wmiSerial[kWmiSerialSize] = {};
  QueryWmiSerial(platform_.wmi, platform_.text, wmiSerial, kWmiSerialSize);
  wmiSerial[kWmiSerialSize - 1] = '\0';
  platform_.console.Printf("hdd serial retrieves with method 0: %s\n", wmiSerial);

  // A device text that reads "unknown" in any letter case counts as nothing
  // found; the WMI text is then taken exactly as it came.
  if (EqualsIgnoringAsciiCase(masterSerial, kUnknownSerial)) masterSerial = wmiSerial;
  if (!IsUsableSerial()) masterSerial = kUnknownSerial;
}

std::string HardDriveInfo::GetBlockSerialText(std::size_t index) const {
  std::string text;
  if (index < identifyBlocks.size())
    text = IdentifyWordsToText(identifyBlocks[index].data(), kSerialFirstWord, kSerialLastWord);
  if (text.empty()) text = kUnknownSerial;
  return text;
}

const char* IdentifyWordsToText(const std::uint8_t* bytes, int first, int last) {
  static char buffer[1024];
  std::memset(buffer, 0, sizeof buffer);
  // Words outside the 256 of a block are never read.
  const std::string field =
      IdentifyFieldBytes(std::span<const std::uint8_t>(bytes, kIdentifyBlockSize), first, last);
  std::memcpy(buffer, field.data(), field.size());
  std::size_t position = field.size();
  // Drives pad the field with blanks. The first byte is kept even when it is
  // a blank, so an all-blank field reads as one blank.
  while (position > 1 && buffer[position - 1] == ' ') buffer[--position] = '\0';
  return buffer;
}

void HardDriveInfo::TrimSerial() {
  // Walk character by character in the ANSI code page, so that the second
  // byte of a double-byte character is never taken for white space.
  const std::size_t length = masterSerial.size();
  std::size_t start = 0;
  while (start < length && IsSerialWhiteSpace(static_cast<unsigned char>(masterSerial[start])))
    ++start;
  std::size_t end = start;
  for (std::size_t at = start; at < length;) {
    const unsigned char c = static_cast<unsigned char>(masterSerial[at]);
    std::size_t width = 1;
    if (platform_.text.IsDBCSLeadByte(c) && at + 1 < length && masterSerial[at + 1] != '\0')
      width = 2;
    at += width;
    if (width == 2 || !IsSerialWhiteSpace(c)) end = at;
  }
  masterSerial = masterSerial.substr(start, end - start);
}

bool HardDriveInfo::IsUsableSerial() const {
  return masterSerial != kUnknownSerial && masterSerial.size() >= 3;
}

bool HardDriveInfo::AddIdentifyBlock(const std::uint8_t* block) {
  for (const IdentifyBlock& held : identifyBlocks) {
    if (std::memcmp(held.data(), block, kIdentifyBlockSize) == 0) return false;
  }
  IdentifyBlock& copy = identifyBlocks.emplace_back();
  std::memcpy(copy.data(), block, kIdentifyBlockSize);
  return true;
}

}  // namespace hdsn
