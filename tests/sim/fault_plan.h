// The failures a test asks of the simulated machine, and one count of the
// platform calls that can fail, shared by every part of the machine. A rule
// names the k-th call of all (whichever service it goes to), the n-th call of
// one operation, or every call of an operation. The call then fails as that
// operation fails on Windows, or answers with the status the rule gives.
// Operations are named as the Windows calls that can fail: GetWindowsDirectoryA,
// GetVolumeInformationA, GetVersionExA, WideCharToMultiByte, MultiByteToWideChar,
// CreateFileA, DeviceIoControl, SetPriorityClass, and the COM and WMI calls by
// their method names (CoInitializeEx ... ExecQuery, Next, Get, SysAllocStringLen).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hdsn::sim {

// System error codes of the failures the machine simulates. The program only
// passes them on, so it names none of them.
inline constexpr std::uint32_t kErrorInvalidFunction = 1;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorMoreData = 234;

class FaultPlan {
 public:
  // A status is the error GetLastError then gives for a kernel32 call, the
  // HRESULT for a COM call (which may be a success, such as S_FALSE).
  using Status = std::int64_t;

  // The k-th call of all, counting from 1, fails.
  void FailCall(long k) { rules_.push_back({"", k, std::nullopt}); }
  // The n-th call (from 1) of the operation fails, or answers with the status.
  void FailNth(const std::string& operation, long n, std::optional<Status> status = std::nullopt) {
    rules_.push_back({operation, n, status});
  }
  // Every call of the operation fails, or answers with the status.
  void FailEvery(const std::string& operation, std::optional<Status> status = std::nullopt) {
    rules_.push_back({operation, 0, status});
  }

  // Counts one call of the operation; what it is to answer when a rule names
  // it: the rule's status, or `usual`, the operation's own failure.
  std::optional<Status> Check(const std::string& operation, Status usual) {
    ++calls_;
    const long occurrence = ++callsOf_[operation];
    for (const Rule& rule : rules_) {
      const bool named = rule.operation.empty()
                             ? rule.occurrence == calls_
                             : rule.operation == operation &&
                                   (rule.occurrence == 0 || rule.occurrence == occurrence);
      if (!named) continue;
      failed_.push_back(operation);
      return rule.status.value_or(usual);
    }
    return std::nullopt;
  }

  // Calls counted so far.
  long calls() const { return calls_; }
  // The operations a rule applied to, in order.
  const std::vector<std::string>& failed() const { return failed_; }
  bool Failed(const std::string& operation) const {
    for (const std::string& call : failed_)
      if (call == operation) return true;
    return false;
  }

 private:
  struct Rule {
    std::string operation;  // empty: the k-th call of all
    long occurrence;        // from 1; 0: every call of the operation
    std::optional<Status> status;
  };
  std::vector<Rule> rules_;
  std::map<std::string, long> callsOf_;
  std::vector<std::string> failed_;
  long calls_ = 0;
};

}  // namespace hdsn::sim
