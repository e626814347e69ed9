// Entry point of the Windows program. Arguments are ignored.
#include "app/program.h"
#include "platform/platform.h"

int main() { return hdsn::RunProgram(hdsn::GetWin32Platform()); }
