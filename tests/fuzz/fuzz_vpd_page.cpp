// IOCTL_SCSI_PASS_THROUGH's answer to INQUIRY of the unit serial number,
// device identification and block device characteristics pages, of any
// bytes: any status, transfer length and page length, any byte count
// returned; and the bytes held read as each page themselves, as Linux's
// copies of them are.
#include "disks/windows/layouts.h"
#include "fuzz_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzAnswer answer(data, size);
  const hdsn::AnswerRead read = hdsn::ReadScsiPassThrough(hdsn::kVpdSerialQuery, answer.data(),
                                                          answer.size(), answer.bytesReturned());
  // The page holds at most 252 bytes, its serial what follows its header.
  CheckTexts(read.error, read.texts, 252 - 4, 0, 0);
  // The serial stops at the bytes the port transferred.
  if (read.texts.serial && answer.size() >= hdsn::layout::SCSI_PASS_THROUGH::kSize) {
    const std::uint32_t transferred =
        hdsn::LoadLe32(answer.data() + hdsn::layout::SCSI_PASS_THROUGH::DataTransferLength.offset);
    FUZZ_CHECK(read.texts.serial->size() + 4 <= transferred);
  }
  for (const hdsn::ScsiQuery* query :
       {&hdsn::kVpdDeviceIdQuery, &hdsn::kVpdBlockCharacteristicsQuery}) {
    const hdsn::AnswerRead page =
        hdsn::ReadScsiPassThrough(*query, answer.data(), answer.size(), answer.bytesReturned());
    CheckTexts(page.error, page.texts, 0, 0, 0);
    CheckIdentity(page.error, page.identity);
  }
  const hdsn::DiskIdentity identification = hdsn::ReadVpdDeviceIdentification(answer.held());
  CheckIdentity("", identification);
  FUZZ_CHECK(!identification.uuid && !identification.size && !identification.rotational);
  const hdsn::DiskIdentity characteristics = hdsn::ReadVpdBlockCharacteristics(answer.held());
  CheckIdentity("", characteristics);
  FUZZ_CHECK(!characteristics.wwn && characteristics.placeholders.empty());
  return 0;
}
