#include "sim/sim_devices.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "devices/byte_order.h"
#include "devices/device_layouts.h"

namespace hdsn::sim {

using namespace hdsn::layout;

namespace {

constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kStorageAnswerLimit = 10000;

void PutAtaText(IdentifyBlock& block, int firstWord, int words, const std::string& text) {
  for (int k = 0; k < 2 * words; ++k) {
    const char c = k < static_cast<int>(text.size()) ? text[static_cast<std::size_t>(k)] : ' ';
    // The first character of each word sits in its high byte.
    block[static_cast<std::size_t>(2 * (firstWord + k / 2) + (k % 2 == 0 ? 1 : 0))] =
        static_cast<std::uint8_t>(c);
  }
}

// "\\.\" followed by the name and a decimal index without leading zeros, and
// the suffix; -1 when the path is not of that form.
int PathIndex(const std::string& path, const std::string& name, const std::string& suffix) {
  const std::string prefix = "\\\\.\\" + name;
  if (path.size() <= prefix.size() + suffix.size() || path.compare(0, prefix.size(), prefix) != 0 ||
      path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
    return -1;
  const std::string digits =
      path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
  if (digits.size() > 4 || (digits.size() > 1 && digits[0] == '0')) return -1;
  int index = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    index = index * 10 + (c - '0');
  }
  return index;
}

bool IsVxdPath(const std::string& path) { return path == "\\\\.\\IDE21201.VXD"; }

// The access a control code demands of the handle, from its CTL_CODE bits.
bool HasAccessFor(std::uint32_t code, std::uint32_t access) {
  const std::uint32_t required = (code >> 14) & 3;
  if ((required & kFileReadAccess) != 0 && (access & kGenericRead) == 0) return false;
  if ((required & kFileWriteAccess) != 0 && (access & kGenericWrite) == 0) return false;
  return true;
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

IdentifyBlock MakeIdentifyBlock(const std::string& serial, const std::string& model,
                                DriveKind kind) {
  IdentifyBlock block{};
  // Word 0: a fixed ATA disk, or an ATAPI removable CD-ROM device.
  StoreLe16(block.data(), kind == DriveKind::kAta ? 0x0040 : 0x85C0);
  PutAtaText(block, 10, 10, serial);
  PutAtaText(block, 23, 4, "1.0");
  PutAtaText(block, 27, 20, model);
  return block;
}

Bytes MakeStorageDescriptor(std::uint32_t serialOffset, const std::string& serialText) {
  Bytes answer(STORAGE_DEVICE_DESCRIPTOR::kSize, 0);
  const std::uint64_t end = std::uint64_t{serialOffset} + serialText.size();
  if (!serialText.empty() && end <= kStorageAnswerLimit) {
    answer.resize(std::max<std::size_t>(answer.size(), static_cast<std::size_t>(end)));
    std::memcpy(answer.data() + serialOffset, serialText.data(), serialText.size());
  }
  StoreLe32(answer.data() + STORAGE_DEVICE_DESCRIPTOR::Version.offset,
            static_cast<std::uint32_t>(STORAGE_DEVICE_DESCRIPTOR::kSize));
  StoreLe32(answer.data() + STORAGE_DEVICE_DESCRIPTOR::Size.offset,
            static_cast<std::uint32_t>(answer.size()));
  StoreLe32(answer.data() + STORAGE_DEVICE_DESCRIPTOR::SerialNumberOffset.offset, serialOffset);
  return answer;
}

Bytes MakeMediaSerial(const std::string& text) {
  const std::size_t at = MEDIA_SERIAL_NUMBER_DATA::SerialNumberData.offset;
  Bytes answer(at + text.size() + 1, 0);
  StoreLe32(answer.data() + MEDIA_SERIAL_NUMBER_DATA::SerialNumberLength.offset,
            static_cast<std::uint32_t>(text.size()));
  std::memcpy(answer.data() + at, text.data(), text.size());
  return answer;
}

Bytes MakeVxdAnswer(std::array<std::uint8_t, 4> controllerFlags,
                    std::array<std::uint8_t, 8> driveFlags,
                    const std::map<int, IdentifyBlock>& blocks) {
  Bytes answer(VxdIdentifyResult::kSize, 0);
  std::copy(controllerFlags.begin(), controllerFlags.end(),
            answer.begin() + VxdIdentifyResult::controllerPresent.offset);
  std::copy(driveFlags.begin(), driveFlags.end(),
            answer.begin() + VxdIdentifyResult::drivePresent.offset);
  for (const auto& [drive, block] : blocks)
    std::copy(block.begin(), block.end(), answer.begin() + VxdIdentifyResult::Block(drive));
  return answer;
}

SimPhysicalDrive MakeAtaDrive(const std::string& serial, const std::string& model,
                              std::uint8_t deviceMap) {
  SimPhysicalDrive drive;
  drive.identify = MakeIdentifyBlock(serial, model, DriveKind::kAta);
  drive.deviceMap = deviceMap;
  return drive;
}

SimPhysicalDrive MakeAtapiDrive(const std::string& serial, const std::string& model,
                                std::uint8_t deviceMap) {
  SimPhysicalDrive drive;
  drive.identify = MakeIdentifyBlock(serial, model, DriveKind::kAtapi);
  drive.kind = DriveKind::kAtapi;
  drive.deviceMap = deviceMap;
  return drive;
}

std::vector<RequestRecord> SimDevices::RequestsWithCode(std::uint32_t code) const {
  std::vector<RequestRecord> found;
  for (const RequestRecord& request : requests)
    if (request.code == code) found.push_back(request);
  return found;
}

int SimDevices::Fail(std::uint32_t error) {
  lastError = error;
  return 0;
}

DeviceHandle SimDevices::CreateFileA(const char* fileName, std::uint32_t desiredAccess,
                                     std::uint32_t shareMode, std::uint32_t creationDisposition,
                                     std::uint32_t flagsAndAttributes) {
  const std::string path = fileName;
  calls.push_back("CreateFileA " + path);
  opens.push_back({path, desiredAccess, shareMode, creationDisposition, flagsAndAttributes,
                   kInvalidHandleValue});
  ++deviceCalls;

  bool exists = false;
  if (const int drive = PathIndex(path, "PhysicalDrive", ""); drive >= 0)
    exists = physicalDrives.count(drive) != 0;
  else if (const int port = PathIndex(path, "Scsi", ":"); port >= 0)
    exists = scsiPorts.count(port) != 0;
  else if (IsVxdPath(path))
    exists = vxdAnswer.has_value();

  int& refusals = refuseFirstOpens[path];
  const bool refused = refusals > 0;
  if (refused) --refusals;
  if (Fails("CreateFileA") || deviceCalls == failCallNumber || failOpenPaths.count(path) != 0 ||
      refused || !exists) {
    Fail(kErrorFileNotFound);
    return kInvalidHandleValue;
  }
  // Disk and port devices are opened as existing files; a VxD takes any
  // disposition.
  if (!IsVxdPath(path) && creationDisposition != kOpenExisting) {
    Fail(kErrorInvalidParameter);
    return kInvalidHandleValue;
  }
  const DeviceHandle handle = nextHandle_;
  nextHandle_ += 4;
  openHandles_[handle] = {path, desiredAccess};
  opens.back().handle = handle;
  return handle;
}

int SimDevices::DeviceIoControl(DeviceHandle device, std::uint32_t ioControlCode, void* inBuffer,
                                std::uint32_t inBufferSize, void* outBuffer,
                                std::uint32_t outBufferSize, std::uint32_t* bytesReturned) {
  calls.push_back("DeviceIoControl " + Hex(ioControlCode));
  ++deviceCalls;
  RequestRecord record{device,
                       "",
                       ioControlCode,
                       {},
                       inBufferSize,
                       outBufferSize,
                       inBuffer != nullptr && inBuffer == outBuffer,
                       0};
  // Reading the whole stated input also proves it lies inside the caller's buffer.
  if (inBuffer != nullptr) {
    const auto* in = static_cast<const std::uint8_t*>(inBuffer);
    record.input.assign(in, in + inBufferSize);
  }
  auto open = openHandles_.find(device);
  if (open != openHandles_.end()) record.path = open->second.path;
  requests.push_back(record);

  int result = 0;
  if (open == openHandles_.end()) {
    ++badHandleUses;
    result = Fail(kErrorInvalidHandle);
  } else if (Fails("DeviceIoControl") || deviceCalls == failCallNumber ||
             failCodes.count(ioControlCode) != 0 ||
             failPathCodes.count({open->second.path, ioControlCode}) != 0) {
    result = Fail(kErrorGenFailure);
  } else if (auto override = answerOverrides.find(ioControlCode);
             override != answerOverrides.end()) {
    const std::size_t limit =
        IsVxdPath(open->second.path) ? VxdIdentifyResult::kSize : outBufferSize;
    const std::size_t count = std::min(override->second.bytes.size(), limit);
    if (count > 0) std::memcpy(outBuffer, override->second.bytes.data(), count);
    if (bytesReturned != nullptr) *bytesReturned = static_cast<std::uint32_t>(count);
    result = override->second.result;
    if (result == 0) Fail(kErrorGenFailure);
  } else {
    result = Answer(open->second, ioControlCode, record.input,
                    static_cast<std::uint8_t*>(outBuffer), outBufferSize, bytesReturned);
  }
  requests.back().result = result;
  return result;
}

int SimDevices::Answer(const OpenDevice& device, std::uint32_t code, const Bytes& input,
                       std::uint8_t* out, std::uint32_t outSize, std::uint32_t* bytesReturned) {
  if (IsVxdPath(device.path)) {
    if (code != kVxdIdentifyCode) return Fail(kErrorInvalidFunction);
    // The VxD fills its whole result, whatever size it was told.
    const std::size_t count = std::min(vxdAnswer->size(), VxdIdentifyResult::kSize);
    if (count > 0) std::memcpy(out, vxdAnswer->data(), count);
    if (bytesReturned != nullptr) *bytesReturned = static_cast<std::uint32_t>(count);
    return vxdResult != 0 ? vxdResult : Fail(kErrorGenFailure);
  }
  if (const int drive = PathIndex(device.path, "PhysicalDrive", ""); drive >= 0)
    return AnswerDrive(physicalDrives.at(drive), device, code, input, out, outSize, bytesReturned);
  if (!HasAccessFor(code, device.access)) return Fail(kErrorAccessDenied);
  const int port = PathIndex(device.path, "Scsi", ":");
  return AnswerPort(scsiPorts.at(port), code, input, out, outSize, bytesReturned);
}

int SimDevices::AnswerDrive(SimPhysicalDrive& drive, const OpenDevice& device, std::uint32_t code,
                            const Bytes& input, std::uint8_t* out, std::uint32_t outSize,
                            std::uint32_t* bytesReturned) {
  if (!HasAccessFor(code, device.access)) return Fail(kErrorAccessDenied);
  auto answer = [&](const std::uint8_t* bytes, std::size_t count) {
    if (count > 0) std::memcpy(out, bytes, count);
    if (bytesReturned != nullptr) *bytesReturned = static_cast<std::uint32_t>(count);
    return 1;
  };

  switch (code) {
    case kSmartGetVersion: {
      if (!drive.smart) return Fail(kErrorInvalidFunction);
      if (outSize < GETVERSIONINPARAMS::kSize) return Fail(kErrorInsufficientBuffer);
      std::uint8_t version[GETVERSIONINPARAMS::kSize] = {1, 1, 0, drive.deviceMap};
      StoreLe32(version + GETVERSIONINPARAMS::fCapabilities.offset, 7);
      return answer(version, sizeof version);
    }
    case kSmartRcvDriveData: {
      if (!drive.smart) return Fail(kErrorInvalidFunction);
      if (input.size() < SENDCMDINPARAMS::kSizeWithoutBuffer) return Fail(kErrorInvalidParameter);
      if (outSize < SENDCMDOUTPARAMS::kIdentifyAnswerSize) return Fail(kErrorInsufficientBuffer);
      // A device aborts the identify command that is not of its kind.
      const std::uint8_t command = input[InParamsRegister(IDEREGS::bCommandReg)];
      const std::uint8_t expected = drive.kind == DriveKind::kAta ? kIdCmd : kAtapiIdCmd;
      if (command != expected) return Fail(kErrorGenFailure);
      std::uint8_t reply[SENDCMDOUTPARAMS::kIdentifyAnswerSize] = {};
      StoreLe32(reply + SENDCMDOUTPARAMS::cBufferSize.offset,
                static_cast<std::uint32_t>(kIdentifyBufferSize));
      std::memcpy(reply + SENDCMDOUTPARAMS::bBuffer.offset, drive.identify.data(),
                  kIdentifyBufferSize);
      return answer(reply, sizeof reply);
    }
    case kIoctlStorageQueryProperty: {
      if (input.size() < STORAGE_PROPERTY_QUERY::kSize) return Fail(kErrorInvalidParameter);
      if (LoadLe32(input.data() + STORAGE_PROPERTY_QUERY::PropertyId.offset) != 0 ||
          LoadLe32(input.data() + STORAGE_PROPERTY_QUERY::QueryType.offset) != 0 ||
          !drive.storageDescriptor)
        return Fail(kErrorInvalidFunction);
      return answer(drive.storageDescriptor->data(),
                    std::min<std::size_t>(drive.storageDescriptor->size(), outSize));
    }
    case kIoctlStorageGetMediaSerialNumber:
      if (!drive.mediaSerial) return Fail(kErrorInvalidFunction);
      return answer(drive.mediaSerial->data(),
                    std::min<std::size_t>(drive.mediaSerial->size(), outSize));
    default:
      return Fail(kErrorInvalidFunction);
  }
}

int SimDevices::AnswerPort(SimScsiPort& port, std::uint32_t code, const Bytes& input,
                           std::uint8_t* out, std::uint32_t outSize, std::uint32_t* bytesReturned) {
  using Buffer = MiniportIdentifyBuffer;
  if (code != kIoctlScsiMiniport) return Fail(kErrorInvalidFunction);
  if (input.size() < Buffer::kInputSize) return Fail(kErrorInvalidParameter);
  const std::uint8_t* header = input.data();
  if (LoadLe32(header + SRB_IO_CONTROL::HeaderLength.offset) != SRB_IO_CONTROL::kSize ||
      std::memcmp(header + SRB_IO_CONTROL::Signature.offset, "SCSIDISK", 8) != 0 ||
      LoadLe32(header + SRB_IO_CONTROL::ControlCode.offset) != kIoctlScsiMiniportIdentify)
    return Fail(kErrorInvalidFunction);
  const std::uint32_t length = LoadLe32(header + SRB_IO_CONTROL::Length.offset);
  constexpr std::size_t kReplySize = SRB_IO_CONTROL::kSize + SENDCMDOUTPARAMS::kIdentifyAnswerSize;
  if (length < SENDCMDOUTPARAMS::kIdentifyAnswerSize || outSize < kReplySize ||
      outSize < SRB_IO_CONTROL::kSize + std::size_t{length})
    return Fail(kErrorInsufficientBuffer);
  if (input[Buffer::kInParams + InParamsRegister(IDEREGS::bCommandReg)] != kIdCmd)
    return Fail(kErrorInvalidFunction);

  std::uint8_t reply[kReplySize] = {};
  std::memcpy(reply, header, SRB_IO_CONTROL::kSize);
  StoreLe32(reply + SRB_IO_CONTROL::ReturnCode.offset, 0);
  const std::uint8_t target = input[Buffer::kInParams + SENDCMDINPARAMS::bDriveNumber.offset];
  if (target < 2 && port.targets[target]) {
    if (port.kinds[target] != DriveKind::kAta) return Fail(kErrorGenFailure);
    StoreLe32(reply + Buffer::kOutParams + SENDCMDOUTPARAMS::cBufferSize.offset,
              static_cast<std::uint32_t>(kIdentifyBufferSize));
    std::memcpy(reply + Buffer::kIdentifyBlock, port.targets[target]->data(), kIdentifyBufferSize);
  }
  // An empty target answers with a blank block.
  std::memcpy(out, reply, sizeof reply);
  if (bytesReturned != nullptr) *bytesReturned = static_cast<std::uint32_t>(sizeof reply);
  return 1;
}

int SimDevices::CloseHandle(DeviceHandle object) {
  calls.push_back("CloseHandle");
  closes.push_back(object);
  if (openHandles_.erase(object) == 0) {
    ++badHandleUses;
    return Fail(kErrorInvalidHandle);
  }
  return 1;
}

std::uint32_t SimDevices::GetLastError() {
  calls.push_back("GetLastError");
  ++getLastErrorCalls;
  return lastError;
}

DeviceHandle SimDevices::GetCurrentProcess() {
  ++getCurrentProcessCalls;
  return kCurrentProcess;
}

int SimDevices::SetPriorityClass(DeviceHandle process, std::uint32_t newClass) {
  calls.push_back("SetPriorityClass " + Hex(newClass));
  priorityClassCalls.push_back(newClass);
  if (process != kCurrentProcess) {
    ++badHandleUses;
    return Fail(kErrorInvalidHandle);
  }
  if (Fails("SetPriorityClass")) return Fail(kErrorAccessDenied);
  priorityClass = newClass;
  return 1;
}

}  // namespace hdsn::sim
