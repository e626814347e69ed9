// TrimSerial on any text, in a single-byte and in a double-byte code page.
#include <cstdint>
#include <string>

#include "app/hard_drive_info.h"
#include "fuzz_check.h"
#include "sim/sim_machine.h"

namespace {
bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace hdsn;
  if (size == 0) return 0;
  sim::SimMachine machine;
  if (data[0] & 1) machine.text.leadBytes = {0x81, 0x9F, 0xE0, 0xFC};
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  text = text.c_str();  // the serial is a terminated text
  HardDriveInfo info{machine.platform};
  info.masterSerial = text;
  info.TrimSerial();
  const std::string& trimmed = info.masterSerial;
  FUZZ_CHECK(text.find(trimmed) != std::string::npos);
  if (!trimmed.empty()) FUZZ_CHECK(!IsWhiteSpace(trimmed.front()));
  if (machine.text.leadBytes.empty() && !trimmed.empty()) FUZZ_CHECK(!IsWhiteSpace(trimmed.back()));
  return 0;
}
