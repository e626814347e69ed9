// What the unit tests share on top of the simulated machine (sim/):
// - NothingLeftBehind(machine) and NoProblems(list): the checks of sim/ (what
//   a run leaves behind, the shape of a report) as gtest assertions that name
//   every problem found;
// - HdsnReport (sim/hdsn_report.h), the expected report, line by line;
// - RowName: names each test of a parameterised table after its row's
//   `const char* name`;
// - GuardedBuffer: a buffer with canaries past its end;
// - Calls: the WMI calls a run logged, picked by how they start;
// - RecordJson: keeps each JSON document a test read for the schema check.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/hdsn_report.h"
#include "sim/sim_machine.h"

namespace hdsn::sim {

inline testing::AssertionResult NoProblems(const std::vector<std::string>& problems) {
  if (problems.empty()) return testing::AssertionSuccess();
  testing::AssertionResult failure = testing::AssertionFailure();
  for (const std::string& problem : problems) failure << "\n  " << problem;
  return failure;
}

inline testing::AssertionResult NothingLeftBehind(const SimMachine& machine) {
  return NoProblems(Leftovers(machine));
}

struct RowName {
  template <typename Row>
  std::string operator()(const testing::TestParamInfo<Row>& info) const {
    return info.param.name;
  }
};

// `size` bytes, all `fill`, followed by canary bytes that the code under test
// must neither write nor take for part of the buffer.
class GuardedBuffer {
 public:
  static constexpr char kCanary = '\xA5';
  static constexpr std::size_t kCanaryBytes = 16;

  explicit GuardedBuffer(std::size_t size, char fill = '\0')
      : size_(size), bytes_(size + kCanaryBytes, kCanary) {
    std::fill_n(bytes_.begin(), size, fill);
  }

  char* data() { return bytes_.data(); }
  char& operator[](std::size_t at) { return bytes_.at(at); }
  const std::vector<char>& bytes() const { return bytes_; }
  // The text at the start, which must end inside the buffer.
  std::string Text() const {
    const auto end =
        std::find(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(size_), '\0');
    return std::string(bytes_.begin(), end);
  }

  testing::AssertionResult CanariesIntact() const {
    for (std::size_t at = size_; at < bytes_.size(); ++at) {
      if (bytes_[at] != kCanary) return testing::AssertionFailure() << "byte " << at << " written";
    }
    return testing::AssertionSuccess();
  }

 private:
  std::size_t size_;
  std::vector<char> bytes_;
};

// The calls logged that start (or, with keep false, do not start) so.
inline std::vector<std::string> Calls(const SimWmi& wmi, const std::string& start,
                                      bool keep = true) {
  std::vector<std::string> found;
  for (const std::string& call : wmi.calls)
    if (call.starts_with(start) == keep) found.push_back(call);
  return found;
}

// Writes a JSON document the test read into the folder HDSN_JSON_OUT names
// (CTest sets it; without it nothing is written), one file per document,
// named after the test, for the test that validates them all against the
// published schema: the inventory's in the folder itself, a fingerprint
// document (kind "fingerprint") in its subfolder of that name.
inline void RecordJson(const std::string& document, const std::string& kind = "") {
  const char* out = std::getenv("HDSN_JSON_OUT");
  if (out == nullptr || *out == '\0') return;
  const std::string folder = kind.empty() ? std::string(out) : std::string(out) + "/" + kind;
  static int written = 0;  // per process: gtest runs one test at a time
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "none";
  for (char& c : name)
    if (c == '/' || c == '\\' || c == ':') c = '_';
  const std::string path = folder + "/" + name + "." + std::to_string(++written) + ".json";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << "cannot write " << path;
  const bool whole = std::fwrite(document.data(), 1, document.size(), file) == document.size();
  EXPECT_EQ(std::fclose(file), 0);
  EXPECT_TRUE(whole) << "cannot write " << path;
}

}  // namespace hdsn::sim
