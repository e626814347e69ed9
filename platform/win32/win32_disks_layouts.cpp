// The layouts of hdsn-disks' Windows room (disks/windows/layouts.h) and of
// the NVMe and SCSI data it reads (protocol/nvme.h, protocol/scsi.h) as the
// program writes them,
// checked at compile time against the Windows headers' own declarations:
// same size, and every field at the same offset with the same width. The
// pass-through headers are checked in the layout of this build's pointer
// size and, on 64-bit Windows, also in the 32-bit one the headers keep for
// 32-bit callers.
#include <windows.h>
// After windows.h, which they need.
#include <ntddscsi.h>
#include <nvme.h>
#include <winioctl.h>

#include <cstddef>

#include "disks/windows/layouts.h"

namespace hdsn::layout {
namespace {

#define HDSN_SAME_FIELD(type, field)                                                         \
  static_assert(offsetof(::type, field) == type::field.offset, #type "::" #field " offset"); \
  static_assert(sizeof(::type::field) == type::field.width, #type "::" #field " width")

static_assert(IOCTL_ATA_PASS_THROUGH == kIoctlAtaPassThrough);
static_assert(IOCTL_SCSI_PASS_THROUGH == kIoctlScsiPassThrough);

static_assert(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == kIoctlVolumeGetVolumeDiskExtents);
static_assert(IOCTL_STORAGE_GET_DEVICE_NUMBER == kIoctlStorageGetDeviceNumber);
static_assert(FILE_DEVICE_DISK == kFileDeviceDisk);

static_assert(sizeof(::DISK_EXTENT) == DISK_EXTENT::kSize);
HDSN_SAME_FIELD(DISK_EXTENT, DiskNumber);
HDSN_SAME_FIELD(DISK_EXTENT, StartingOffset);
HDSN_SAME_FIELD(DISK_EXTENT, ExtentLength);
static_assert(sizeof(::VOLUME_DISK_EXTENTS) == VOLUME_DISK_EXTENTS::kSize);
HDSN_SAME_FIELD(VOLUME_DISK_EXTENTS, NumberOfDiskExtents);
HDSN_SAME_FIELD(VOLUME_DISK_EXTENTS, Extents);
static_assert(sizeof(::STORAGE_DEVICE_NUMBER) == STORAGE_DEVICE_NUMBER::kSize);
HDSN_SAME_FIELD(STORAGE_DEVICE_NUMBER, DeviceType);
HDSN_SAME_FIELD(STORAGE_DEVICE_NUMBER, DeviceNumber);
HDSN_SAME_FIELD(STORAGE_DEVICE_NUMBER, PartitionNumber);

static_assert(::StorageDeviceProperty == kStorageDeviceProperty);
static_assert(::StorageAdapterProtocolSpecificProperty == kStorageAdapterProtocolSpecificProperty);
static_assert(::StorageDeviceProtocolSpecificProperty == kStorageDeviceProtocolSpecificProperty);
static_assert(::PropertyStandardQuery == kPropertyStandardQuery);
static_assert(::ProtocolTypeNvme == kProtocolTypeNvme);
static_assert(::NVMeDataTypeIdentify == kNvmeDataTypeIdentify);
static_assert(::NVME_IDENTIFY_CNS_CONTROLLER == kNvmeIdentifyCnsController);

static_assert(sizeof(::STORAGE_PROTOCOL_SPECIFIC_DATA) == STORAGE_PROTOCOL_SPECIFIC_DATA::kSize);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolType);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_SPECIFIC_DATA, DataType);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestValue);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataOffset);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataLength);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_SPECIFIC_DATA, FixedProtocolReturnData);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue2);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue3);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue4);

static_assert(sizeof(::STORAGE_PROTOCOL_DATA_DESCRIPTOR) ==
              STORAGE_PROTOCOL_DATA_DESCRIPTOR::kSize);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_DATA_DESCRIPTOR, Version);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_DATA_DESCRIPTOR, Size);
HDSN_SAME_FIELD(STORAGE_PROTOCOL_DATA_DESCRIPTOR, ProtocolSpecificData);
// The query's protocol data sits where STORAGE_PROPERTY_QUERY declares its
// AdditionalParameters.
static_assert(offsetof(::STORAGE_PROPERTY_QUERY, AdditionalParameters) ==
              NvmeIdentifyBuffer::kProtocolData);

static_assert(sizeof(::NVME_IDENTIFY_CONTROLLER_DATA) == NVME_IDENTIFY_CONTROLLER_DATA::kSize);
HDSN_SAME_FIELD(NVME_IDENTIFY_CONTROLLER_DATA, SN);
HDSN_SAME_FIELD(NVME_IDENTIFY_CONTROLLER_DATA, MN);
HDSN_SAME_FIELD(NVME_IDENTIFY_CONTROLLER_DATA, FR);

// The disk's identity: the device id, access alignment and seek penalty
// properties, the drive geometry, the SCSI address, and the NVMe
// namespace's data.
static_assert(::StorageDeviceIdProperty == kStorageDeviceIdProperty);
static_assert(::StorageAccessAlignmentProperty == kStorageAccessAlignmentProperty);
static_assert(::StorageDeviceSeekPenaltyProperty == kStorageDeviceSeekPenaltyProperty);
static_assert(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX == kIoctlDiskGetDriveGeometryEx);
static_assert(IOCTL_SCSI_GET_ADDRESS == kIoctlScsiGetAddress);

static_assert(sizeof(::STORAGE_DEVICE_ID_DESCRIPTOR) == STORAGE_DEVICE_ID_DESCRIPTOR::kSize);
HDSN_SAME_FIELD(STORAGE_DEVICE_ID_DESCRIPTOR, Version);
HDSN_SAME_FIELD(STORAGE_DEVICE_ID_DESCRIPTOR, Size);
HDSN_SAME_FIELD(STORAGE_DEVICE_ID_DESCRIPTOR, NumberOfIdentifiers);
HDSN_SAME_FIELD(STORAGE_DEVICE_ID_DESCRIPTOR, Identifiers);
static_assert(sizeof(::STORAGE_IDENTIFIER) == STORAGE_IDENTIFIER::kSize);
HDSN_SAME_FIELD(STORAGE_IDENTIFIER, CodeSet);
HDSN_SAME_FIELD(STORAGE_IDENTIFIER, Type);
HDSN_SAME_FIELD(STORAGE_IDENTIFIER, IdentifierSize);
HDSN_SAME_FIELD(STORAGE_IDENTIFIER, NextOffset);
HDSN_SAME_FIELD(STORAGE_IDENTIFIER, Association);
HDSN_SAME_FIELD(STORAGE_IDENTIFIER, Identifier);
// The enumerations keep the numbers of the device identification page.
static_assert(::StorageIdCodeSetBinary == kDesignatorCodeSetBinary);
static_assert(::StorageIdTypeEUI64 == kDesignatorTypeEui64);
static_assert(::StorageIdTypeFCPHName == kDesignatorTypeNaa);
static_assert(::StorageIdAssocDevice == kDesignatorAssociationLogicalUnit);

static_assert(sizeof(::STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR) ==
              STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR::kSize);
HDSN_SAME_FIELD(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, Version);
HDSN_SAME_FIELD(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, Size);
HDSN_SAME_FIELD(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, BytesPerCacheLine);
HDSN_SAME_FIELD(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, BytesOffsetForCacheAlignment);
HDSN_SAME_FIELD(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, BytesPerLogicalSector);
HDSN_SAME_FIELD(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, BytesPerPhysicalSector);
HDSN_SAME_FIELD(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, BytesOffsetForSectorAlignment);

static_assert(sizeof(::DEVICE_SEEK_PENALTY_DESCRIPTOR) == DEVICE_SEEK_PENALTY_DESCRIPTOR::kSize);
HDSN_SAME_FIELD(DEVICE_SEEK_PENALTY_DESCRIPTOR, Version);
HDSN_SAME_FIELD(DEVICE_SEEK_PENALTY_DESCRIPTOR, Size);
HDSN_SAME_FIELD(DEVICE_SEEK_PENALTY_DESCRIPTOR, IncursSeekPenalty);

static_assert(sizeof(::DISK_GEOMETRY) == DISK_GEOMETRY::kSize);
HDSN_SAME_FIELD(DISK_GEOMETRY, Cylinders);
HDSN_SAME_FIELD(DISK_GEOMETRY, MediaType);
HDSN_SAME_FIELD(DISK_GEOMETRY, TracksPerCylinder);
HDSN_SAME_FIELD(DISK_GEOMETRY, SectorsPerTrack);
HDSN_SAME_FIELD(DISK_GEOMETRY, BytesPerSector);
static_assert(sizeof(::DISK_GEOMETRY_EX) == DISK_GEOMETRY_EX::kSize);
HDSN_SAME_FIELD(DISK_GEOMETRY_EX, Geometry);
HDSN_SAME_FIELD(DISK_GEOMETRY_EX, DiskSize);
HDSN_SAME_FIELD(DISK_GEOMETRY_EX, Data);

static_assert(sizeof(::SCSI_ADDRESS) == SCSI_ADDRESS::kSize);
HDSN_SAME_FIELD(SCSI_ADDRESS, Length);
HDSN_SAME_FIELD(SCSI_ADDRESS, PortNumber);
HDSN_SAME_FIELD(SCSI_ADDRESS, PathId);
HDSN_SAME_FIELD(SCSI_ADDRESS, TargetId);
HDSN_SAME_FIELD(SCSI_ADDRESS, Lun);

static_assert(::NVME_IDENTIFY_CNS_SPECIFIC_NAMESPACE == kNvmeIdentifyCnsNamespace);
static_assert(::NVME_IDENTIFY_CNS_DESCRIPTOR_NAMESPACE == kNvmeIdentifyCnsDescriptors);
static_assert(sizeof(::NVME_IDENTIFY_NAMESPACE_DATA) == NVME_IDENTIFY_NAMESPACE_DATA::kSize);
HDSN_SAME_FIELD(NVME_IDENTIFY_NAMESPACE_DATA, NSZE);
HDSN_SAME_FIELD(NVME_IDENTIFY_NAMESPACE_DATA, NCAP);
HDSN_SAME_FIELD(NVME_IDENTIFY_NAMESPACE_DATA, NUSE);
HDSN_SAME_FIELD(NVME_IDENTIFY_NAMESPACE_DATA, NSFEAT);
HDSN_SAME_FIELD(NVME_IDENTIFY_NAMESPACE_DATA, NLBAF);
HDSN_SAME_FIELD(NVME_IDENTIFY_NAMESPACE_DATA, FLBAS);
HDSN_SAME_FIELD(NVME_IDENTIFY_NAMESPACE_DATA, NGUID);
HDSN_SAME_FIELD(NVME_IDENTIFY_NAMESPACE_DATA, EUI64);
// The headers declare the 16 formats of NVMe 1.x; NVMe 2.0 has up to 64,
// in what they call Reserved4 after them.
static_assert(offsetof(::NVME_IDENTIFY_NAMESPACE_DATA, LBAF) ==
              NVME_IDENTIFY_NAMESPACE_DATA::LBAF.offset);
static_assert(sizeof(::NVME_LBA_FORMAT) == NVME_LBA_FORMAT::kSize &&
              sizeof(::NVME_IDENTIFY_NAMESPACE_DATA::LBAF) == 16 * NVME_LBA_FORMAT::kSize);
static_assert(offsetof(::NVME_IDENTIFY_NAMESPACE_DATA, Reserved4) ==
              NVME_IDENTIFY_NAMESPACE_DATA::LBAF.offset + 16 * NVME_LBA_FORMAT::kSize);
HDSN_SAME_FIELD(NVME_LBA_FORMAT, MS);
HDSN_SAME_FIELD(NVME_LBA_FORMAT, LBADS);
static_assert(::NVME_IDENTIFIER_TYPE_EUI64 == kNvmeIdentifierEui64 &&
              ::NVME_IDENTIFIER_TYPE_NGUID == kNvmeIdentifierNguid &&
              ::NVME_IDENTIFIER_TYPE_UUID == kNvmeIdentifierUuid);
HDSN_SAME_FIELD(NVME_IDENTIFY_NAMESPACE_DESCRIPTOR, NIDT);
HDSN_SAME_FIELD(NVME_IDENTIFY_NAMESPACE_DESCRIPTOR, NIDL);
HDSN_SAME_FIELD(NVME_IDENTIFY_NAMESPACE_DESCRIPTOR, Reserved);
static_assert(offsetof(::NVME_IDENTIFY_NAMESPACE_DESCRIPTOR, NID) ==
              NVME_IDENTIFY_NAMESPACE_DESCRIPTOR::NID.offset);

static_assert(ATA_FLAGS_DRDY_REQUIRED == kAtaFlagsDrdyRequired);
static_assert(ATA_FLAGS_DATA_IN == kAtaFlagsDataIn);
static_assert(SCSI_IOCTL_DATA_IN == kScsiIoctlDataIn);

// The headers name the layout of this build's pointer size without a suffix.
#define HDSN_SAME_ATA_PASS_THROUGH(native, ours)                                            \
  static_assert(sizeof(::native) == ours::kSize, #native " size");                          \
  static_assert(offsetof(::native, Length) == ours::Length.offset);                         \
  static_assert(offsetof(::native, AtaFlags) == ours::AtaFlags.offset);                     \
  static_assert(offsetof(::native, PathId) == ours::PathId.offset);                         \
  static_assert(offsetof(::native, TargetId) == ours::TargetId.offset);                     \
  static_assert(offsetof(::native, Lun) == ours::Lun.offset);                               \
  static_assert(offsetof(::native, ReservedAsUchar) == ours::ReservedAsUchar.offset);       \
  static_assert(offsetof(::native, DataTransferLength) == ours::DataTransferLength.offset); \
  static_assert(offsetof(::native, TimeOutValue) == ours::TimeOutValue.offset);             \
  static_assert(offsetof(::native, ReservedAsUlong) == ours::ReservedAsUlong.offset);       \
  static_assert(offsetof(::native, DataBufferOffset) == ours::DataBufferOffset.offset);     \
  static_assert(sizeof(::native::DataBufferOffset) == ours::DataBufferOffset.width);        \
  static_assert(offsetof(::native, PreviousTaskFile) == ours::PreviousTaskFile.offset);     \
  static_assert(sizeof(::native::PreviousTaskFile) == ours::PreviousTaskFile.width);        \
  static_assert(offsetof(::native, CurrentTaskFile) == ours::CurrentTaskFile.offset);       \
  static_assert(sizeof(::native::CurrentTaskFile) == ours::CurrentTaskFile.width)

#define HDSN_SAME_SCSI_PASS_THROUGH(native, ours)                                           \
  static_assert(sizeof(::native) == ours::kSize, #native " size");                          \
  static_assert(offsetof(::native, Length) == ours::Length.offset);                         \
  static_assert(offsetof(::native, ScsiStatus) == ours::ScsiStatus.offset);                 \
  static_assert(offsetof(::native, PathId) == ours::PathId.offset);                         \
  static_assert(offsetof(::native, TargetId) == ours::TargetId.offset);                     \
  static_assert(offsetof(::native, Lun) == ours::Lun.offset);                               \
  static_assert(offsetof(::native, CdbLength) == ours::CdbLength.offset);                   \
  static_assert(offsetof(::native, SenseInfoLength) == ours::SenseInfoLength.offset);       \
  static_assert(offsetof(::native, DataIn) == ours::DataIn.offset);                         \
  static_assert(offsetof(::native, DataTransferLength) == ours::DataTransferLength.offset); \
  static_assert(offsetof(::native, TimeOutValue) == ours::TimeOutValue.offset);             \
  static_assert(offsetof(::native, DataBufferOffset) == ours::DataBufferOffset.offset);     \
  static_assert(sizeof(::native::DataBufferOffset) == ours::DataBufferOffset.width);        \
  static_assert(offsetof(::native, SenseInfoOffset) == ours::SenseInfoOffset.offset);       \
  static_assert(offsetof(::native, Cdb) == ours::Cdb.offset);                               \
  static_assert(sizeof(::native::Cdb) == ours::Cdb.width)

HDSN_SAME_ATA_PASS_THROUGH(ATA_PASS_THROUGH_EX, ATA_PASS_THROUGH_EX);
HDSN_SAME_SCSI_PASS_THROUGH(SCSI_PASS_THROUGH, SCSI_PASS_THROUGH);
#if defined(_WIN64)
static_assert(sizeof(void*) == 8 && ATA_PASS_THROUGH_EX::kSize == ATA_PASS_THROUGH_EX64::kSize);
HDSN_SAME_ATA_PASS_THROUGH(ATA_PASS_THROUGH_EX32, ATA_PASS_THROUGH_EX32);
HDSN_SAME_SCSI_PASS_THROUGH(SCSI_PASS_THROUGH32, SCSI_PASS_THROUGH32);
#else
static_assert(sizeof(void*) == 4 && ATA_PASS_THROUGH_EX::kSize == ATA_PASS_THROUGH_EX32::kSize);
#endif

#undef HDSN_SAME_ATA_PASS_THROUGH
#undef HDSN_SAME_SCSI_PASS_THROUGH
#undef HDSN_SAME_FIELD

// The INQUIRY command block (SCSIOP_INQUIRY, CDB6INQUIRY3) and the unit
// serial number page (VPD_SERIAL_NUMBER_PAGE) are declared in the driver
// kit's scsi.h alone, which a program cannot include; their values in
// protocol/scsi.h are pinned from the SCSI Primary Commands standard
// (INQUIRY: operation code 0x12, EVPD in bit 0 of byte 1, page code byte 2,
// allocation length bytes 3-4 most significant first; page 0x80: page code
// byte 1, page length byte 3, the serial from byte 4). So is ATA
// PASS-THROUGH (16), from the SCSI / ATA Translation standard; scsi.cpp
// checks its IDENTIFY DEVICE command block byte by byte.

}  // namespace
}  // namespace hdsn::layout
