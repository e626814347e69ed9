// Request and answer layouts of the Windows sources' control requests, as
// offsets and widths in bytes, in the manner of devices/device_layouts.h
// (whose CtlCode and storage descriptor layouts they build on). The NVMe
// query structures and the property descriptors are plain DWORDs; the two pass-through headers hold
// a pointer-sized field and so have one layout per pointer size, the one in use chosen by the
// build's own pointer size. The Win32 build checks every value against the Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "devices/device_layouts.h"
#include "protocol/ata.h"
#include "protocol/nvme.h"
#include "protocol/scsi.h"

namespace hdsn::layout {

inline constexpr std::uint32_t kIoctlAtaPassThrough = 0x0004D02C;
inline constexpr std::uint32_t kIoctlScsiPassThrough = 0x0004D004;
static_assert(kIoctlAtaPassThrough == CtlCode(kFileDeviceController, 0x40B, kMethodBuffered,
                                              kFileReadAccess | kFileWriteAccess));
static_assert(kIoctlScsiPassThrough == CtlCode(kFileDeviceController, 0x401, kMethodBuffered,
                                               kFileReadAccess | kFileWriteAccess));

// The system disk: asked of the system volume's device (\\.\C:), which
// opens with no access rights.
inline constexpr std::uint32_t kIoctlVolumeBase = 0x56;  // 'V'
inline constexpr std::uint32_t kIoctlVolumeGetVolumeDiskExtents = 0x00560000;
inline constexpr std::uint32_t kIoctlStorageGetDeviceNumber = 0x002D1080;
static_assert(kIoctlVolumeGetVolumeDiskExtents ==
              CtlCode(kIoctlVolumeBase, 0, kMethodBuffered, kFileAnyAccess));
static_assert(kIoctlStorageGetDeviceNumber ==
              CtlCode(kFileDeviceMassStorage, 0x420, kMethodBuffered, kFileAnyAccess));

// One stretch of a volume on one disk.
struct DISK_EXTENT {
  static constexpr Field DiskNumber{0, 4};
  static constexpr Field StartingOffset{8, 8};  // four bytes of padding before it
  static constexpr Field ExtentLength{16, 8};
  static constexpr std::size_t kSize = 24;
};
static_assert(DISK_EXTENT::DiskNumber.end() + 4 == DISK_EXTENT::StartingOffset.offset);
static_assert(Adjacent(DISK_EXTENT::StartingOffset, DISK_EXTENT::ExtentLength));
static_assert(DISK_EXTENT::ExtentLength.end() == DISK_EXTENT::kSize);

// The volume's extents: the count, then as many DISK_EXTENTs, the first one
// declared in the structure (aligned to 8).
struct VOLUME_DISK_EXTENTS {
  static constexpr Field NumberOfDiskExtents{0, 4};
  static constexpr Field Extents{8, DISK_EXTENT::kSize};  // the first of NumberOfDiskExtents
  static constexpr std::size_t kSize = 32;
};
static_assert(VOLUME_DISK_EXTENTS::NumberOfDiskExtents.end() + 4 ==
              VOLUME_DISK_EXTENTS::Extents.offset);
static_assert(VOLUME_DISK_EXTENTS::Extents.end() == VOLUME_DISK_EXTENTS::kSize);

// Room for the extents of a volume spanning many disks: a volume with more
// answers ERROR_MORE_DATA, and the program then asks its device number.
struct VolumeExtentsBuffer {
  static constexpr std::size_t kExtents = 64;
  static constexpr std::size_t kSize =
      VOLUME_DISK_EXTENTS::Extents.offset + kExtents * DISK_EXTENT::kSize;
};
static_assert(VolumeExtentsBuffer::kSize == 1544);

struct STORAGE_DEVICE_NUMBER {
  static constexpr Field DeviceType{0, 4};
  static constexpr Field DeviceNumber{4, 4};
  static constexpr Field PartitionNumber{8, 4};
  static constexpr std::size_t kSize = 12;
};
static_assert(Adjacent(STORAGE_DEVICE_NUMBER::DeviceType, STORAGE_DEVICE_NUMBER::DeviceNumber));
static_assert(Adjacent(STORAGE_DEVICE_NUMBER::DeviceNumber,
                       STORAGE_DEVICE_NUMBER::PartitionNumber));
static_assert(STORAGE_DEVICE_NUMBER::PartitionNumber.end() == STORAGE_DEVICE_NUMBER::kSize);

// STORAGE_PROPERTY_ID and STORAGE_QUERY_TYPE values.
inline constexpr std::uint32_t kStorageDeviceProperty = 0;
inline constexpr std::uint32_t kStorageDeviceIdProperty = 2;
inline constexpr std::uint32_t kStorageAccessAlignmentProperty = 6;
inline constexpr std::uint32_t kStorageDeviceSeekPenaltyProperty = 7;
inline constexpr std::uint32_t kStorageAdapterProtocolSpecificProperty = 49;
inline constexpr std::uint32_t kStorageDeviceProtocolSpecificProperty = 50;
inline constexpr std::uint32_t kPropertyStandardQuery = 0;

// STORAGE_PROTOCOL_TYPE and STORAGE_PROTOCOL_NVME_DATA_TYPE.
inline constexpr std::uint32_t kProtocolTypeNvme = 3;
inline constexpr std::uint32_t kNvmeDataTypeIdentify = 1;

// What a protocol-specific query asks for, right after the property id and
// query type of STORAGE_PROPERTY_QUERY (in its AdditionalParameters), and
// what the answer describes. ProtocolDataOffset counts from the start of
// this structure.
struct STORAGE_PROTOCOL_SPECIFIC_DATA {
  static constexpr Field ProtocolType{0, 4};
  static constexpr Field DataType{4, 4};
  static constexpr Field ProtocolDataRequestValue{8, 4};
  static constexpr Field ProtocolDataRequestSubValue{12, 4};
  static constexpr Field ProtocolDataOffset{16, 4};
  static constexpr Field ProtocolDataLength{20, 4};
  static constexpr Field FixedProtocolReturnData{24, 4};
  static constexpr Field ProtocolDataRequestSubValue2{28, 4};
  static constexpr Field ProtocolDataRequestSubValue3{32, 4};
  static constexpr Field ProtocolDataRequestSubValue4{36, 4};
  static constexpr std::size_t kSize = 40;
};
static_assert(Adjacent(STORAGE_PROTOCOL_SPECIFIC_DATA::ProtocolDataOffset,
                       STORAGE_PROTOCOL_SPECIFIC_DATA::ProtocolDataLength));
static_assert(STORAGE_PROTOCOL_SPECIFIC_DATA::ProtocolDataRequestSubValue4.end() ==
              STORAGE_PROTOCOL_SPECIFIC_DATA::kSize);
static_assert(STORAGE_PROTOCOL_SPECIFIC_DATA::kSize == 40);

// The answer of a protocol-specific query.
struct STORAGE_PROTOCOL_DATA_DESCRIPTOR {
  static constexpr Field Version{0, 4};
  static constexpr Field Size{4, 4};
  static constexpr Field ProtocolSpecificData{8, STORAGE_PROTOCOL_SPECIFIC_DATA::kSize};
  static constexpr std::size_t kSize = 48;
};
static_assert(Adjacent(STORAGE_PROTOCOL_DATA_DESCRIPTOR::Size,
                       STORAGE_PROTOCOL_DATA_DESCRIPTOR::ProtocolSpecificData));
static_assert(STORAGE_PROTOCOL_DATA_DESCRIPTOR::ProtocolSpecificData.end() ==
              STORAGE_PROTOCOL_DATA_DESCRIPTOR::kSize);

// The one buffer of the NVMe identify query, request and answer alike: the
// property id and query type, the protocol-specific data, then room for the
// identify data right after it.
struct NvmeIdentifyBuffer {
  static constexpr std::size_t kProtocolData = STORAGE_PROPERTY_QUERY::AdditionalParameters.offset;
  static constexpr std::size_t kIdentifyData =
      kProtocolData + STORAGE_PROTOCOL_SPECIFIC_DATA::kSize;
  static constexpr std::uint32_t kDataOffset = STORAGE_PROTOCOL_SPECIFIC_DATA::kSize;
  static constexpr std::uint32_t kDataLength = kNvmeIdentifySize;
  static constexpr std::size_t kSize = kIdentifyData + kDataLength;
};
static_assert(NvmeIdentifyBuffer::kProtocolData == 8);
static_assert(NvmeIdentifyBuffer::kProtocolData ==
              STORAGE_PROTOCOL_DATA_DESCRIPTOR::ProtocolSpecificData.offset);
static_assert(NvmeIdentifyBuffer::kSize == 4144);
static_assert(layout::NVME_IDENTIFY_NAMESPACE_DATA::kSize == NvmeIdentifyBuffer::kDataLength);

// The answer of the device id property: the designators of the device
// identification page (VPD 0x83) as the storage stack keeps them, each a
// STORAGE_IDENTIFIER at NextOffset from the one before, the first at
// Identifiers.
struct STORAGE_DEVICE_ID_DESCRIPTOR {
  static constexpr Field Version{0, 4};
  static constexpr Field Size{4, 4};
  static constexpr Field NumberOfIdentifiers{8, 4};
  static constexpr Field Identifiers{12, 1};
  static constexpr std::size_t kSize = 16;  // as declared, padded to a multiple of 4
};
static_assert(Adjacent(STORAGE_DEVICE_ID_DESCRIPTOR::NumberOfIdentifiers,
                       STORAGE_DEVICE_ID_DESCRIPTOR::Identifiers));
// One designator: the page's code set, designator type and association as
// enumerations of their own, which keep the page's numbers (NAA is
// StorageIdTypeFCPHName, 3).
struct STORAGE_IDENTIFIER {
  static constexpr Field CodeSet{0, 4};
  static constexpr Field Type{4, 4};
  static constexpr Field IdentifierSize{8, 2};
  static constexpr Field NextOffset{10, 2};  // from this identifier's start; 0: the last
  static constexpr Field Association{12, 4};
  static constexpr Field Identifier{16, 1};  // IdentifierSize bytes
  static constexpr std::size_t kSize = 20;
};
static_assert(Adjacent(STORAGE_IDENTIFIER::IdentifierSize, STORAGE_IDENTIFIER::NextOffset));
static_assert(Adjacent(STORAGE_IDENTIFIER::Association, STORAGE_IDENTIFIER::Identifier));

// The answer of the access alignment property.
struct STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR {
  static constexpr Field Version{0, 4};
  static constexpr Field Size{4, 4};
  static constexpr Field BytesPerCacheLine{8, 4};
  static constexpr Field BytesOffsetForCacheAlignment{12, 4};
  static constexpr Field BytesPerLogicalSector{16, 4};
  static constexpr Field BytesPerPhysicalSector{20, 4};
  static constexpr Field BytesOffsetForSectorAlignment{24, 4};
  static constexpr std::size_t kSize = 28;
};
static_assert(Adjacent(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR::BytesPerLogicalSector,
                       STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR::BytesPerPhysicalSector));
static_assert(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR::BytesOffsetForSectorAlignment.end() ==
              STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR::kSize);

// The answer of the seek penalty property: whether the device's media
// moves to a sector (a spinning disk) or not.
struct DEVICE_SEEK_PENALTY_DESCRIPTOR {
  static constexpr Field Version{0, 4};
  static constexpr Field Size{4, 4};
  static constexpr Field IncursSeekPenalty{8, 1};
  static constexpr std::size_t kSize = 12;  // three bytes of tail padding
};
static_assert(Adjacent(DEVICE_SEEK_PENALTY_DESCRIPTOR::Size,
                       DEVICE_SEEK_PENALTY_DESCRIPTOR::IncursSeekPenalty));

// IOCTL_DISK_GET_DRIVE_GEOMETRY_EX's answer: the geometry of old, whose
// BytesPerSector is the logical sector, the size in bytes, then partition
// and detection data the program does not read (the buffer has room for
// them, so the driver does not refuse a short one).
inline constexpr std::uint32_t kIoctlDiskGetDriveGeometryEx = 0x000700A0;
static_assert(kIoctlDiskGetDriveGeometryEx ==
              CtlCode(kFileDeviceDisk, 0x28, kMethodBuffered, kFileAnyAccess));
struct DISK_GEOMETRY {
  static constexpr Field Cylinders{0, 8};
  static constexpr Field MediaType{8, 4};
  static constexpr Field TracksPerCylinder{12, 4};
  static constexpr Field SectorsPerTrack{16, 4};
  static constexpr Field BytesPerSector{20, 4};
  static constexpr std::size_t kSize = 24;
};
static_assert(DISK_GEOMETRY::BytesPerSector.end() == DISK_GEOMETRY::kSize);
struct DISK_GEOMETRY_EX {
  static constexpr Field Geometry{0, DISK_GEOMETRY::kSize};
  static constexpr Field DiskSize{24, 8};  // signed
  static constexpr Field Data{32, 1};
  static constexpr std::size_t kSize = 40;  // as declared, padded to a multiple of 8
};
static_assert(Adjacent(DISK_GEOMETRY_EX::Geometry, DISK_GEOMETRY_EX::DiskSize));
static_assert(Adjacent(DISK_GEOMETRY_EX::DiskSize, DISK_GEOMETRY_EX::Data));
inline constexpr std::size_t kGeometryAnswerSize = 256;

// IOCTL_SCSI_GET_ADDRESS, which needs no access rights: where the disk sits
// on its port. Windows' NVMe driver numbers a namespace's logical unit one
// less than its namespace ID.
inline constexpr std::uint32_t kIoctlScsiGetAddress = 0x00041018;
static_assert(kIoctlScsiGetAddress ==
              CtlCode(kFileDeviceController, 0x406, kMethodBuffered, kFileAnyAccess));
struct SCSI_ADDRESS {
  static constexpr Field Length{0, 4};
  static constexpr Field PortNumber{4, 1};
  static constexpr Field PathId{5, 1};
  static constexpr Field TargetId{6, 1};
  static constexpr Field Lun{7, 1};
  static constexpr std::size_t kSize = 8;
};
static_assert(SCSI_ADDRESS::Lun.end() == SCSI_ADDRESS::kSize);

// ATA_PASS_THROUGH_EX flags.
inline constexpr std::uint16_t kAtaFlagsDrdyRequired = 0x01;
inline constexpr std::uint16_t kAtaFlagsDataIn = 0x02;

// The header of IOCTL_ATA_PASS_THROUGH with a 32-bit DataBufferOffset
// (32-bit Windows), then with a 64-bit one (64-bit Windows, which aligns it
// to 8). The task files hold the registers in the order of IDEREGS; the
// answer's CurrentTaskFile holds the error register first and the status
// register where the command went.
struct ATA_PASS_THROUGH_EX32 {
  static constexpr Field Length{0, 2};
  static constexpr Field AtaFlags{2, 2};
  static constexpr Field PathId{4, 1};
  static constexpr Field TargetId{5, 1};
  static constexpr Field Lun{6, 1};
  static constexpr Field ReservedAsUchar{7, 1};
  static constexpr Field DataTransferLength{8, 4};
  static constexpr Field TimeOutValue{12, 4};
  static constexpr Field ReservedAsUlong{16, 4};
  static constexpr Field DataBufferOffset{20, 4};
  static constexpr Field PreviousTaskFile{24, 8};
  static constexpr Field CurrentTaskFile{32, 8};
  static constexpr std::size_t kSize = 40;
};
static_assert(Adjacent(ATA_PASS_THROUGH_EX32::ReservedAsUlong,
                       ATA_PASS_THROUGH_EX32::DataBufferOffset));
static_assert(Adjacent(ATA_PASS_THROUGH_EX32::DataBufferOffset,
                       ATA_PASS_THROUGH_EX32::PreviousTaskFile));
static_assert(Adjacent(ATA_PASS_THROUGH_EX32::PreviousTaskFile,
                       ATA_PASS_THROUGH_EX32::CurrentTaskFile));
static_assert(ATA_PASS_THROUGH_EX32::CurrentTaskFile.end() == ATA_PASS_THROUGH_EX32::kSize);
static_assert(ATA_PASS_THROUGH_EX32::kSize == 40);

struct ATA_PASS_THROUGH_EX64 {
  static constexpr Field Length{0, 2};
  static constexpr Field AtaFlags{2, 2};
  static constexpr Field PathId{4, 1};
  static constexpr Field TargetId{5, 1};
  static constexpr Field Lun{6, 1};
  static constexpr Field ReservedAsUchar{7, 1};
  static constexpr Field DataTransferLength{8, 4};
  static constexpr Field TimeOutValue{12, 4};
  static constexpr Field ReservedAsUlong{16, 4};
  static constexpr Field DataBufferOffset{24, 8};  // four bytes of padding before it
  static constexpr Field PreviousTaskFile{32, 8};
  static constexpr Field CurrentTaskFile{40, 8};
  static constexpr std::size_t kSize = 48;
};
static_assert(ATA_PASS_THROUGH_EX64::ReservedAsUlong.end() + 4 ==
              ATA_PASS_THROUGH_EX64::DataBufferOffset.offset);
static_assert(Adjacent(ATA_PASS_THROUGH_EX64::DataBufferOffset,
                       ATA_PASS_THROUGH_EX64::PreviousTaskFile));
static_assert(Adjacent(ATA_PASS_THROUGH_EX64::PreviousTaskFile,
                       ATA_PASS_THROUGH_EX64::CurrentTaskFile));
static_assert(ATA_PASS_THROUGH_EX64::CurrentTaskFile.end() == ATA_PASS_THROUGH_EX64::kSize);
static_assert(ATA_PASS_THROUGH_EX64::kSize == 48);

using ATA_PASS_THROUGH_EX =
    std::conditional_t<sizeof(void*) == 8, ATA_PASS_THROUGH_EX64, ATA_PASS_THROUGH_EX32>;
static_assert(ATA_PASS_THROUGH_EX::DataBufferOffset.width == sizeof(void*));

// The ATA identify request and its answer share one buffer: the header, then
// the 512 IDENTIFY bytes.
struct AtaIdentifyBuffer {
  static constexpr std::size_t kData = ATA_PASS_THROUGH_EX::kSize;
  static constexpr std::size_t kSize = kData + kIdentifyBlockSize;
};

// SCSI_PASS_THROUGH's DataIn value for a transfer from the device.
inline constexpr std::uint8_t kScsiIoctlDataIn = 1;

// The header of IOCTL_SCSI_PASS_THROUGH with a 32-bit DataBufferOffset, then
// with a 64-bit one (aligned to 8, the structure padded to a multiple of 8).
struct SCSI_PASS_THROUGH32 {
  static constexpr Field Length{0, 2};
  static constexpr Field ScsiStatus{2, 1};
  static constexpr Field PathId{3, 1};
  static constexpr Field TargetId{4, 1};
  static constexpr Field Lun{5, 1};
  static constexpr Field CdbLength{6, 1};
  static constexpr Field SenseInfoLength{7, 1};
  static constexpr Field DataIn{8, 1};
  static constexpr Field DataTransferLength{12, 4};  // three bytes of padding before it
  static constexpr Field TimeOutValue{16, 4};
  static constexpr Field DataBufferOffset{20, 4};
  static constexpr Field SenseInfoOffset{24, 4};
  static constexpr Field Cdb{28, 16};
  static constexpr std::size_t kSize = 44;
};
static_assert(SCSI_PASS_THROUGH32::DataIn.end() + 3 ==
              SCSI_PASS_THROUGH32::DataTransferLength.offset);
static_assert(Adjacent(SCSI_PASS_THROUGH32::DataTransferLength, SCSI_PASS_THROUGH32::TimeOutValue));
static_assert(Adjacent(SCSI_PASS_THROUGH32::TimeOutValue, SCSI_PASS_THROUGH32::DataBufferOffset));
static_assert(Adjacent(SCSI_PASS_THROUGH32::DataBufferOffset,
                       SCSI_PASS_THROUGH32::SenseInfoOffset));
static_assert(Adjacent(SCSI_PASS_THROUGH32::SenseInfoOffset, SCSI_PASS_THROUGH32::Cdb));
static_assert(SCSI_PASS_THROUGH32::Cdb.end() == SCSI_PASS_THROUGH32::kSize);
static_assert(SCSI_PASS_THROUGH32::kSize == 44);

struct SCSI_PASS_THROUGH64 {
  static constexpr Field Length{0, 2};
  static constexpr Field ScsiStatus{2, 1};
  static constexpr Field PathId{3, 1};
  static constexpr Field TargetId{4, 1};
  static constexpr Field Lun{5, 1};
  static constexpr Field CdbLength{6, 1};
  static constexpr Field SenseInfoLength{7, 1};
  static constexpr Field DataIn{8, 1};
  static constexpr Field DataTransferLength{12, 4};
  static constexpr Field TimeOutValue{16, 4};
  static constexpr Field DataBufferOffset{24, 8};  // four bytes of padding before it
  static constexpr Field SenseInfoOffset{32, 4};
  static constexpr Field Cdb{36, 16};
  static constexpr std::size_t kSize = 56;  // four bytes of tail padding
};
static_assert(SCSI_PASS_THROUGH64::TimeOutValue.end() + 4 ==
              SCSI_PASS_THROUGH64::DataBufferOffset.offset);
static_assert(Adjacent(SCSI_PASS_THROUGH64::DataBufferOffset,
                       SCSI_PASS_THROUGH64::SenseInfoOffset));
static_assert(Adjacent(SCSI_PASS_THROUGH64::SenseInfoOffset, SCSI_PASS_THROUGH64::Cdb));
static_assert(SCSI_PASS_THROUGH64::Cdb.end() + 4 == SCSI_PASS_THROUGH64::kSize);
static_assert(SCSI_PASS_THROUGH64::kSize == 56);

using SCSI_PASS_THROUGH =
    std::conditional_t<sizeof(void*) == 8, SCSI_PASS_THROUGH64, SCSI_PASS_THROUGH32>;
static_assert(SCSI_PASS_THROUGH::DataBufferOffset.width == sizeof(void*));

// A SCSI pass-through request and its answer share one buffer: the header,
// the sense data the port driver writes when the command fails, then the
// data the command asks for (a ScsiQuery's dataSize).
struct ScsiPassThroughBuffer {
  static constexpr std::size_t kSense = SCSI_PASS_THROUGH::kSize;
  static constexpr std::size_t kData = kSense + kScsiSenseSize;
  static constexpr std::size_t Size(std::uint32_t dataSize) { return kData + dataSize; }
  // Room for the largest data asked: one IDENTIFY block.
  static constexpr std::size_t kLargest = kData + kIdentifyBlockSize;
};
static_assert(ScsiPassThroughBuffer::kData % 4 == 0);
static_assert(kSatIdentifyQuery.dataSize <= kIdentifyBlockSize &&
              kVpdSerialQuery.dataSize <= kIdentifyBlockSize);

}  // namespace hdsn::layout
