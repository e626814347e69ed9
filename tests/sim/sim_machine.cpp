#include "sim/sim_machine.h"

#include "app/program.h"
#include "disks/windows/program.h"
#include "sim/call_log.h"

namespace hdsn::sim {

int SimMachine::Run() { return RunProgram(platform); }

int SimMachine::RunDisks(const std::vector<const char*>& arguments) {
  std::vector<const char*> argv = {"hdsn-disks"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunDisksProgram(platform, files, static_cast<int>(argv.size()), argv.data());
}

std::vector<std::string> Leftovers(const SimMachine& machine) {
  std::vector<std::string> problems;
  auto count = [&problems](long found, const char* what) {
    if (found != 0) problems.push_back(std::to_string(found) + " " + what);
  };
  const SimDevices& devices = machine.devices;
  count(static_cast<long>(devices.OpenHandleCount()), "device handles left open");
  count(devices.badHandleUses, "uses of handles that were not open");

  // The class goes to realtime and back to normal in pairs.
  const std::vector<std::uint32_t>& classes = devices.priorityClassCalls;
  for (std::size_t at = 0; at < classes.size(); ++at) {
    const std::uint32_t expected = at % 2 == 0 ? kRealtimePriorityClass : kNormalPriorityClass;
    if (classes[at] != expected) {
      problems.push_back("priority class request " + std::to_string(at + 1) + " is " +
                         Hex(classes[at]) + ", not " + Hex(expected));
      break;
    }
  }
  if (classes.size() % 2 != 0) problems.push_back("realtime class never followed by normal");
  // Windows refusing the last request for the normal class is the one way
  // to stay in another class; the program has nothing better to do then.
  if (devices.priorityClass != kNormalPriorityClass && !machine.faults.Failed("SetPriorityClass"))
    problems.push_back("priority class left at " + Hex(devices.priorityClass));

  const SimWmi& wmi = machine.wmi;
  count(wmi.comInitializations, "COM initialisations not balanced");
  count(wmi.LiveObjects(), "WMI objects not released");
  count(wmi.LiveStrings(), "COM strings not freed");
  for (const std::string& error : wmi.errors) problems.push_back("WMI misuse: " + error);
  AddOutputFileLeftovers(machine.files, problems);
  return problems;
}

}  // namespace hdsn::sim
