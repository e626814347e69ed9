// The layouts of disks/linux/layouts.h against the kernel's own
// structures, field by field, on the pointer size of this build.
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>

#include <cstddef>

#include "disks/linux/layouts.h"

namespace hdsn::layout {
namespace {

#define HDSN_CHECK_FIELD(Layout, Struct, member)                    \
  static_assert(Layout::member.offset == offsetof(Struct, member)); \
  static_assert(Layout::member.width == sizeof(Struct::member))

HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, interface_id);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, dxfer_direction);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, cmd_len);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, mx_sb_len);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, iovec_count);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, dxfer_len);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, dxferp);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, cmdp);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, sbp);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, timeout);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, flags);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, pack_id);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, usr_ptr);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, status);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, masked_status);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, msg_status);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, sb_len_wr);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, host_status);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, driver_status);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, resid);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, duration);
HDSN_CHECK_FIELD(SgIoHdr, sg_io_hdr_t, info);
static_assert(SgIoHdr::kSize == sizeof(sg_io_hdr_t));
static_assert(kSgIo == SG_IO);
static_assert(kSgInterfaceIdOrig == 'S');
static_assert(kSgDxferFromDev == SG_DXFER_FROM_DEV);
static_assert(kSgInfoCheck == SG_INFO_CHECK);

HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, opcode);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, flags);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, rsvd1);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, nsid);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, cdw2);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, cdw3);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, metadata);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, addr);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, metadata_len);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, data_len);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, cdw10);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, cdw11);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, cdw12);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, cdw13);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, cdw14);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, cdw15);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, timeout_ms);
HDSN_CHECK_FIELD(NvmeAdminCmd, nvme_admin_cmd, result);
static_assert(NvmeAdminCmd::kSize == sizeof(nvme_admin_cmd));
static_assert(kNvmeIoctlAdminCmd == NVME_IOCTL_ADMIN_CMD);

}  // namespace
}  // namespace hdsn::layout
