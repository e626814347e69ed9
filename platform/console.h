// Standard output, standard error and standard input, as every program of
// the project and its tests use them. Neutral: nothing of any system is
// needed to include this.
#pragma once

#include <cstdarg>

#if defined(__GNUC__) || defined(__clang__)
#define HDSN_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define HDSN_PRINTF_FORMAT(fmt, args)
#endif

namespace hdsn {

class ConsoleInterface {
 public:
  virtual ~ConsoleInterface() = default;
  virtual void VPrintf(const char* format, std::va_list args) = 0;
  virtual void VPrintfError(const char* format, std::va_list args) = 0;
  virtual void Flush() = 0;
  virtual int GetChar() = 0;

  void Printf(const char* format, ...) HDSN_PRINTF_FORMAT(2, 3);
  void ErrorPrintf(const char* format, ...) HDSN_PRINTF_FORMAT(2, 3);
};

// The C runtime's console, the same on every system; created on first use.
ConsoleInterface& GetRuntimeConsole();

}  // namespace hdsn
