// kernel32's files, passed through unchanged.
#include <windows.h>

#include <algorithm>

#include "platform/output_file.h"
#include "platform/platform.h"

namespace hdsn {
namespace {

static_assert(sizeof(HANDLE) == sizeof(OutputHandle));

HANDLE ToHandle(OutputHandle handle) { return reinterpret_cast<HANDLE>(handle); }

class Win32OutputFile final : public OutputFileInterface {
 public:
  int CreateNew(const char* path, OutputHandle& handle) override {
    // No sharing: nobody reads the file before it has its final name.
    const HANDLE file = ::CreateFileA(path, GENERIC_WRITE, /*share=*/0, /*security=*/nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr);
    handle = reinterpret_cast<OutputHandle>(file);
    if (file != INVALID_HANDLE_VALUE) return 0;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? kOutputFileExists
                                                                       : static_cast<int>(error);
  }

  int Write(OutputHandle handle, const char* bytes, std::size_t size,
            std::size_t& written) override {
    // WriteFile counts in a DWORD.
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD put = 0;
    const BOOL ok = ::WriteFile(ToHandle(handle), bytes, chunk, &put, /*overlapped=*/nullptr);
    written = ok ? put : 0;
    return ok ? 0 : static_cast<int>(::GetLastError());
  }

  int Sync(OutputHandle handle) override {
    return ::FlushFileBuffers(ToHandle(handle)) ? 0 : static_cast<int>(::GetLastError());
  }

  int Close(OutputHandle handle) override {
    return ::CloseHandle(ToHandle(handle)) ? 0 : static_cast<int>(::GetLastError());
  }

  int Replace(const char* from, const char* to) override {
    return ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : static_cast<int>(::GetLastError());
  }

  int Remove(const char* path) override {
    return ::DeleteFileA(path) ? 0 : static_cast<int>(::GetLastError());
  }

  std::uint32_t ProcessId() override { return ::GetCurrentProcessId(); }
};

}  // namespace

OutputFileInterface& GetWin32OutputFile() {
  static Win32OutputFile files;
  return files;
}

}  // namespace hdsn
