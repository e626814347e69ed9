// The kernel's text of IDENTIFY DEVICE data (/sys/class/ata_device/*/id),
// of any bytes: the words read, the texts the shared reader makes of them,
// and the check before they are believed.
#include <cstdio>
#include <string>
#include <string_view>

#include "disks/linux/readers.h"
#include "fuzz_check.h"
#include "protocol/ata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const hdsn::AtaIdWords words = hdsn::ReadAtaIdFile(text);
  FUZZ_CHECK(words.bytes % 2 == 0 && words.bytes <= words.block.size());
  // Every word takes at least one digit and a separator but the last.
  FUZZ_CHECK(words.bytes == 0 || words.bytes - 1 <= size);
  for (std::size_t at = words.bytes; at < words.block.size(); ++at)
    FUZZ_CHECK(words.block[at] == 0);

  // The words written back as the kernel writes them read back the same.
  std::string again;
  char word[8];
  for (std::size_t k = 0; 2 * k < words.bytes; ++k) {
    std::snprintf(word, sizeof word, "%02x%02x ", words.block[2 * k + 1], words.block[2 * k]);
    again += word;
  }
  const hdsn::AtaIdWords reread = hdsn::ReadAtaIdFile(again);
  FUZZ_CHECK(reread.bytes == words.bytes && reread.block == words.block);

  const hdsn::SourceTexts texts =
      hdsn::ReadIdentifyTexts(std::span(words.block).first(words.bytes));
  FUZZ_CHECK(!texts.serial || texts.serial->size() <= 20);
  FUZZ_CHECK(!texts.firmware || texts.firmware->size() <= 8);
  FUZZ_CHECK(!texts.model || texts.model->size() <= 40);

  // Data that fails the check gives no text; data that passes, the same.
  const hdsn::AnswerRead checked =
      hdsn::ReadCheckedIdentify(std::span(words.block).first(words.bytes));
  if (checked.error.empty()) {
    FUZZ_CHECK(checked.texts.serial == texts.serial && checked.texts.model == texts.model);
  } else {
    FUZZ_CHECK(!checked.texts.serial && !checked.texts.model && !checked.texts.firmware);
  }
  return 0;
}
