// How the simulated parts' call logs show numbers: hexadecimal with a 0x
// prefix, capital digits and no leading zeros, as in "DeviceIoControl 0x4D008".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace hdsn::sim {

inline std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

}  // namespace hdsn::sim
