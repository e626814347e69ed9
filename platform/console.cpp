#include "platform/console.h"

#include <cstdio>

namespace hdsn {
namespace {

class RuntimeConsole final : public ConsoleInterface {
 public:
  void VPrintf(const char* format, std::va_list args) override { std::vprintf(format, args); }
  void VPrintfError(const char* format, std::va_list args) override {
    std::vfprintf(stderr, format, args);
  }
  void Flush() override { std::fflush(stdout); }
  int GetChar() override { return std::getchar(); }
};

}  // namespace

void ConsoleInterface::Printf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  VPrintf(format, args);
  va_end(args);
}

void ConsoleInterface::ErrorPrintf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  VPrintfError(format, args);
  va_end(args);
}

ConsoleInterface& GetRuntimeConsole() {
  static RuntimeConsole console;
  return console;
}

}  // namespace hdsn
