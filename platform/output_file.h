// Writing one file whole, as hdsn-disks --output does on every system: a
// new file is made beside the final one, written, made durable, closed and
// renamed over the final one in one step, so that a reader finds the old
// file or the new one, never part of one. Neutral: nothing of any system is
// needed to include this. Only hdsn-disks writes files (hdsn.exe writes
// none), so this is not in either system's bundle: each program's main hands
// it over beside the bundle.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hdsn {

// A file descriptor on Linux, a HANDLE on Windows.
using OutputHandle = std::intptr_t;

// What CreateNew returns when the path exists already: no system's error
// code is negative.
inline constexpr int kOutputFileExists = -1;

class OutputFileInterface {
 public:
  virtual ~OutputFileInterface() = default;
  // Each call returns 0, or the system's code of its failure (errno on
  // Linux, GetLastError on Windows).
  // Makes a file that must not exist yet, for writing, and never follows a
  // link at the path (Linux: O_CREAT | O_EXCL | O_NOFOLLOW; Windows:
  // CREATE_NEW). Bytes go in as they are: no text mode.
  virtual int CreateNew(const char* path, OutputHandle& handle) = 0;
  // At most `size` bytes; `written` is how many went.
  virtual int Write(OutputHandle handle, const char* bytes, std::size_t size,
                    std::size_t& written) = 0;
  // What was written reaches the disk (fsync, FlushFileBuffers).
  virtual int Sync(OutputHandle handle) = 0;
  virtual int Close(OutputHandle handle) = 0;
  // Renames `from` to `to`, replacing a file at `to` in one step (rename;
  // MoveFileExA with MOVEFILE_REPLACE_EXISTING).
  virtual int Replace(const char* from, const char* to) = 0;
  virtual int Remove(const char* path) = 0;
  // Names the new file apart from another process's.
  virtual std::uint32_t ProcessId() = 0;
};

}  // namespace hdsn
