// IOCTL_ATA_PASS_THROUGH's answer of any bytes (DataBufferOffset of any
// value, any status), SMART_RCV_DRIVE_DATA's and the SCSI pass-through's
// answer to ATA PASS-THROUGH (16), any byte count returned; and the bytes
// held read as IDENTIFY data themselves, as a system's copy of it is.
#include "fuzz_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzAnswer answer(data, size);
  const hdsn::AnswerRead ata =
      hdsn::ReadAtaPassThrough(answer.data(), answer.size(), answer.bytesReturned());
  CheckTexts(ata.error, ata.texts, 20, 40, 8);
  CheckIdentifyIdentity(ata.error, ata.identity);
  const hdsn::AnswerRead smart =
      hdsn::ReadSmartIdentify(answer.data(), answer.size(), answer.bytesReturned());
  CheckTexts(smart.error, smart.texts, 20, 40, 8);
  CheckIdentifyIdentity(smart.error, smart.identity);
  const hdsn::AnswerRead sat = hdsn::ReadScsiPassThrough(hdsn::kSatIdentifyQuery, answer.data(),
                                                         answer.size(), answer.bytesReturned());
  CheckTexts(sat.error, sat.texts, 20, 40, 8);
  CheckIdentifyIdentity(sat.error, sat.identity);
  CheckIdentifyIdentity("", hdsn::ReadIdentifyIdentity(answer.held()));
  return 0;
}
