// The drivers' request and answer layouts as the program writes them,
// checked at compile time against the Windows headers' own declarations:
// same size, and every field at the same offset with the same width.
#include <windows.h>
#include <ntddscsi.h>
#include <winioctl.h>

#include <cstddef>

#include "devices/device_io.h"
#include "devices/device_layouts.h"

namespace hdsn::layout {
namespace {

#define HDSN_SAME_FIELD(type, field)                                                         \
  static_assert(offsetof(::type, field) == type::field.offset, #type "::" #field " offset"); \
  static_assert(sizeof(::type::field) == type::field.width, #type "::" #field " width")

static_assert(sizeof(::GETVERSIONINPARAMS) == GETVERSIONINPARAMS::kSize);
HDSN_SAME_FIELD(GETVERSIONINPARAMS, bVersion);
HDSN_SAME_FIELD(GETVERSIONINPARAMS, bRevision);
HDSN_SAME_FIELD(GETVERSIONINPARAMS, bReserved);
HDSN_SAME_FIELD(GETVERSIONINPARAMS, bIDEDeviceMap);
HDSN_SAME_FIELD(GETVERSIONINPARAMS, fCapabilities);
HDSN_SAME_FIELD(GETVERSIONINPARAMS, dwReserved);

static_assert(sizeof(::IDEREGS) == IDEREGS::kSize);
HDSN_SAME_FIELD(IDEREGS, bFeaturesReg);
HDSN_SAME_FIELD(IDEREGS, bSectorCountReg);
HDSN_SAME_FIELD(IDEREGS, bSectorNumberReg);
HDSN_SAME_FIELD(IDEREGS, bCylLowReg);
HDSN_SAME_FIELD(IDEREGS, bCylHighReg);
HDSN_SAME_FIELD(IDEREGS, bDriveHeadReg);
HDSN_SAME_FIELD(IDEREGS, bCommandReg);
HDSN_SAME_FIELD(IDEREGS, bReserved);

static_assert(sizeof(::SENDCMDINPARAMS) == SENDCMDINPARAMS::kSize);
HDSN_SAME_FIELD(SENDCMDINPARAMS, cBufferSize);
HDSN_SAME_FIELD(SENDCMDINPARAMS, irDriveRegs);
HDSN_SAME_FIELD(SENDCMDINPARAMS, bDriveNumber);
HDSN_SAME_FIELD(SENDCMDINPARAMS, bReserved);
HDSN_SAME_FIELD(SENDCMDINPARAMS, dwReserved);
HDSN_SAME_FIELD(SENDCMDINPARAMS, bBuffer);

static_assert(sizeof(::DRIVERSTATUS) == DRIVERSTATUS::kSize);
HDSN_SAME_FIELD(DRIVERSTATUS, bDriverError);
HDSN_SAME_FIELD(DRIVERSTATUS, bIDEError);
HDSN_SAME_FIELD(DRIVERSTATUS, bReserved);
HDSN_SAME_FIELD(DRIVERSTATUS, dwReserved);

static_assert(sizeof(::SENDCMDOUTPARAMS) == SENDCMDOUTPARAMS::kSize);
HDSN_SAME_FIELD(SENDCMDOUTPARAMS, cBufferSize);
HDSN_SAME_FIELD(SENDCMDOUTPARAMS, DriverStatus);
HDSN_SAME_FIELD(SENDCMDOUTPARAMS, bBuffer);

static_assert(sizeof(::SRB_IO_CONTROL) == SRB_IO_CONTROL::kSize);
HDSN_SAME_FIELD(SRB_IO_CONTROL, HeaderLength);
HDSN_SAME_FIELD(SRB_IO_CONTROL, Signature);
HDSN_SAME_FIELD(SRB_IO_CONTROL, Timeout);
HDSN_SAME_FIELD(SRB_IO_CONTROL, ControlCode);
HDSN_SAME_FIELD(SRB_IO_CONTROL, ReturnCode);
HDSN_SAME_FIELD(SRB_IO_CONTROL, Length);

static_assert(sizeof(::STORAGE_PROPERTY_QUERY) == STORAGE_PROPERTY_QUERY::kSize);
HDSN_SAME_FIELD(STORAGE_PROPERTY_QUERY, PropertyId);
HDSN_SAME_FIELD(STORAGE_PROPERTY_QUERY, QueryType);
HDSN_SAME_FIELD(STORAGE_PROPERTY_QUERY, AdditionalParameters);
static_assert(::StorageDeviceProperty == 0 && ::PropertyStandardQuery == 0);

static_assert(sizeof(::STORAGE_DEVICE_DESCRIPTOR) == STORAGE_DEVICE_DESCRIPTOR::kSize);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, Version);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, Size);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, DeviceType);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, DeviceTypeModifier);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, RemovableMedia);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, CommandQueueing);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, BusType);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, RawPropertiesLength);
HDSN_SAME_FIELD(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties);

#undef HDSN_SAME_FIELD

// MEDIA_SERIAL_NUMBER_DATA and IOCTL_SCSI_MINIPORT_IDENTIFY are not in the
// MinGW headers; their values stand in device_layouts.h alone.

static_assert(SMART_GET_VERSION == kSmartGetVersion);
static_assert(SMART_RCV_DRIVE_DATA == kSmartRcvDriveData);
static_assert(IOCTL_SCSI_MINIPORT == kIoctlScsiMiniport);
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == kIoctlStorageQueryProperty);
static_assert(IOCTL_STORAGE_GET_MEDIA_SERIAL_NUMBER == kIoctlStorageGetMediaSerialNumber);
static_assert(ID_CMD == kAtaIdentifyDevice && ATAPI_ID_CMD == kAtaIdentifyPacketDevice);
static_assert(IDENTIFY_BUFFER_SIZE == kIdentifyBlockSize);

static_assert(GENERIC_READ == kGenericRead && GENERIC_WRITE == kGenericWrite);
static_assert(FILE_SHARE_READ == kFileShareRead && FILE_SHARE_WRITE == kFileShareWrite &&
              FILE_SHARE_DELETE == kFileShareDelete);
static_assert(OPEN_EXISTING == kOpenExisting);
static_assert(FILE_FLAG_DELETE_ON_CLOSE == kFileFlagDeleteOnClose);
static_assert(NORMAL_PRIORITY_CLASS == kNormalPriorityClass);
static_assert(REALTIME_PRIORITY_CLASS == kRealtimePriorityClass);

}  // namespace
}  // namespace hdsn::layout
