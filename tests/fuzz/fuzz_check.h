// Invariant checks of the fuzz targets: a broken one aborts, which libFuzzer
// reports as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

// Aborts when the list of problems (from the checks of sim/) is not empty,
// naming each.
inline void FuzzCheckNoProblems(const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
  std::abort();
}
