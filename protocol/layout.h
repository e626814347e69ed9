// Byte layouts as data: each field of a structure a drive, a driver or a
// kernel reads is an offset and a width in bytes, so that nothing depends on
// a compiler's padding or on the host's byte order. Every layout of the
// project is written so, and each system's platform layer checks its own
// against the system's headers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace hdsn::layout {

struct Field {
  std::size_t offset;
  std::size_t width;
  constexpr std::size_t end() const { return offset + width; }
};

// Fields that follow each other with no gap.
constexpr bool Adjacent(Field first, Field second) { return first.end() == second.offset; }

}  // namespace hdsn::layout

namespace hdsn {

// The bytes [offset, offset + width) that lie inside data: fewer when the
// data ends first, none when it ends before offset. Offsets and widths a
// device or a driver wrote may be anything, so they are 64-bit here.
inline std::span<const std::uint8_t> BytesWithin(std::span<const std::uint8_t> data,
                                                 std::uint64_t offset, std::uint64_t width) {
  if (offset >= data.size()) return {};
  const auto start = static_cast<std::size_t>(offset);
  return data.subspan(
      start, static_cast<std::size_t>(std::min<std::uint64_t>(width, data.size() - start)));
}

inline std::span<const std::uint8_t> BytesWithin(std::span<const std::uint8_t> data,
                                                 layout::Field field) {
  return BytesWithin(data, field.offset, field.width);
}

// The same bytes seen as text, and text seen as bytes.
inline std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}
inline std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace hdsn
