// Texts of the storage class driver's answers, read by method 3.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hdsn {

inline constexpr std::size_t kDecodedSerialSize = 1000;

// Decodes a serial number that a driver reports as hexadecimal text: each
// group of four characters gives two bytes, second pair first; only '0'-'9'
// and 'a'-'f' are digits, anything else counts as 0, and bytes of value 0
// are dropped. Returns a program-wide buffer that the next call overwrites;
// a result longer than 999 characters keeps its first 999.
const char* DecodeHexSerial(const char* text);

}  // namespace hdsn
