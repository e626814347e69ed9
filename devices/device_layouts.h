// Request and answer layouts of the Windows disk drivers' control requests,
// as offsets and widths in bytes (protocol/layout.h), and the control codes
// with CTL_CODE's arithmetic. The platform declares the SMART structures
// with one-byte packing; SRB_IO_CONTROL and the VxD answer have no gaps
// either; the two storage property structures are naturally aligned and end
// in tail padding, which their sizes below include. Nothing here depends on
// this compiler's padding: the Win32 build checks every value against the
// Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/ata.h"
#include "protocol/layout.h"

namespace hdsn::layout {

// CTL_CODE of the platform: device type, required access, function, method.
constexpr std::uint32_t CtlCode(std::uint32_t deviceType, std::uint32_t function,
                                std::uint32_t method, std::uint32_t access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}
inline constexpr std::uint32_t kMethodBuffered = 0;
inline constexpr std::uint32_t kFileAnyAccess = 0;
inline constexpr std::uint32_t kFileReadAccess = 1;
inline constexpr std::uint32_t kFileWriteAccess = 2;
inline constexpr std::uint32_t kFileDeviceController = 0x04;
inline constexpr std::uint32_t kFileDeviceDisk = 0x07;
inline constexpr std::uint32_t kFileDeviceMassStorage = 0x2D;

inline constexpr std::uint32_t kSmartGetVersion = 0x00074080;
inline constexpr std::uint32_t kSmartRcvDriveData = 0x0007C088;
inline constexpr std::uint32_t kIoctlScsiMiniport = 0x0004D008;
// Not a device control code: the function a miniport request names in its
// SRB_IO_CONTROL header.
inline constexpr std::uint32_t kIoctlScsiMiniportIdentify = 0x001B0501;
inline constexpr std::uint32_t kIoctlStorageQueryProperty = 0x002D1400;
inline constexpr std::uint32_t kIoctlStorageGetMediaSerialNumber = 0x002D0C10;
// The legacy IDE VxD's one request: every drive's IDENTIFY data at once.
inline constexpr std::uint32_t kVxdIdentifyCode = 1;

static_assert(kSmartGetVersion == CtlCode(kFileDeviceDisk, 0x20, kMethodBuffered, kFileReadAccess));
static_assert(kSmartRcvDriveData ==
              CtlCode(kFileDeviceDisk, 0x22, kMethodBuffered, kFileReadAccess | kFileWriteAccess));
static_assert(kIoctlScsiMiniport == CtlCode(kFileDeviceController, 0x402, kMethodBuffered,
                                            kFileReadAccess | kFileWriteAccess));
static_assert(kIoctlStorageQueryProperty ==
              CtlCode(kFileDeviceMassStorage, 0x500, kMethodBuffered, kFileAnyAccess));
static_assert(kIoctlStorageGetMediaSerialNumber ==
              CtlCode(kFileDeviceMassStorage, 0x304, kMethodBuffered, kFileAnyAccess));

// Answer of SMART_GET_VERSION.
struct GETVERSIONINPARAMS {
  static constexpr Field bVersion{0, 1};
  static constexpr Field bRevision{1, 1};
  static constexpr Field bReserved{2, 1};
  // Bits 0-3: IDE devices at primary master, primary slave, secondary
  // master, secondary slave; bits 4-7: ATAPI devices at the same places.
  static constexpr Field bIDEDeviceMap{3, 1};
  static constexpr Field fCapabilities{4, 4};
  static constexpr Field dwReserved{8, 16};
  static constexpr std::size_t kSize = 24;
};
static_assert(Adjacent(GETVERSIONINPARAMS::bIDEDeviceMap, GETVERSIONINPARAMS::fCapabilities));
static_assert(GETVERSIONINPARAMS::dwReserved.end() == GETVERSIONINPARAMS::kSize);
static_assert(GETVERSIONINPARAMS::kSize == 24);

// The ATA task-file registers.
struct IDEREGS {
  static constexpr Field bFeaturesReg{0, 1};
  static constexpr Field bSectorCountReg{1, 1};
  static constexpr Field bSectorNumberReg{2, 1};
  static constexpr Field bCylLowReg{3, 1};
  static constexpr Field bCylHighReg{4, 1};
  static constexpr Field bDriveHeadReg{5, 1};
  static constexpr Field bCommandReg{6, 1};
  static constexpr Field bReserved{7, 1};
  static constexpr std::size_t kSize = 8;
};
static_assert(IDEREGS::bReserved.end() == IDEREGS::kSize);

// Request of SMART_RCV_DRIVE_DATA. The declared structure ends in a one-byte
// bBuffer, which is where a command's outgoing data would start; IDENTIFY
// has none, so the disk driver wants only the 32 bytes before it.
struct SENDCMDINPARAMS {
  static constexpr Field cBufferSize{0, 4};
  static constexpr Field irDriveRegs{4, IDEREGS::kSize};
  static constexpr Field bDriveNumber{12, 1};
  static constexpr Field bReserved{13, 3};
  static constexpr Field dwReserved{16, 16};
  static constexpr Field bBuffer{32, 1};
  static constexpr std::size_t kSize = 33;
  static constexpr std::size_t kSizeWithoutBuffer = 32;
};
static_assert(Adjacent(SENDCMDINPARAMS::cBufferSize, SENDCMDINPARAMS::irDriveRegs));
static_assert(Adjacent(SENDCMDINPARAMS::irDriveRegs, SENDCMDINPARAMS::bDriveNumber));
static_assert(Adjacent(SENDCMDINPARAMS::bDriveNumber, SENDCMDINPARAMS::bReserved));
static_assert(Adjacent(SENDCMDINPARAMS::bReserved, SENDCMDINPARAMS::dwReserved));
static_assert(Adjacent(SENDCMDINPARAMS::dwReserved, SENDCMDINPARAMS::bBuffer));
static_assert(SENDCMDINPARAMS::bBuffer.end() == SENDCMDINPARAMS::kSize);
static_assert(SENDCMDINPARAMS::kSize == 33 && SENDCMDINPARAMS::kSizeWithoutBuffer == 32);

// Offset of a task-file register within SENDCMDINPARAMS.
constexpr std::size_t InParamsRegister(Field reg) {
  return SENDCMDINPARAMS::irDriveRegs.offset + reg.offset;
}
static_assert(InParamsRegister(IDEREGS::bCommandReg) == 10);

struct DRIVERSTATUS {
  static constexpr Field bDriverError{0, 1};
  static constexpr Field bIDEError{1, 1};
  static constexpr Field bReserved{2, 2};
  static constexpr Field dwReserved{4, 8};
  static constexpr std::size_t kSize = 12;
};
static_assert(DRIVERSTATUS::dwReserved.end() == DRIVERSTATUS::kSize);

// Answer of SMART_RCV_DRIVE_DATA: a 16-byte header, then the data.
struct SENDCMDOUTPARAMS {
  static constexpr Field cBufferSize{0, 4};
  static constexpr Field DriverStatus{4, DRIVERSTATUS::kSize};
  static constexpr Field bBuffer{16, 1};
  static constexpr std::size_t kSize = 17;  // as declared, with one bBuffer byte
  static constexpr std::size_t kHeaderSize = 16;
  static constexpr std::size_t kIdentifyAnswerSize = kHeaderSize + kIdentifyBlockSize;
};
static_assert(Adjacent(SENDCMDOUTPARAMS::DriverStatus, SENDCMDOUTPARAMS::bBuffer));
static_assert(SENDCMDOUTPARAMS::bBuffer.end() == SENDCMDOUTPARAMS::kSize);
static_assert(SENDCMDOUTPARAMS::kIdentifyAnswerSize == 16 + 512);

// Header of a request passed through IOCTL_SCSI_MINIPORT to the miniport.
struct SRB_IO_CONTROL {
  static constexpr Field HeaderLength{0, 4};
  static constexpr Field Signature{4, 8};
  static constexpr Field Timeout{12, 4};  // in seconds
  static constexpr Field ControlCode{16, 4};
  static constexpr Field ReturnCode{20, 4};
  static constexpr Field Length{24, 4};  // bytes after the header
  static constexpr std::size_t kSize = 28;
};
static_assert(SRB_IO_CONTROL::Length.end() == SRB_IO_CONTROL::kSize);

// The miniport identify request and its answer share one buffer: the header,
// then SENDCMDINPARAMS going out and SENDCMDOUTPARAMS with the 512 IDENTIFY
// bytes coming back.
struct MiniportIdentifyBuffer {
  static constexpr std::size_t kInParams = SRB_IO_CONTROL::kSize;
  static constexpr std::size_t kOutParams = SRB_IO_CONTROL::kSize;
  // What follows the header in the answer: SENDCMDOUTPARAMS as declared
  // (17 bytes) stretched by the 512 data bytes, one byte more than it needs.
  static constexpr std::uint32_t kDataLength = SENDCMDOUTPARAMS::kSize + kIdentifyBlockSize;
  static constexpr std::size_t kSize = SRB_IO_CONTROL::kSize + kDataLength;
  // The header and SENDCMDINPARAMS without its bBuffer byte.
  static constexpr std::uint32_t kInputSize =
      SRB_IO_CONTROL::kSize + SENDCMDINPARAMS::kSizeWithoutBuffer;
  static constexpr std::size_t kIdentifyBlock = kOutParams + SENDCMDOUTPARAMS::bBuffer.offset;
  // Low byte of IDENTIFY word 27, the first word of the model number.
  static constexpr std::size_t kModelByte = kIdentifyBlock + 54;
};
static_assert(MiniportIdentifyBuffer::kDataLength == 529);
static_assert(MiniportIdentifyBuffer::kSize == 557);
static_assert(MiniportIdentifyBuffer::kInputSize == 60);
static_assert(MiniportIdentifyBuffer::kIdentifyBlock == 44);
static_assert(MiniportIdentifyBuffer::kModelByte == 98);
static_assert(MiniportIdentifyBuffer::kIdentifyBlock + kIdentifyBlockSize <
              MiniportIdentifyBuffer::kSize);

// Request of IOCTL_STORAGE_QUERY_PROPERTY.
struct STORAGE_PROPERTY_QUERY {
  static constexpr Field PropertyId{0, 4};  // StorageDeviceProperty = 0
  static constexpr Field QueryType{4, 4};   // PropertyStandardQuery = 0
  static constexpr Field AdditionalParameters{8, 1};
  static constexpr std::size_t kSize = 12;  // three bytes of tail padding
};
static_assert(STORAGE_PROPERTY_QUERY::AdditionalParameters.end() + 3 ==
              STORAGE_PROPERTY_QUERY::kSize);

// Answer of the device property query. The text offsets count from the
// start of the answer.
struct STORAGE_DEVICE_DESCRIPTOR {
  static constexpr Field Version{0, 4};
  static constexpr Field Size{4, 4};
  static constexpr Field DeviceType{8, 1};
  static constexpr Field DeviceTypeModifier{9, 1};
  static constexpr Field RemovableMedia{10, 1};
  static constexpr Field CommandQueueing{11, 1};
  static constexpr Field VendorIdOffset{12, 4};
  static constexpr Field ProductIdOffset{16, 4};
  static constexpr Field ProductRevisionOffset{20, 4};
  static constexpr Field SerialNumberOffset{24, 4};
  static constexpr Field BusType{28, 4};
  static constexpr Field RawPropertiesLength{32, 4};
  static constexpr Field RawDeviceProperties{36, 1};
  static constexpr std::size_t kSize = 40;  // as declared, padded to a multiple of 4
};
static_assert(Adjacent(STORAGE_DEVICE_DESCRIPTOR::ProductRevisionOffset,
                       STORAGE_DEVICE_DESCRIPTOR::SerialNumberOffset));
static_assert(STORAGE_DEVICE_DESCRIPTOR::SerialNumberOffset.offset == 24);

// Answer of IOCTL_STORAGE_GET_MEDIA_SERIAL_NUMBER.
struct MEDIA_SERIAL_NUMBER_DATA {
  static constexpr Field SerialNumberLength{0, 4};
  static constexpr Field Result{4, 4};
  static constexpr Field Reserved{8, 8};
  static constexpr Field SerialNumberData{16, 1};
};
static_assert(Adjacent(MEDIA_SERIAL_NUMBER_DATA::Reserved,
                       MEDIA_SERIAL_NUMBER_DATA::SerialNumberData));

// Answer of the legacy IDE VxD: one presence flag per controller, one per
// drive (drives 2k and 2k+1 sit on controller k), then each drive's block.
struct VxdIdentifyResult {
  static constexpr int kControllers = 4;
  static constexpr int kDrives = 8;
  static constexpr Field controllerPresent{0, kControllers};
  static constexpr Field drivePresent{4, kDrives};
  static constexpr std::size_t kIdentifyDataSize = kDrives * kIdentifyBlockSize;
  static constexpr Field identifyData{12, kIdentifyDataSize};
  static constexpr std::size_t kSize = 4108;
  static constexpr std::size_t Block(int drive) {
    return identifyData.offset + kIdentifyBlockSize * static_cast<std::size_t>(drive);
  }
};
static_assert(Adjacent(VxdIdentifyResult::controllerPresent, VxdIdentifyResult::drivePresent));
static_assert(Adjacent(VxdIdentifyResult::drivePresent, VxdIdentifyResult::identifyData));
static_assert(VxdIdentifyResult::identifyData.end() == VxdIdentifyResult::kSize);
static_assert(VxdIdentifyResult::kSize == 0x100C);

}  // namespace hdsn::layout
