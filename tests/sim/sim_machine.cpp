#include "sim/sim_machine.h"

#include "app/program.h"

namespace hdsn::sim {

int SimMachine::Run() { return RunProgram(platform); }

}  // namespace hdsn::sim
