#include "disks/whole_file.h"

#include "platform/output_file.h"

namespace hdsn {
namespace {

// Names tried for the new file before giving up: each one taken is a file a
// run of the same process id left behind, or another writer's.
constexpr int kNamesTried = 16;

std::string Failure(const char* step, const std::string& path, int code) {
  return std::string(step) + " " + path + ": " + std::to_string(code);
}

// The bytes into the open file, then the file made durable; the step that
// failed, or empty.
std::string WriteAll(OutputFileInterface& files, OutputHandle handle, const std::string& path,
                     const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    std::size_t written = 0;
    const int code = files.Write(handle, bytes.data() + done, bytes.size() - done, written);
    if (code != 0) return Failure("write", path, code);
    // A write that takes nothing and says nothing would go on for ever: the
    // disk is full for all it tells.
    if (written == 0 || written > bytes.size() - done) return Failure("write", path, 0);
    done += written;
  }
  const int code = files.Sync(handle);
  return code == 0 ? std::string() : Failure("sync", path, code);
}

}  // namespace

bool WriteWholeFile(OutputFileInterface& files, const std::string& path, const std::string& bytes,
                    std::string& error) {
  const std::string stem = path + "." + std::to_string(files.ProcessId());
  std::string temporary;
  OutputHandle handle = 0;
  int code = kOutputFileExists;
  for (int attempt = 0; attempt < kNamesTried && code == kOutputFileExists; ++attempt) {
    // Appended, not joined with a literal in front: GCC 12's release build
    // misreads "-" + std::string (-Wrestrict).
    temporary = stem;
    if (attempt != 0) {
      temporary += '-';
      temporary += std::to_string(attempt);
    }
    temporary += ".tmp";
    code = files.CreateNew(temporary.c_str(), handle);
  }
  if (code != 0) {
    error = code == kOutputFileExists ? "create " + temporary + ": exists"
                                      : Failure("create", temporary, code);
    return false;
  }

  error = WriteAll(files, handle, temporary, bytes);
  // A file system may report a write's failure only when the file closes.
  code = files.Close(handle);
  if (error.empty() && code != 0) error = Failure("close", temporary, code);
  if (error.empty()) {
    code = files.Replace(temporary.c_str(), path.c_str());
    if (code == 0) return true;
    error = Failure("rename", temporary, code);
  }
  code = files.Remove(temporary.c_str());
  if (code != 0) error += "; " + Failure("remove", temporary, code);
  return false;
}

}  // namespace hdsn
