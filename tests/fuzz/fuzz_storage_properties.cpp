// The answers of the identity's storage requests, of any bytes and any
// byte count returned: the device id descriptor (NumberOfIdentifiers,
// NextOffset and IdentifierSize of any value), the access alignment and
// seek penalty descriptors, the drive geometry and the SCSI address.
#include "fuzz_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzAnswer answer(data, size);
  using Reader = hdsn::AnswerRead (*)(const std::uint8_t*, std::size_t, std::uint32_t);
  for (const Reader read : {&hdsn::ReadDeviceIdDescriptor, &hdsn::ReadAccessAlignment,
                            &hdsn::ReadSeekPenalty, &hdsn::ReadDriveGeometry}) {
    const hdsn::AnswerRead identity = read(answer.data(), answer.size(), answer.bytesReturned());
    CheckTexts(identity.error, identity.texts, 0, 0, 0);
    CheckIdentity(identity.error, identity.identity);
  }
  const std::optional<std::uint8_t> lun =
      hdsn::ReadScsiLun(answer.data(), answer.size(), answer.bytesReturned());
  FUZZ_CHECK(!lun || answer.held().size() >= 8);
  return 0;
}
