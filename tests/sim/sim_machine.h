// A whole simulated Windows machine: system, console, code page, disk
// drivers and WMI, bundled as the program's platform.
#pragma once

#include <string>

#include "platform/platform.h"
#include "sim/sim_devices.h"
#include "sim/sim_system.h"
#include "sim/sim_wmi.h"

namespace hdsn::sim {

struct SimMachine {
  SimSystem system;
  SimConsole console;
  SimText text;
  SimDevices devices;
  SimWmi wmi;
  const Platform platform{system, console, text, devices, wmi};

  // The count of failing calls, shared by every part of the machine.
  FaultPlan faults;

  SimMachine();
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  // Runs the whole program; returns its exit status. The report is in
  // console.output.
  int Run();
};

}  // namespace hdsn::sim
