// The storage device descriptor of any bytes: text offsets anywhere, texts
// without terminator, any bus type, any byte count returned.
#include "fuzz_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzAnswer answer(data, size);
  const hdsn::DescriptorRead read =
      hdsn::ReadDeviceDescriptor(answer.data(), answer.size(), answer.bytesReturned());
  const std::size_t limit = std::min<std::size_t>(answer.size(), answer.bytesReturned());
  CheckTexts(read.error, read.texts, limit, limit, limit);
  CheckText(read.vendor, limit);
  // A text runs to its terminator.
  for (const auto& text : {read.vendor, read.texts.serial, read.texts.model, read.texts.firmware})
    FUZZ_CHECK(!text || text->find('\0') == std::string::npos);
  // Any bus type: a name of the table or the number; AddressSanitizer
  // watches the lookup.
  (void)hdsn::BusName(hdsn::StorageBus(read.busType));
  return 0;
}
