// One count of the platform calls that can fail, shared by every part of the
// simulated machine, so that a test can make exactly the k-th call of a run
// fail, whichever service it goes to.
#pragma once

#include <string>

namespace hdsn::sim {

struct FaultPlan {
  long failAt = 0;  // from 1; 0: nothing fails
  long calls = 0;
  std::string failedCall;

  // Counts one call; true when it is the one to fail.
  bool Fails(const char* call) {
    if (++calls != failAt) return false;
    failedCall = call;
    return true;
  }
};

// A part of the machine that takes part in the count.
struct Faultable {
  FaultPlan* faults = nullptr;
  bool Fails(const char* call) { return faults != nullptr && faults->Fails(call); }
};

}  // namespace hdsn::sim
