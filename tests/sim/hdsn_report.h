// The report hdsn prints, line by line, for tests to compare a run's output
// with: the progress lines of the device methods, method 0's line, the
// banner, the dash line, the serial line, the volume line and the prompt.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_system.h"

namespace hdsn::sim {

inline constexpr char kPrompt[] = "\n\nPress any key to exit...";

struct HdsnReport {
  std::vector<int> methods;  // device methods (1 to 5) that found a drive, in order
  std::string wmiSerial;     // the text after method 0's line
  std::string serial = "unknown";
  std::string root = "C:\\";
  std::string volume = "43000000";  // kSystemVolumeSerial as printed

  std::string Text() const;
};

std::string ProgressLine(int method);

// Whether the output is a whole report of any run: every line there and in
// order, whatever the texts in them.
bool IsWholeHdsnReport(const std::string& output);

// The console's problems at the end of a run, one line each: output that is
// not a whole report, a key not read exactly once, or read before the prompt
// was flushed.
std::vector<std::string> ReportProblems(const SimConsole& console);

}  // namespace hdsn::sim
