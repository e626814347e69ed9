// The two ioctl arguments of the Linux sources, as offsets and widths in
// bytes (protocol/layout.h): SG_IO's sg_io_hdr (SCSI commands to a block device) and
// NVME_IOCTL_ADMIN_CMD's nvme_admin_cmd (an admin command to an NVMe
// controller). sg_io_hdr holds pointers and so has one layout per pointer
// size, the one in use chosen by the build's own; nvme_admin_cmd carries its
// buffer address in a 64-bit field on every build. platform/linux checks
// every value against the kernel's headers.
//
// Unlike what drives send, these structures are the kernel's own: their
// integers are in the CPU's byte order, little-endian on x86 and ARM,
// big-endian on s390x. They are written and read here in the order of the
// build's target (StoreNative, LoadNative), never with protocol/byte_order.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "protocol/layout.h"

namespace hdsn::layout {

// An integer field of a kernel structure, in the CPU's byte order; the
// field's width is the integer's.
template <typename Integer>
void StoreNative(std::uint8_t* structure, Field field, Integer value) {
  static_assert(std::is_integral_v<Integer>);
  if (field.width == sizeof value) std::memcpy(structure + field.offset, &value, sizeof value);
}
template <typename Integer>
Integer LoadNative(const std::uint8_t* structure, Field field) {
  static_assert(std::is_integral_v<Integer>);
  Integer value = 0;
  if (field.width == sizeof value) std::memcpy(&value, structure + field.offset, sizeof value);
  return value;
}

// _IOC of the kernel's generic ioctl numbering: direction, size, type, number.
constexpr unsigned long LinuxIoc(unsigned long direction, unsigned long type, unsigned long number,
                                 unsigned long size) {
  return (direction << 30) | (size << 16) | (type << 8) | number;
}
inline constexpr unsigned long kIocWrite = 1;
inline constexpr unsigned long kIocRead = 2;

// SG_IO predates _IOC numbering: a bare number.
inline constexpr unsigned long kSgIo = 0x2285;
inline constexpr std::int32_t kSgInterfaceIdOrig = 'S';
inline constexpr std::int32_t kSgDxferFromDev = -3;
// info: something went wrong, as host_status, driver_status or the status
// tell.
inline constexpr std::uint32_t kSgInfoCheck = 1;
// driver_status: its low four bits are the driver's verdict, the high ones a
// suggestion of what to do next; DRIVER_SENSE says no more than that sense
// data came with the status. No user-space header defines them (the
// kernel's scsi.h once did).
inline constexpr std::uint16_t kSgDriverMask = 0x0F;
inline constexpr std::uint16_t kSgDriverSense = 0x08;

struct SgIoHdr64 {
  static constexpr Field interface_id{0, 4};
  static constexpr Field dxfer_direction{4, 4};
  static constexpr Field cmd_len{8, 1};
  static constexpr Field mx_sb_len{9, 1};
  static constexpr Field iovec_count{10, 2};
  static constexpr Field dxfer_len{12, 4};
  static constexpr Field dxferp{16, 8};
  static constexpr Field cmdp{24, 8};
  static constexpr Field sbp{32, 8};
  static constexpr Field timeout{40, 4};  // milliseconds
  static constexpr Field flags{44, 4};
  static constexpr Field pack_id{48, 4};
  static constexpr Field usr_ptr{56, 8};  // four bytes of padding before it
  static constexpr Field status{64, 1};
  static constexpr Field masked_status{65, 1};
  static constexpr Field msg_status{66, 1};
  static constexpr Field sb_len_wr{67, 1};
  static constexpr Field host_status{68, 2};
  static constexpr Field driver_status{70, 2};
  static constexpr Field resid{72, 4};
  static constexpr Field duration{76, 4};
  static constexpr Field info{80, 4};
  static constexpr std::size_t kSize = 88;  // four bytes of tail padding
};
static_assert(Adjacent(SgIoHdr64::dxfer_len, SgIoHdr64::dxferp));
static_assert(Adjacent(SgIoHdr64::dxferp, SgIoHdr64::cmdp));
static_assert(Adjacent(SgIoHdr64::cmdp, SgIoHdr64::sbp));
static_assert(SgIoHdr64::pack_id.end() + 4 == SgIoHdr64::usr_ptr.offset);
static_assert(Adjacent(SgIoHdr64::usr_ptr, SgIoHdr64::status));
static_assert(Adjacent(SgIoHdr64::resid, SgIoHdr64::duration));
static_assert(SgIoHdr64::info.end() + 4 == SgIoHdr64::kSize);

struct SgIoHdr32 {
  static constexpr Field interface_id{0, 4};
  static constexpr Field dxfer_direction{4, 4};
  static constexpr Field cmd_len{8, 1};
  static constexpr Field mx_sb_len{9, 1};
  static constexpr Field iovec_count{10, 2};
  static constexpr Field dxfer_len{12, 4};
  static constexpr Field dxferp{16, 4};
  static constexpr Field cmdp{20, 4};
  static constexpr Field sbp{24, 4};
  static constexpr Field timeout{28, 4};
  static constexpr Field flags{32, 4};
  static constexpr Field pack_id{36, 4};
  static constexpr Field usr_ptr{40, 4};
  static constexpr Field status{44, 1};
  static constexpr Field masked_status{45, 1};
  static constexpr Field msg_status{46, 1};
  static constexpr Field sb_len_wr{47, 1};
  static constexpr Field host_status{48, 2};
  static constexpr Field driver_status{50, 2};
  static constexpr Field resid{52, 4};
  static constexpr Field duration{56, 4};
  static constexpr Field info{60, 4};
  static constexpr std::size_t kSize = 64;
};
static_assert(Adjacent(SgIoHdr32::sbp, SgIoHdr32::timeout));
static_assert(Adjacent(SgIoHdr32::usr_ptr, SgIoHdr32::status));
static_assert(SgIoHdr32::info.end() == SgIoHdr32::kSize);

using SgIoHdr = std::conditional_t<sizeof(void*) == 8, SgIoHdr64, SgIoHdr32>;
static_assert(SgIoHdr::dxferp.width == sizeof(void*));

struct NvmeAdminCmd {
  static constexpr Field opcode{0, 1};
  static constexpr Field flags{1, 1};
  static constexpr Field rsvd1{2, 2};
  static constexpr Field nsid{4, 4};
  static constexpr Field cdw2{8, 4};
  static constexpr Field cdw3{12, 4};
  static constexpr Field metadata{16, 8};
  static constexpr Field addr{24, 8};
  static constexpr Field metadata_len{32, 4};
  static constexpr Field data_len{36, 4};
  static constexpr Field cdw10{40, 4};
  static constexpr Field cdw11{44, 4};
  static constexpr Field cdw12{48, 4};
  static constexpr Field cdw13{52, 4};
  static constexpr Field cdw14{56, 4};
  static constexpr Field cdw15{60, 4};
  static constexpr Field timeout_ms{64, 4};
  static constexpr Field result{68, 4};
  static constexpr std::size_t kSize = 72;
};
static_assert(Adjacent(NvmeAdminCmd::metadata, NvmeAdminCmd::addr));
static_assert(Adjacent(NvmeAdminCmd::data_len, NvmeAdminCmd::cdw10));
static_assert(NvmeAdminCmd::result.end() == NvmeAdminCmd::kSize);

inline constexpr unsigned long kNvmeIoctlAdminCmd =
    LinuxIoc(kIocWrite | kIocRead, 'N', 0x41, NvmeAdminCmd::kSize);
static_assert(kNvmeIoctlAdminCmd == 0xC0484E41);

}  // namespace hdsn::layout
