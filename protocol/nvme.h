// NVMe Identify: the admin command that asks a controller for its data
// structure, and how the texts of that structure read. Whatever carries the
// command (Windows' protocol-specific storage query, Linux's admin ioctl,
// the kernel's copy in sysfs), the structure is the same 4096 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/layout.h"
#include "protocol/text.h"

namespace hdsn {

// The admin command Identify, and its CNS value (command dword 10) for the
// controller's data structure.
inline constexpr std::uint8_t kNvmeAdminIdentify = 0x06;
inline constexpr std::uint32_t kNvmeIdentifyCnsController = 1;

}  // namespace hdsn

namespace hdsn::layout {

// The identify controller data structure, texts in ASCII padded with blanks.
struct NVME_IDENTIFY_CONTROLLER_DATA {
  static constexpr Field SN{4, 20};
  static constexpr Field MN{24, 40};
  static constexpr Field FR{64, 8};
  static constexpr std::size_t kSize = 4096;
};
static_assert(Adjacent(NVME_IDENTIFY_CONTROLLER_DATA::SN, NVME_IDENTIFY_CONTROLLER_DATA::MN));
static_assert(Adjacent(NVME_IDENTIFY_CONTROLLER_DATA::MN, NVME_IDENTIFY_CONTROLLER_DATA::FR));

}  // namespace hdsn::layout

namespace hdsn {

inline constexpr std::uint32_t kNvmeIdentifySize = layout::NVME_IDENTIFY_CONTROLLER_DATA::kSize;

// The serial, model and firmware texts of identify controller data, trimmed,
// never decoded; at most 4096 bytes are read, each field only as far as the
// data goes.
SourceTexts ReadNvmeControllerTexts(std::span<const std::uint8_t> data);

}  // namespace hdsn
