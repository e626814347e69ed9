// The NVMe identify query's answer of any bytes: ProtocolDataOffset and
// ProtocolDataLength of any value, any byte count returned, read as the
// controller's and as a namespace's data; and the bytes held read as
// identify namespace data and as an identification descriptor list
// themselves, as Linux's admin command gives them.
#include "fuzz_answer.h"
#include "protocol/nvme.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzAnswer answer(data, size);
  const hdsn::AnswerRead read =
      hdsn::ReadNvmeIdentify(answer.data(), answer.size(), answer.bytesReturned());
  CheckTexts(read.error, read.texts, 20, 40, 8);
  const hdsn::AnswerRead space =
      hdsn::ReadNvmeNamespace(answer.data(), answer.size(), answer.bytesReturned());
  CheckIdentity(space.error, space.identity);
  FUZZ_CHECK(!space.identity.wwn && !space.identity.uuid && !space.identity.physicalSectorSize);
  const hdsn::DiskIdentity held = hdsn::ReadNvmeNamespaceIdentity(answer.held());
  CheckIdentity("", held);
  if (held.logicalSectorSize) FUZZ_CHECK(*held.logicalSectorSize >= 512);
  const hdsn::DiskIdentity listed = hdsn::ReadNvmeNamespaceDescriptors(answer.held());
  CheckIdentity("", listed);
  FUZZ_CHECK(!listed.wwn && !listed.size && !listed.logicalSectorSize && !listed.rotational);
  return 0;
}
