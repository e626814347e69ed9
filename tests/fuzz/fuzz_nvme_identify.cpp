// The NVMe identify query's answer of any bytes: ProtocolDataOffset and
// ProtocolDataLength of any value, any byte count returned.
#include "fuzz_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzAnswer answer(data, size);
  const hdsn::AnswerRead read =
      hdsn::ReadNvmeIdentify(answer.data(), answer.size(), answer.bytesReturned());
  CheckTexts(read.error, read.texts, 20, 40, 8);
  return 0;
}
