#include "sim/sim_machine.h"

#include "app/program.h"

namespace hdsn::sim {

SimMachine::SimMachine() {
  system.faults = &faults;
  text.faults = &faults;
  devices.faults = &faults;
  wmi.faults = &faults;
}

int SimMachine::Run() { return RunProgram(platform); }

}  // namespace hdsn::sim
