// Entry point of hdsn-disks on Windows.
#include <cstdio>

#include "disks/windows/program.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  // The C runtime leaves standard output unbuffered where it is a device
  // (the console, NUL) and then writes a byte a system call; the program's
  // one document or table goes out in a few writes instead.
  std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);
  return hdsn::RunDisksProgram(hdsn::GetWin32Platform(), hdsn::GetWin32OutputFile(), argc, argv);
}
