// What the fuzz targets of hdsn-disks' answer readers share. The input is a
// byte count the request returned (4 bytes, little-endian) and the answer;
// the answer lies in a heap buffer of exactly its size, and the bytes past
// the returned count are poisoned, so that AddressSanitizer stops a read
// past either. Every text read must be trimmed, not empty, and no longer
// than its field; every identity must pass fuzz_identity.h's checks.
#pragma once

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "disks/windows/readers.h"
#include "fuzz_check.h"
#include "fuzz_identity.h"
#include "protocol/byte_order.h"

class FuzzAnswer {
 public:
  FuzzAnswer(const std::uint8_t* data, std::size_t size) {
    if (size >= 4) {
      bytesReturned_ = hdsn::LoadLe32(data);
      data += 4;
      size -= 4;
    }
    size_ = size;
    bytes_ = std::make_unique<std::uint8_t[]>(size);
    if (size > 0) std::memcpy(bytes_.get(), data, size);
    if (bytesReturned_ < size)
      ASAN_POISON_MEMORY_REGION(bytes_.get() + bytesReturned_, size - bytesReturned_);
  }
  ~FuzzAnswer() { ASAN_UNPOISON_MEMORY_REGION(bytes_.get(), size_); }

  const std::uint8_t* data() const { return bytes_.get(); }
  std::size_t size() const { return size_; }
  // The bytes that are not poisoned, as a reader of a drive's data gets them.
  std::span<const std::uint8_t> held() const {
    return {bytes_.get(), std::min<std::size_t>(size_, bytesReturned_)};
  }
  std::uint32_t bytesReturned() const { return bytesReturned_; }

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t size_ = 0;
  std::uint32_t bytesReturned_ = 0;
};

inline void CheckText(const std::optional<std::string>& text, std::size_t longest) {
  if (!text) return;
  FUZZ_CHECK(!text->empty() && text->size() <= longest);
  for (const char end : {text->front(), text->back()}) FUZZ_CHECK(end != ' ' && end != '\0');
}

// An answer that was not usable gives no text.
inline void CheckTexts(const std::string& error, const hdsn::SourceTexts& texts, std::size_t serial,
                       std::size_t model, std::size_t firmware) {
  if (!error.empty()) FUZZ_CHECK(!texts.serial && !texts.model && !texts.firmware);
  CheckText(texts.serial, serial);
  CheckText(texts.model, model);
  CheckText(texts.firmware, firmware);
}
