#include "sim/hdsn_report.h"

#include <regex>

namespace hdsn::sim {
namespace {

constexpr char kProgressLine[] = "hdd serial retrieves with method ";
constexpr char kBanner[] =
    "\nhdsn, master hard disk and system volume serial numbers, \xA9"
    "2026 the hdsn authors\n";
constexpr char kDashLine[] = "------------------------------------\n";
constexpr char kSerialLine[] = "Your master hard disk serial number is ";
constexpr char kVolumeLine[] = "Your volume number for system drive ";

std::string Escaped(const std::string& text) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(text, special, R"(\$&)");
}

}  // namespace

std::string ProgressLine(int method) {
  return std::string(kProgressLine) + std::to_string(method) + "\n";
}

std::string HdsnReport::Text() const {
  std::string text;
  for (const int method : methods) text += ProgressLine(method);
  return text + kProgressLine + "0: " + wmiSerial + "\n" + kBanner + kDashLine + kSerialLine +
         serial + "\n" + kVolumeLine + root + " is " + volume + "\n" + kPrompt;
}

bool IsWholeHdsnReport(const std::string& output) {
  // Texts from drivers and WMI may hold line ends of their own.
  static const std::regex report = [] {
    const std::string progress = Escaped(kProgressLine);
    return std::regex("(" + progress + "[1-5]\n)*" + progress + "0: [^]*\n" + Escaped(kBanner) +
                      Escaped(kDashLine) + Escaped(kSerialLine) + "[^]{3,}\n" +
                      Escaped(kVolumeLine) + "[^]* is [0-9a-f]+\n" + Escaped(kPrompt));
  }();
  return std::regex_match(output, report);
}

std::vector<std::string> ReportProblems(const SimConsole& console) {
  std::vector<std::string> problems;
  if (!IsWholeHdsnReport(console.output))
    problems.push_back("not a whole report:\n" + console.output);
  if (console.getCharCalls != 1)
    problems.push_back(std::to_string(console.getCharCalls) + " keys read, not 1");
  else if (!console.flushedBeforeGetChar)
    problems.push_back("key read before the prompt was flushed");
  return problems;
}

}  // namespace hdsn::sim
