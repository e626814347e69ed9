#include "sim/sim_system.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "protocol/byte_order.h"

namespace hdsn::sim {

std::uint32_t SimSystem::GetWindowsDirectoryA(char* buffer, std::uint32_t size) {
  if (faults_.Check("GetWindowsDirectoryA", 0)) return 0;
  if (windowsDirectory.size() + 1 > size)
    return static_cast<std::uint32_t>(windowsDirectory.size() + 1);
  std::memcpy(buffer, windowsDirectory.c_str(), windowsDirectory.size() + 1);
  return static_cast<std::uint32_t>(windowsDirectory.size());
}

int SimSystem::GetVolumeInformationA(const char* rootPathName, char* volumeNameBuffer,
                                     std::uint32_t volumeNameSize,
                                     std::uint32_t* volumeSerialNumber,
                                     std::uint32_t* maximumComponentLength,
                                     std::uint32_t* fileSystemFlags, char* fileSystemNameBuffer,
                                     std::uint32_t fileSystemNameSize) {
  volumeQueries.emplace_back(rootPathName);
  auto volume = volumeSerials.find(rootPathName);
  if (const auto error = faults_.Check("GetVolumeInformationA", kErrorInvalidParameter)) {
    lastError = static_cast<std::uint32_t>(*error);
    return 0;
  }
  if (volume == volumeSerials.end()) {
    lastError = kErrorFileNotFound;
    return 0;
  }
  // A text that does not fit fails the call and nothing is written.
  const auto fits = [](const char* buffer, std::uint32_t size, const std::string& text) {
    return buffer == nullptr || text.size() < size;
  };
  if (!fits(volumeNameBuffer, volumeNameSize, volumeLabel) ||
      !fits(fileSystemNameBuffer, fileSystemNameSize, fileSystemName)) {
    lastError = kErrorBadLength;
    return 0;
  }
  if (volumeNameBuffer) std::memcpy(volumeNameBuffer, volumeLabel.c_str(), volumeLabel.size() + 1);
  if (fileSystemNameBuffer)
    std::memcpy(fileSystemNameBuffer, fileSystemName.c_str(), fileSystemName.size() + 1);
  if (volumeSerialNumber) *volumeSerialNumber = volume->second;
  if (maximumComponentLength) *maximumComponentLength = 255;
  if (fileSystemFlags) *fileSystemFlags = 0;
  return 1;
}

int SimSystem::GetVersionExA(OsVersionInfoA* versionInformation) {
  ++getVersionCalls;
  lastVersionInfoSize = LoadLe32(versionInformation->bytes);
  if (faults_.Check("GetVersionExA", 0) || lastVersionInfoSize != OsVersionInfoA::kSize) return 0;
  // Major version 5 on the NT family, 4 before it.
  StoreLe32(versionInformation->bytes + 4, platformId == kVerPlatformWin32Nt ? 5 : 4);
  StoreLe32(versionInformation->bytes + OsVersionInfoA::kPlatformIdOffset, platformId);
  return 1;
}

namespace {

void AppendFormatted(std::string& to, const char* format, std::va_list args) {
  std::va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return;
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<std::size_t>(length));
  to += text;
}

}  // namespace

void SimConsole::VPrintf(const char* format, std::va_list args) {
  AppendFormatted(output, format, args);
}

void SimConsole::VPrintfError(const char* format, std::va_list args) {
  AppendFormatted(errorOutput, format, args);
}

int SimConsole::GetChar() {
  ++getCharCalls;
  outputAtGetChar = output.size();
  flushedBeforeGetChar = flushedLength == output.size();
  return input;
}

bool SimText::Fails(const char* call) {
  const std::optional<FaultPlan::Status> error = faults_.Check(call, kErrorInvalidParameter);
  if (error) lastError = static_cast<std::uint32_t>(*error);
  return error.has_value();
}

int SimText::WideCharToMultiByte(const char16_t* wide, int wideLength, char* narrow,
                                 int narrowSize) {
  if (Fails("WideCharToMultiByte")) return 0;
  std::size_t length = 0;
  if (wideLength < 0) {
    while (wide[length] != 0) ++length;
    ++length;  // the terminator is converted too
  } else {
    length = static_cast<std::size_t>(wideLength);
  }
  if (narrowSize == 0) return static_cast<int>(length);
  for (std::size_t i = 0; i < length; ++i) {
    if (i >= static_cast<std::size_t>(narrowSize)) {
      lastError = kErrorInsufficientBuffer;
      return 0;
    }
    narrow[i] = wide[i] <= 0xFF ? static_cast<char>(wide[i]) : '?';
  }
  return static_cast<int>(length);
}

int SimText::MultiByteToWideChar(const char* narrow, int narrowLength, char16_t* wide,
                                 int wideSize) {
  if (Fails("MultiByteToWideChar")) return 0;
  std::size_t length =
      narrowLength < 0 ? std::strlen(narrow) + 1 : static_cast<std::size_t>(narrowLength);
  if (wideSize == 0) return static_cast<int>(length);
  for (std::size_t i = 0; i < length; ++i) {
    if (i >= static_cast<std::size_t>(wideSize)) {
      lastError = kErrorInsufficientBuffer;
      return 0;
    }
    wide[i] = static_cast<unsigned char>(narrow[i]);
  }
  return static_cast<int>(length);
}

int SimText::StrTrimA(char* text, const char* trimChars) {
  const std::size_t length = std::strlen(text);
  std::size_t start = 0;
  while (start < length && std::strchr(trimChars, text[start]) != nullptr) ++start;
  std::size_t end = length;
  while (end > start && std::strchr(trimChars, text[end - 1]) != nullptr) --end;
  std::memmove(text, text + start, end - start);
  text[end - start] = '\0';
  return start != 0 || end != length;
}

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

constexpr int kUsualOutputFailure = 5;

}  // namespace

bool SimOutputFile::IsOpen(const std::string& path) const {
  for (const auto& [handle, open] : open_)
    if (open == path) return true;
  return false;
}

int SimOutputFile::Check(const char* operation, OutputHandle handle) {
  if (const auto status = faults_.Check(operation, kUsualOutputFailure))
    return static_cast<int>(*status);
  if (open_.count(handle) != 0) return 0;
  ++badHandleUses;
  return kBadHandle;
}

int SimOutputFile::CreateNew(const char* path, OutputHandle& handle) {
  calls.push_back(std::string("create ") + path);
  handle = -1;
  if (const auto status = faults_.Check("output-create", kUsualOutputFailure))
    return static_cast<int>(*status);
  const std::string folder = FolderOf(path);
  if (folders.count(folder) == 0) return kNoFolder;
  if (readOnlyFolders.count(folder) != 0) return kReadOnly;
  if (files.count(path) != 0) return kOutputFileExists;
  files[path];
  handle = next_++;
  open_[handle] = path;
  return 0;
}

int SimOutputFile::Write(OutputHandle handle, const char* bytes, std::size_t size,
                         std::size_t& written) {
  written = 0;
  calls.push_back("write " + (open_.count(handle) ? open_[handle] : "?") + " " +
                  std::to_string(size));
  if (const int error = Check("output-write", handle)) return error;
  written = std::min(size, writeLimit);
  files[open_[handle]].append(bytes, written);
  return 0;
}

int SimOutputFile::Sync(OutputHandle handle) {
  calls.push_back("sync " + (open_.count(handle) ? open_[handle] : "?"));
  return Check("output-sync", handle);
}

int SimOutputFile::Close(OutputHandle handle) {
  calls.push_back("close " + (open_.count(handle) ? open_[handle] : "?"));
  if (open_.count(handle) == 0) {
    ++badHandleUses;
    return kBadHandle;
  }
  // The handle is gone whatever the close says.
  open_.erase(handle);
  if (const auto status = faults_.Check("output-close", kUsualOutputFailure))
    return static_cast<int>(*status);
  return 0;
}

int SimOutputFile::Replace(const char* from, const char* to) {
  calls.push_back(std::string("replace ") + from + " " + to);
  if (const auto status = faults_.Check("output-replace", kUsualOutputFailure))
    return static_cast<int>(*status);
  if (files.count(from) == 0 || folders.count(FolderOf(to)) == 0) return kNoFolder;
  if (IsOpen(from) || IsOpen(to)) return kSharing;
  files[to] = files[from];
  files.erase(from);
  return 0;
}

void AddOutputFileLeftovers(const SimOutputFile& files, std::vector<std::string>& problems) {
  if (files.OpenCount() != 0)
    problems.push_back(std::to_string(files.OpenCount()) + " output files left open");
  if (files.badHandleUses != 0)
    problems.push_back(std::to_string(files.badHandleUses) +
                       " uses of output handles that were not open");
}

int SimOutputFile::Remove(const char* path) {
  calls.push_back(std::string("remove ") + path);
  if (const auto status = faults_.Check("output-remove", kUsualOutputFailure))
    return static_cast<int>(*status);
  if (files.count(path) == 0) return kNoFolder;
  if (IsOpen(path)) return kSharing;
  files.erase(path);
  return 0;
}

std::string SimHmac::HmacSha256(std::span<const std::uint8_t> key,
                                std::span<const std::uint8_t> message, Sha256Digest& digest) {
  keys.emplace_back(key.begin(), key.end());
  messages.emplace_back(message.begin(), message.end());
  if (const auto error = faults_.Check("HmacSha256", 126))
    return "bcrypt.dll: " + std::to_string(*error);
  return HostHmac().HmacSha256(key, message, digest);
}

}  // namespace hdsn::sim
