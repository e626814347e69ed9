// The whole run: system drive and its volume serial, the disk serial, the
// report, one key. Returns the process exit status.
#pragma once

namespace hdsn {

struct Platform;

int RunProgram(const Platform& platform);

}  // namespace hdsn
