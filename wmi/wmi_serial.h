// Method 0: the serial number of the disk that holds the system drive, as WMI
// tells it, walking from the system drive through its logical disk and
// partition to the disk drive (and its physical media).
#pragma once

#include <cstdint>

namespace hdsn {

class WmiInterface;
class TextInterface;

// Leaves a terminated text of at most size - 1 bytes in result; prints nothing
// and reports no failure. The caller passes an empty text.
void QueryWmiSerial(WmiInterface& wmi, TextInterface& text, char* result, std::int32_t size);

}  // namespace hdsn
