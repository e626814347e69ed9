// The simulated machine's disk drivers: physical drives and SCSI ports that
// answer SMART and miniport identify requests from one IDENTIFY block per
// drive, the storage class driver's two queries, and the legacy IDE VxD.
// Every call is recorded with its arguments and request bytes; any call can
// be made to fail, and any answer replaced by arbitrary bytes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/hard_drive_info.h"
#include "devices/device_io.h"
#include "sim/fault_plan.h"

namespace hdsn::sim {

using Bytes = std::vector<std::uint8_t>;

enum class DriveKind { kAta, kAtapi };

// A 512-byte IDENTIFY block: word 0 for the kind, the serial (words 10-19)
// and model (words 27-46) in ATA order, blank-padded, firmware "1.0".
IdentifyBlock MakeIdentifyBlock(const std::string& serial, const std::string& model,
                                DriveKind kind = DriveKind::kAta);

// A storage device descriptor answer whose SerialNumberOffset is the given
// offset, with the text (no terminator added) written there when it fits in
// the answer. Size covers the answer.
Bytes MakeStorageDescriptor(std::uint32_t serialOffset, const std::string& serialText);
// A media serial number answer with the text at offset 16.
Bytes MakeMediaSerial(const std::string& text);
// A 4108-byte legacy VxD answer with the given flags and blocks.
Bytes MakeVxdAnswer(std::array<std::uint8_t, 4> controllerFlags,
                    std::array<std::uint8_t, 8> driveFlags,
                    const std::map<int, IdentifyBlock>& blocks);

struct SimPhysicalDrive {
  IdentifyBlock identify{};
  DriveKind kind = DriveKind::kAta;
  // bIDEDeviceMap of the SMART version answer.
  std::uint8_t deviceMap = 0x01;
  // False: the driver knows no SMART requests (as under Wine).
  bool smart = true;
  // Answers of the storage class driver; none: the query fails.
  std::optional<Bytes> storageDescriptor;
  std::optional<Bytes> mediaSerial;
};

// An ATA drive answering SMART with the given device map.
SimPhysicalDrive MakeAtaDrive(const std::string& serial, const std::string& model,
                              std::uint8_t deviceMap = 0x01);
SimPhysicalDrive MakeAtapiDrive(const std::string& serial, const std::string& model,
                                std::uint8_t deviceMap = 0x10);

struct SimScsiPort {
  // Drives at targets 0 and 1; an empty target answers with a blank block.
  std::optional<IdentifyBlock> targets[2];
  DriveKind kinds[2] = {DriveKind::kAta, DriveKind::kAta};
};

struct OpenRecord {
  std::string path;
  std::uint32_t access;
  std::uint32_t share;
  std::uint32_t disposition;
  std::uint32_t flags;
  DeviceHandle handle;  // kInvalidHandleValue when refused
};

struct RequestRecord {
  DeviceHandle handle;
  std::string path;  // of the handle; empty for an unknown handle
  std::uint32_t code;
  Bytes input;  // the inSize bytes of the input buffer, as sent
  std::uint32_t inSize;
  std::uint32_t outSize;
  bool sameBuffer;  // input and output were one buffer
  int result;
};

class SimDevices final : public DeviceIoInterface, public Faultable {
 public:
  static constexpr DeviceHandle kCurrentProcess = -1;
  static constexpr std::uint32_t kErrorFileNotFound = 2;
  static constexpr std::uint32_t kErrorInvalidHandle = 6;
  static constexpr std::uint32_t kErrorAccessDenied = 5;
  static constexpr std::uint32_t kErrorInvalidFunction = 1;
  static constexpr std::uint32_t kErrorInsufficientBuffer = 122;
  static constexpr std::uint32_t kErrorGenFailure = 31;

  // The machine's devices.
  std::map<int, SimPhysicalDrive> physicalDrives;
  std::map<int, SimScsiPort> scsiPorts;
  // What the legacy VxD writes (up to 4108 bytes, whatever size it is
  // told); none: the VxD cannot be opened.
  std::optional<Bytes> vxdAnswer;
  // Whether the VxD's request reports success (it writes all the same).
  int vxdResult = 1;

  // Faults.
  std::set<std::string> failOpenPaths;          // every open of these paths fails
  std::map<std::string, int> refuseFirstOpens;  // the first n opens of a path fail
  std::set<std::uint32_t> failCodes;            // every request with this code fails
  std::set<std::pair<std::string, std::uint32_t>> failPathCodes;
  // The k-th CreateFileA or DeviceIoControl call (counting from 1) fails.
  int failCallNumber = 0;
  // Replaces the driver's answer to every request with this code: the bytes
  // are written (cut at the stated output size; for the VxD at 4108) and the
  // request reports the given result.
  struct AnswerOverride {
    Bytes bytes;
    int result = 1;
  };
  std::map<std::uint32_t, AnswerOverride> answerOverrides;

  // What happened.
  std::vector<OpenRecord> opens;
  std::vector<RequestRecord> requests;
  std::vector<DeviceHandle> closes;
  std::vector<std::string> calls;  // every call in order, one line each
  int getLastErrorCalls = 0;
  int getCurrentProcessCalls = 0;
  std::vector<std::uint32_t> priorityClassCalls;
  std::uint32_t priorityClass = kNormalPriorityClass;
  int badHandleUses = 0;  // requests or closes on a handle not open
  int deviceCalls = 0;    // CreateFileA and DeviceIoControl calls so far
  std::uint32_t lastError = 0;

  std::size_t OpenHandleCount() const { return openHandles_.size(); }
  // Requests with this code, in order.
  std::vector<RequestRecord> RequestsWithCode(std::uint32_t code) const;

  DeviceHandle CreateFileA(const char* fileName, std::uint32_t desiredAccess,
                           std::uint32_t shareMode, std::uint32_t creationDisposition,
                           std::uint32_t flagsAndAttributes) override;
  int DeviceIoControl(DeviceHandle device, std::uint32_t ioControlCode, void* inBuffer,
                      std::uint32_t inBufferSize, void* outBuffer, std::uint32_t outBufferSize,
                      std::uint32_t* bytesReturned) override;
  int CloseHandle(DeviceHandle object) override;
  std::uint32_t GetLastError() override;
  DeviceHandle GetCurrentProcess() override;
  int SetPriorityClass(DeviceHandle process, std::uint32_t priorityClass) override;

 private:
  struct OpenDevice {
    std::string path;
    std::uint32_t access;
  };
  int Fail(std::uint32_t error);
  int Answer(const OpenDevice& device, std::uint32_t code, const Bytes& input, std::uint8_t* out,
             std::uint32_t outSize, std::uint32_t* bytesReturned);
  int AnswerDrive(SimPhysicalDrive& drive, const OpenDevice& device, std::uint32_t code,
                  const Bytes& input, std::uint8_t* out, std::uint32_t outSize,
                  std::uint32_t* bytesReturned);
  int AnswerPort(SimScsiPort& port, std::uint32_t code, const Bytes& input, std::uint8_t* out,
                 std::uint32_t outSize, std::uint32_t* bytesReturned);

  std::map<DeviceHandle, OpenDevice> openHandles_;
  DeviceHandle nextHandle_ = 0x100;
};

}  // namespace hdsn::sim
