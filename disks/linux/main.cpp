// Entry point of hdsn-disks on Linux.
#include "disks/linux/program.h"
#include "platform/linux_system.h"

int main(int argc, char** argv) {
  return hdsn::RunDisksProgram(hdsn::GetLinuxPlatform(), hdsn::GetLinuxOutputFile(), argc, argv);
}
