#include "disks/windows/sources.h"

#include <algorithm>
#include <string>

#include "devices/device_handle.h"
#include "devices/device_layouts.h"
#include "devices/device_path.h"
#include "devices/smart_identify.h"
#include "disks/windows/layouts.h"
#include "disks/windows/readers.h"
#include "platform/text_interface.h"
#include "protocol/byte_order.h"

namespace hdsn {
namespace {

using namespace layout;

constexpr std::uint32_t kShareReadWrite = kFileShareRead | kFileShareWrite;
// Room for a device descriptor with its texts and the bus's raw properties.
constexpr std::uint32_t kDescriptorAnswerSize = 4096;
// Room for the other property descriptors: the device id descriptor holds a
// few designators of a few dozen bytes each (a longer answer is read as far
// as it fits).
constexpr std::uint32_t kPropertyAnswerSize = 1024;

using AnswerReader = AnswerRead (*)(const std::uint8_t* answer, std::size_t size,
                                    std::uint32_t bytesReturned);

// A pointer-sized field: the offsets the program writes fit in 32 bits.
void StoreOffsetField(std::uint8_t* at, Field field, std::uint32_t value) {
  StoreLe32(at + field.offset, value);
  if (field.width == 8) StoreLe32(at + field.offset + 4, 0);
}

DiskSource AskDescriptor(DeviceIoInterface& devices, DeviceHandle device, DeviceSources& disk) {
  // PropertyId StorageDeviceProperty and QueryType PropertyStandardQuery
  // are both 0.
  std::uint8_t query[STORAGE_PROPERTY_QUERY::kSize] = {};
  std::uint8_t answer[kDescriptorAnswerSize] = {};
  std::uint32_t bytesReturned = 0;
  if (devices.DeviceIoControl(device, kIoctlStorageQueryProperty, query, sizeof query, answer,
                              sizeof answer, &bytesReturned) == 0)
    return Refused(kSourceStorageDescriptor, StepError("query", devices.GetLastError()));
  const DescriptorRead read = ReadDeviceDescriptor(answer, sizeof answer, bytesReturned);
  if (read.error.empty()) {
    disk.bus = StorageBus(read.busType);
    disk.removable = read.removable;
  }
  return FromAnswer(kSourceStorageDescriptor, AnswerRead{read.error, read.texts});
}

// A standard query of another property, read by its reader; "query: 50"
// when the request fails.
DiskSource AskProperty(DeviceIoInterface& devices, DeviceHandle device, const char* name,
                       std::uint32_t propertyId, AnswerReader read) {
  std::uint8_t query[STORAGE_PROPERTY_QUERY::kSize] = {};
  StoreLe32(query + STORAGE_PROPERTY_QUERY::PropertyId.offset, propertyId);
  StoreLe32(query + STORAGE_PROPERTY_QUERY::QueryType.offset, kPropertyStandardQuery);
  std::uint8_t answer[kPropertyAnswerSize] = {};
  std::uint32_t bytesReturned = 0;
  if (devices.DeviceIoControl(device, kIoctlStorageQueryProperty, query, sizeof query, answer,
                              sizeof answer, &bytesReturned) == 0)
    return Refused(name, StepError("query", devices.GetLastError()));
  return FromAnswer(name, read(answer, sizeof answer, bytesReturned));
}

DiskSource AskGeometry(DeviceIoInterface& devices, DeviceHandle device) {
  std::uint8_t answer[kGeometryAnswerSize] = {};
  std::uint32_t bytesReturned = 0;
  if (devices.DeviceIoControl(device, kIoctlDiskGetDriveGeometryEx, /*inBuffer=*/nullptr,
                              /*inBufferSize=*/0, answer, sizeof answer, &bytesReturned) == 0)
    return Refused(kSourceDiskGeometry, StepError("geometry", devices.GetLastError()));
  return FromAnswer(kSourceDiskGeometry, ReadDriveGeometry(answer, sizeof answer, bytesReturned));
}

// One protocol-specific query for identify data: CNS and namespace ID, the
// data read by its reader.
AnswerRead AskNvmeProperty(DeviceIoInterface& devices, DeviceHandle device,
                           std::uint32_t propertyId, std::uint32_t cns, std::uint32_t namespaceId,
                           AnswerReader read) {
  std::uint8_t buffer[NvmeIdentifyBuffer::kSize] = {};
  StoreLe32(buffer + STORAGE_PROPERTY_QUERY::PropertyId.offset, propertyId);
  StoreLe32(buffer + STORAGE_PROPERTY_QUERY::QueryType.offset, kPropertyStandardQuery);
  std::uint8_t* protocol = buffer + NvmeIdentifyBuffer::kProtocolData;
  StoreLe32(protocol + STORAGE_PROTOCOL_SPECIFIC_DATA::ProtocolType.offset, kProtocolTypeNvme);
  StoreLe32(protocol + STORAGE_PROTOCOL_SPECIFIC_DATA::DataType.offset, kNvmeDataTypeIdentify);
  StoreLe32(protocol + STORAGE_PROTOCOL_SPECIFIC_DATA::ProtocolDataRequestValue.offset, cns);
  StoreLe32(protocol + STORAGE_PROTOCOL_SPECIFIC_DATA::ProtocolDataRequestSubValue.offset,
            namespaceId);
  StoreLe32(protocol + STORAGE_PROTOCOL_SPECIFIC_DATA::ProtocolDataOffset.offset,
            NvmeIdentifyBuffer::kDataOffset);
  StoreLe32(protocol + STORAGE_PROTOCOL_SPECIFIC_DATA::ProtocolDataLength.offset,
            NvmeIdentifyBuffer::kDataLength);
  std::uint32_t bytesReturned = 0;
  if (devices.DeviceIoControl(device, kIoctlStorageQueryProperty, buffer, sizeof buffer, buffer,
                              sizeof buffer, &bytesReturned) == 0)
    return AnswerRead{StepError("query", devices.GetLastError()), {}};
  return read(buffer, sizeof buffer, bytesReturned);
}

// The controller's identify data: the adapter's property answers on most
// systems, the device's on some.
DiskSource AskNvme(DeviceIoInterface& devices, DeviceHandle device) {
  const auto ask = [&](std::uint32_t propertyId) {
    return AskNvmeProperty(devices, device, propertyId, kNvmeIdentifyCnsController,
                           /*namespaceId=*/0, &ReadNvmeIdentify);
  };
  AnswerRead read = ask(kStorageAdapterProtocolSpecificProperty);
  if (!read.error.empty()) read = ask(kStorageDeviceProtocolSpecificProperty);
  return FromAnswer(kSourceNvmeIdentify, read);
}

// The disk's namespace's identify data, asked of the device (the
// namespace) first, then of the adapter, with the namespace ID the disk's
// logical unit gives either way.
DiskSource AskNvmeNamespace(DeviceIoInterface& devices, DeviceHandle device) {
  std::uint8_t address[SCSI_ADDRESS::kSize] = {};
  std::uint32_t bytesReturned = 0;
  if (devices.DeviceIoControl(device, kIoctlScsiGetAddress, /*inBuffer=*/nullptr,
                              /*inBufferSize=*/0, address, sizeof address, &bytesReturned) == 0)
    return Refused(kSourceNvmeNamespace, StepError("address", devices.GetLastError()));
  const std::optional<std::uint8_t> lun = ReadScsiLun(address, sizeof address, bytesReturned);
  if (!lun)
    return Refused(
        kSourceNvmeNamespace,
        StepError("address-short", std::min<std::uint32_t>(bytesReturned, sizeof address)));
  const auto ask = [&](std::uint32_t propertyId) {
    return AskNvmeProperty(devices, device, propertyId, kNvmeIdentifyCnsNamespace,
                           std::uint32_t{*lun} + 1, &ReadNvmeNamespace);
  };
  AnswerRead read = ask(kStorageDeviceProtocolSpecificProperty);
  if (!read.error.empty()) read = ask(kStorageAdapterProtocolSpecificProperty);
  return FromAnswer(kSourceNvmeNamespace, read);
}

// The SMART fallback, as method 1 sends it for this drive index; returns
// the step that failed, or the texts.
AnswerRead AskSmartIdentify(DeviceIoInterface& devices, DeviceHandle device, int index) {
  const SmartVersion version = QuerySmartVersion(devices, device);
  if (!version.answered) return AnswerRead{StepError("smart-version", devices.GetLastError()), {}};
  const std::uint8_t map = version.deviceMap;
  if (map == 0) return AnswerRead{StepError("smart-map", map), {}};

  std::uint8_t request[SENDCMDINPARAMS::kSize] = {};
  std::uint8_t answer[SENDCMDOUTPARAMS::kIdentifyAnswerSize] = {};
  std::uint32_t bytesReturned = 0;
  if (SendSmartIdentifyRequest(devices, device, answer, request, SmartIdentifyCommand(map, index),
                               index, &bytesReturned) == 0)
    return AnswerRead{StepError("smart-identify", devices.GetLastError()), {}};
  return ReadSmartIdentify(answer, sizeof answer, bytesReturned);
}

// A SCSI command through the SCSI port's pass-through, data in; the answer
// read as every system reads it. The request failing is the query's own
// step: "sat: 50", "scsi: 1".
AnswerRead AskScsi(DeviceIoInterface& devices, DeviceHandle device, const ScsiQuery& query) {
  std::uint8_t buffer[ScsiPassThroughBuffer::kLargest] = {};
  const auto size = static_cast<std::uint32_t>(ScsiPassThroughBuffer::Size(query.dataSize));
  StoreLe16(buffer + SCSI_PASS_THROUGH::Length.offset,
            static_cast<std::uint16_t>(SCSI_PASS_THROUGH::kSize));
  buffer[SCSI_PASS_THROUGH::CdbLength.offset] = static_cast<std::uint8_t>(query.cdb.size());
  buffer[SCSI_PASS_THROUGH::SenseInfoLength.offset] = kScsiSenseSize;
  buffer[SCSI_PASS_THROUGH::DataIn.offset] = kScsiIoctlDataIn;
  StoreLe32(buffer + SCSI_PASS_THROUGH::DataTransferLength.offset, query.dataSize);
  StoreLe32(buffer + SCSI_PASS_THROUGH::TimeOutValue.offset, kCommandTimeoutSeconds);
  StoreOffsetField(buffer, SCSI_PASS_THROUGH::DataBufferOffset, ScsiPassThroughBuffer::kData);
  StoreLe32(buffer + SCSI_PASS_THROUGH::SenseInfoOffset.offset, ScsiPassThroughBuffer::kSense);
  std::copy(query.cdb.begin(), query.cdb.end(), buffer + SCSI_PASS_THROUGH::Cdb.offset);
  std::uint32_t bytesReturned = 0;
  if (devices.DeviceIoControl(device, kIoctlScsiPassThrough, buffer, size, buffer, size,
                              &bytesReturned) == 0)
    return AnswerRead{ScsiError(query, "", devices.GetLastError()), {}};
  return ReadScsiPassThrough(query, buffer, size, bytesReturned);
}

DiskSource AskAta(DeviceIoInterface& devices, DeviceHandle device, int index) {
  std::uint8_t buffer[AtaIdentifyBuffer::kSize] = {};
  StoreLe16(buffer + ATA_PASS_THROUGH_EX::Length.offset,
            static_cast<std::uint16_t>(ATA_PASS_THROUGH_EX::kSize));
  StoreLe16(buffer + ATA_PASS_THROUGH_EX::AtaFlags.offset, kAtaFlagsDrdyRequired | kAtaFlagsDataIn);
  StoreLe32(buffer + ATA_PASS_THROUGH_EX::DataTransferLength.offset,
            static_cast<std::uint32_t>(kIdentifyBlockSize));
  StoreLe32(buffer + ATA_PASS_THROUGH_EX::TimeOutValue.offset, kCommandTimeoutSeconds);
  StoreOffsetField(buffer, ATA_PASS_THROUGH_EX::DataBufferOffset, AtaIdentifyBuffer::kData);
  buffer[ATA_PASS_THROUGH_EX::CurrentTaskFile.offset + IDEREGS::bCommandReg.offset] =
      kAtaIdentifyDevice;
  std::uint32_t bytesReturned = 0;
  if (devices.DeviceIoControl(device, kIoctlAtaPassThrough, buffer, sizeof buffer, buffer,
                              sizeof buffer, &bytesReturned) != 0)
    return FromAnswer(kSourceAtaIdentify, ReadAtaPassThrough(buffer, sizeof buffer, bytesReturned));
  // Each way that fails names its step in the error, in the order tried.
  std::string errors = StepError("ata-pass-through", devices.GetLastError());
  const AnswerRead sat = AskScsi(devices, device, kSatIdentifyQuery);
  if (sat.error.empty()) return FromAnswer(kSourceAtaIdentify, sat);
  errors += "; " + sat.error;
  const AnswerRead smart = AskSmartIdentify(devices, device, index);
  if (smart.error.empty()) return FromAnswer(kSourceAtaIdentify, smart);
  return Refused(kSourceAtaIdentify, errors + "; " + smart.error);
}

DiskSource AskVpd(DeviceIoInterface& devices, DeviceHandle device) {
  return FromAnswer(kSourceScsiVpd80, AskScsi(devices, device, kVpdSerialQuery));
}

void RefuseAll(DeviceSources& disk, const std::string& error) {
  disk.descriptor = Refused(kSourceStorageDescriptor, error);
  disk.nvme = Refused(kSourceNvmeIdentify, error);
  disk.ata = Refused(kSourceAtaIdentify, error);
  disk.vpd = Refused(kSourceScsiVpd80, error);
  disk.nvmeNamespace = Refused(kSourceNvmeNamespace, error);
  disk.deviceId = Refused(kSourceScsiVpd83, error);
  disk.alignment = Refused(kSourceAccessAlignment, error);
  disk.seekPenalty = Refused(kSourceSeekPenalty, error);
  disk.geometry = Refused(kSourceDiskGeometry, error);
}

// \\.\C: for the root C:\; empty for a root of any other form.
std::string VolumeDevicePath(const std::string& root) {
  if (root.size() != 3 || root[1] != ':' || root[2] != '\\') return {};
  return "\\\\.\\" + root.substr(0, 2);
}

}  // namespace

std::optional<std::vector<std::uint32_t>> AskVolumeDisks(DeviceIoInterface& devices,
                                                         const std::string& root) {
  const std::string path = VolumeDevicePath(root);
  if (path.empty()) return std::nullopt;
  DeviceHandleOwner volume(devices,
                           devices.CreateFileA(path.c_str(), /*desiredAccess=*/0, kShareReadWrite,
                                               kOpenExisting, /*flagsAndAttributes=*/0));
  if (!volume.valid()) return std::nullopt;

  std::uint8_t extents[VolumeExtentsBuffer::kSize] = {};
  std::uint32_t bytesReturned = 0;
  if (devices.DeviceIoControl(volume.get(), kIoctlVolumeGetVolumeDiskExtents, /*inBuffer=*/nullptr,
                              /*inBufferSize=*/0, extents, sizeof extents, &bytesReturned) != 0) {
    std::vector<std::uint32_t> disks =
        ReadVolumeDiskNumbers(extents, sizeof extents, bytesReturned);
    if (!disks.empty()) return disks;
  }
  // Wine answers the extents request with none; the device number names the
  // disk of a volume that lies on one.
  std::uint8_t number[STORAGE_DEVICE_NUMBER::kSize] = {};
  bytesReturned = 0;
  if (devices.DeviceIoControl(volume.get(), kIoctlStorageGetDeviceNumber, /*inBuffer=*/nullptr,
                              /*inBufferSize=*/0, number, sizeof number, &bytesReturned) == 0)
    return std::nullopt;
  const std::optional<std::uint32_t> disk =
      ReadDiskDeviceNumber(number, sizeof number, bytesReturned);
  if (!disk) return std::nullopt;
  return std::vector<std::uint32_t>{*disk};
}

DeviceSources AskDevice(DeviceIoInterface& devices, TextInterface& text, int index) {
  DeviceSources disk;
  char path[kDevicePathSize];
  if (!FormatDevicePath(text, kPhysicalDriveTemplate, index, path)) {
    RefuseAll(disk, StepError("path", text.GetLastError()));
    return disk;
  }

  {
    // Storage queries need no access rights: this handle opens for anyone.
    DeviceHandleOwner device(
        devices, devices.CreateFileA(path, /*desiredAccess=*/0, kShareReadWrite, kOpenExisting,
                                     /*flagsAndAttributes=*/0));
    if (!device.valid()) {
      RefuseAll(disk, StepError("open", devices.GetLastError()));
      return disk;
    }
    disk.present = true;
    disk.descriptor = AskDescriptor(devices, device.get(), disk);
    disk.nvme = AskNvme(devices, device.get());
    disk.nvmeNamespace = AskNvmeNamespace(devices, device.get());
    disk.deviceId = AskProperty(devices, device.get(), kSourceScsiVpd83, kStorageDeviceIdProperty,
                                &ReadDeviceIdDescriptor);
    disk.alignment = AskProperty(devices, device.get(), kSourceAccessAlignment,
                                 kStorageAccessAlignmentProperty, &ReadAccessAlignment);
    disk.seekPenalty = AskProperty(devices, device.get(), kSourceSeekPenalty,
                                   kStorageDeviceSeekPenaltyProperty, &ReadSeekPenalty);
    disk.geometry = AskGeometry(devices, device.get());
  }

  DeviceHandleOwner device(devices, devices.CreateFileA(path, kGenericRead | kGenericWrite,
                                                        kShareReadWrite, kOpenExisting,
                                                        /*flagsAndAttributes=*/0));
  if (!device.valid()) {
    const std::string error = StepError("open", devices.GetLastError());
    disk.ata = Refused(kSourceAtaIdentify, error);
    disk.vpd = Refused(kSourceScsiVpd80, error);
    return disk;
  }
  disk.ata = AskAta(devices, device.get(), index);
  disk.vpd = AskVpd(devices, device.get());
  return disk;
}

}  // namespace hdsn
