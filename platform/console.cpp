#include "app/system_interface.h"

namespace hdsn {

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

}  // namespace hdsn
