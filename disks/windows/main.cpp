// Entry point of hdsn-disks on Windows.
#include "disks/windows/program.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  return hdsn::RunDisksProgram(hdsn::GetWin32Platform(), argc, argv);
}
