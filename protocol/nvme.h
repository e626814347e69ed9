// NVMe Identify: the admin command that asks a controller for its data
// structures, how the texts of the controller's read, and what a
// namespace's data and identification descriptors say of its identity. Whatever carries the
// command (Windows' protocol-specific storage query, Linux's admin ioctl,
// the kernel's copy in sysfs), the structure is the same 4096 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "protocol/identity.h"
#include "protocol/layout.h"
#include "protocol/text.h"

namespace hdsn {

// The admin command Identify, and its CNS values (command dword 10) for a
// namespace's data structure, the controller's, and a namespace's list of
// identification descriptors.
inline constexpr std::uint8_t kNvmeAdminIdentify = 0x06;
inline constexpr std::uint32_t kNvmeIdentifyCnsNamespace = 0;
inline constexpr std::uint32_t kNvmeIdentifyCnsController = 1;
inline constexpr std::uint32_t kNvmeIdentifyCnsDescriptors = 3;

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

// The identify namespace data structure. NSZE counts logical blocks of the
// format FLBAS selects: its bits 3:0 and, since NVMe 2.0 (up to 64
// formats), bits 6:5 above them; NLBAF is the number of formats less one.
// Each format is 4 bytes, LBADS the block size's power of two.
struct NVME_IDENTIFY_NAMESPACE_DATA {
  static constexpr Field NSZE{0, 8};
  static constexpr Field NCAP{8, 8};
  static constexpr Field NUSE{16, 8};
  static constexpr Field NSFEAT{24, 1};
  static constexpr Field NLBAF{25, 1};
  static constexpr Field FLBAS{26, 1};
  static constexpr Field NGUID{104, 16};
  static constexpr Field EUI64{120, 8};
  static constexpr Field LBAF{128, 4};  // the first of up to 64
  static constexpr std::size_t kLbaFormats = 64;
  static constexpr std::size_t kSize = 4096;
};
static_assert(Adjacent(NVME_IDENTIFY_NAMESPACE_DATA::NLBAF, NVME_IDENTIFY_NAMESPACE_DATA::FLBAS));
static_assert(Adjacent(NVME_IDENTIFY_NAMESPACE_DATA::NGUID, NVME_IDENTIFY_NAMESPACE_DATA::EUI64));
static_assert(Adjacent(NVME_IDENTIFY_NAMESPACE_DATA::EUI64, NVME_IDENTIFY_NAMESPACE_DATA::LBAF));
struct NVME_LBA_FORMAT {
  static constexpr Field MS{0, 2};
  static constexpr Field LBADS{2, 1};
  static constexpr Field RP{3, 1};
  static constexpr std::size_t kSize = 4;
};
static_assert(NVME_LBA_FORMAT::RP.end() == NVME_LBA_FORMAT::kSize &&
              NVME_IDENTIFY_NAMESPACE_DATA::LBAF.width == NVME_LBA_FORMAT::kSize);

// One namespace identification descriptor of the list (4096 bytes): its
// type, the length of its identifier, the identifier. A type of 0 ends the
// list.
struct NVME_IDENTIFY_NAMESPACE_DESCRIPTOR {
  static constexpr Field NIDT{0, 1};
  static constexpr Field NIDL{1, 1};
  static constexpr Field Reserved{2, 2};
  static constexpr Field NID{4, 0};
};
static_assert(Adjacent(NVME_IDENTIFY_NAMESPACE_DESCRIPTOR::Reserved,
                       NVME_IDENTIFY_NAMESPACE_DESCRIPTOR::NID));
inline constexpr std::uint8_t kNvmeIdentifierEui64 = 1;  // 8 bytes
inline constexpr std::uint8_t kNvmeIdentifierNguid = 2;  // 16 bytes
inline constexpr std::uint8_t kNvmeIdentifierUuid = 3;   // 16 bytes

}  // namespace hdsn::layout

namespace hdsn {

inline constexpr std::uint32_t kNvmeIdentifySize = layout::NVME_IDENTIFY_CONTROLLER_DATA::kSize;

// The serial, model and firmware texts of identify controller data, trimmed,
// never decoded; at most 4096 bytes are read, each field only as far as the
// data goes.
SourceTexts ReadNvmeControllerTexts(std::span<const std::uint8_t> data);

// The size (NSZE blocks of the format in use), the logical block size, the
// NGUID and the EUI-64 of identify namespace data; at most 4096 bytes are
// read, each value only when every byte it needs came. An NGUID or EUI-64
// of zeros is what a controller writes that has none: a placeholder.
DiskIdentity ReadNvmeNamespaceIdentity(std::span<const std::uint8_t> data);
// The EUI-64, NGUID and UUID of a namespace identification descriptor list,
// each descriptor only when its length is its type's and it lies wholly in
// the data (at most 4096 bytes).
DiskIdentity ReadNvmeNamespaceDescriptors(std::span<const std::uint8_t> data);

// The text that the SCSI translation of NVMe (Windows' storage stack among
// others) gives as a namespace's unit serial number where a SCSI serial is
// asked: its NGUID or else its EUI-64 in hex, "_" after every four digits
// and "." at the end ("0025_3881_91B2_1234."). The kind of identifier a
// serial so written is; none for any other text.
std::optional<IdentifierKind> TranslatedNamespaceSerialKind(std::string_view serial);

}  // namespace hdsn
