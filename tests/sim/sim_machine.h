// A whole simulated Windows machine: system, console, code page, disk
// drivers, WMI and HMAC, bundled as the program's platform, and the output
// file of hdsn-disks, with one fault plan for all of them.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/fault_plan.h"
#include "sim/sim_devices.h"
#include "sim/sim_system.h"
#include "sim/sim_wmi.h"

namespace hdsn::sim {

struct SimMachine {
  FaultPlan faults;
  SimSystem system{faults};
  SimConsole console;
  SimText text{faults};
  SimDevices devices{faults};
  SimWmi wmi{faults};
  SimHmac hmac{faults};
  const Platform platform{system, console, text, devices, wmi, hmac};
  SimOutputFile files{faults};

  SimMachine() = default;
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  // Runs the whole of hdsn; returns its exit status. The report is in
  // console.output.
  int Run();
  // Runs hdsn-disks with the arguments; returns its exit status.
  int RunDisks(const std::vector<const char*>& arguments = {});
};

// What the program left behind on the machine that it should have given
// back, one line each: device handles still open, requests on handles that
// were not open, a raise to the realtime class not followed by the normal
// class (or a class other than normal at the end, unless the fault plan
// refused a SetPriorityClass), COM initialised more often than uninitialised,
// WMI objects not released, COM strings not freed, and misuse the simulated
// WMI noticed, output files left open or used when not open. Empty when
// everything was given back.
std::vector<std::string> Leftovers(const SimMachine& machine);

}  // namespace hdsn::sim
