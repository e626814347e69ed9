// The simulated machine's disk drivers: physical drives and SCSI ports that
// answer SMART and miniport identify requests from one IDENTIFY block per
// drive, the storage class driver's two queries, and the legacy IDE VxD.
// Every call is recorded with its arguments and request bytes; the fault
// plan makes calls fail, and any answer can be replaced by arbitrary bytes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/hard_drive_info.h"
#include "devices/device_io.h"
#include "devices/device_layouts.h"
#include "disks/windows/layouts.h"
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
// A device descriptor of the bus type with each text NUL-terminated after
// the header; an empty text has offset 0.
Bytes MakeDeviceDescriptor(std::uint32_t busType, const std::string& vendor,
                           const std::string& product, const std::string& revision,
                           const std::string& serial, bool removable = false);
// The NVMe identify query's answer: the protocol data descriptor, then 4096
// bytes of identify controller data holding the texts, blank-padded.
Bytes MakeNvmeAnswer(const std::string& serial, const std::string& model,
                     const std::string& firmware);
// A unit serial number page (VPD 0x80) holding the text.
Bytes MakeVpdSerialPage(const std::string& serial);

// What a drive is, as its identity requests answer it: IDENTIFY's words,
// the NVMe namespace's data and the storage stack's properties. The
// builders below write each answer from one of these.
struct SimIdentity {
  std::uint64_t sectors = 0;  // logical sectors
  std::uint32_t logicalSectorSize = 512;
  std::uint32_t physicalSectorSize = 512;
  Bytes wwn = {};    // an NAA name, 8 bytes; none when empty
  Bytes eui64 = {};  // 8 bytes, or none
  Bytes nguid = {};  // 16 bytes, or none
  // IDENTIFY word 217: 0 not reported, 1 not rotating, else the rate.
  std::uint16_t rotation = 0;
  Bytes uuid = {};  // an NVMe namespace's, 16 bytes, or none
};
// The drives of the machines of the tests, and the values a real kernel is
// given in QEMU: a SATA SSD, a SATA disk of 7200 RPM with 4096-byte
// physical sectors, and an NVMe namespace whose NGUID is zero, with a UUID.
SimIdentity SataSsdIdentity();
SimIdentity SataDiskIdentity();
SimIdentity NvmeIdentity();

// The block with the identity's words: 48-bit capacity (and the 28-bit one,
// capped), sector sizes (word 106, 117-118), the WWN where there is one
// (87, 108-111), the rotation (217).
IdentifyBlock WithIdentity(IdentifyBlock block, const SimIdentity& identity);
// One STORAGE_IDENTIFIER of a device id descriptor.
struct SimDesignator {
  std::uint32_t codeSet = 1;  // binary
  std::uint32_t type = 3;     // NAA
  std::uint32_t association = 0;
  Bytes identifier;
};
Bytes MakeDeviceIdDescriptor(const std::vector<SimDesignator>& designators);
Bytes MakeAlignmentDescriptor(std::uint32_t logical, std::uint32_t physical);
Bytes MakeSeekPenaltyDescriptor(bool incursSeekPenalty);
Bytes MakeGeometryAnswer(std::uint64_t diskSize, std::uint32_t bytesPerSector);
// Identify namespace data: NSZE blocks of 2^lbads bytes in format 0, the
// NGUID and EUI-64 (zeros where empty); and the NVMe identify query's answer
// holding it.
Bytes MakeNvmeNamespaceData(const SimIdentity& identity);
Bytes MakeNvmeNamespaceAnswer(const SimIdentity& identity);
// A namespace identification descriptor list: the EUI-64, NGUID and UUID
// the identity gives (zeros too, as some controllers list them).
Bytes MakeNvmeDescriptors(const SimIdentity& identity);
// A device identification page (VPD 0x83): an ASCII T10 vendor ID
// designator of the text, then the identity's NAA and EUI-64 designators of
// the logical unit; and a block device characteristics page (VPD 0xB1) of
// the rotation.
Bytes MakeVpdDeviceIdPage(const std::string& vendorId, const SimIdentity& identity);
Bytes MakeVpdBlockCharacteristicsPage(std::uint16_t rotation);

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
  std::optional<Bytes> storageDescriptor = std::nullopt;
  std::optional<Bytes> mediaSerial = std::nullopt;
  // The whole answer of the NVMe identify query and the property that gives
  // it (the adapter's or the device's); none: no NVMe drive.
  std::optional<Bytes> nvmeAnswer = std::nullopt;
  std::uint32_t nvmeProperty = layout::kStorageAdapterProtocolSpecificProperty;
  // Whether the port passes ATA commands on: IDENTIFY DEVICE answers with
  // `identify`, and an ATAPI device aborts it.
  bool ataPassThrough = false;
  // The unit serial number page as the device sends it; none: INQUIRY of it
  // ends in CHECK CONDITION.
  std::optional<Bytes> vpdPage = std::nullopt;
  // Whether the bridge or port carries ATA PASS-THROUGH (16) to the drive:
  // IDENTIFY DEVICE answers with `identify`; otherwise, or for an ATAPI
  // device, the command ends in CHECK CONDITION.
  bool sat = false;
  // The whole answer of the NVMe identify query for the namespace (CNS 0),
  // the property that gives it and the namespace ID it must name; none: no
  // NVMe namespace.
  std::optional<Bytes> nvmeNamespaceAnswer = std::nullopt;
  std::uint32_t nvmeNamespaceProperty = layout::kStorageDeviceProtocolSpecificProperty;
  std::uint32_t namespaceId = 1;
  // The logical unit IOCTL_SCSI_GET_ADDRESS gives; none: it fails.
  std::optional<std::uint8_t> lun = std::nullopt;
  // The answers of the device id, access alignment and seek penalty
  // properties and of IOCTL_DISK_GET_DRIVE_GEOMETRY_EX; none: the request
  // fails with ERROR_INVALID_FUNCTION.
  std::optional<Bytes> deviceIdDescriptor = std::nullopt;
  std::optional<Bytes> alignmentDescriptor = std::nullopt;
  std::optional<Bytes> seekPenaltyDescriptor = std::nullopt;
  std::optional<Bytes> geometry = std::nullopt;
};

// What a driver does with one request: the bytes it writes to the output
// buffer (never more than its stated size) and 0, or the error the request
// fails with.
struct DriverAnswer {
  Bytes bytes;
  std::uint32_t error = 0;
};

// A physical drive's driver for one control code. The machine has checked
// the handle's access against the code; `input` holds the bytes sent.
using DriveRequestHandler = DriverAnswer (*)(const SimPhysicalDrive& drive, const Bytes& input,
                                             std::uint32_t outSize);

// The control codes a physical drive's driver answers, each with its
// handler; any other code fails with ERROR_INVALID_FUNCTION. A new kind of
// request is a new entry here and, when it needs one, a field of
// SimPhysicalDrive.
const std::map<std::uint32_t, DriveRequestHandler>& PhysicalDriveHandlers();

// An ATA drive answering SMART with the given device map.
SimPhysicalDrive MakeAtaDrive(const std::string& serial, const std::string& model,
                              std::uint8_t deviceMap = 0x01);
SimPhysicalDrive MakeAtapiDrive(const std::string& serial, const std::string& model,
                                std::uint8_t deviceMap = 0x10);
// Disks as hdsn-disks meets them, each answering the identity requests of
// its kind: an NVMe drive whose descriptor gives an identifier of another
// kind than its serial (as WMI does), of NvmeIdentity; a SATA drive behind a
// port that passes ATA commands and translates INQUIRY, of SataSsdIdentity;
// a USB bridge that answers the descriptor, the unit serial number page,
// the alignment and the geometry of a 16 GiB stick.
SimPhysicalDrive MakeNvmeDrive(const std::string& descriptorSerial, const std::string& serial,
                               const std::string& model);
SimPhysicalDrive MakeSataDrive(const std::string& serial, const std::string& model);
SimPhysicalDrive MakeUsbBridge(const std::string& serial, const std::string& model);
// A USB bridge that answers the unit serial number page with its own serial
// and carries ATA PASS-THROUGH (16) to a drive of another serial, of
// SataDiskIdentity.
SimPhysicalDrive MakeSatBridge(const std::string& bridgeSerial, const std::string& driveSerial,
                               const std::string& model);

// The storage stack's answers for a drive of this identity: designators of
// its WWN (NAA) or EUI-64 and NGUID, alignment, seek penalty (a rotation of
// 1 none, a rate one; not reported: no answer), geometry, and logical unit 0.
void AnswerIdentity(SimPhysicalDrive& drive, const SimIdentity& identity);

struct SimScsiPort {
  // Drives at targets 0 and 1; an empty target answers with a blank block.
  std::optional<IdentifyBlock> targets[2];
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

// Every control code the machine's drivers answer.
inline constexpr std::uint32_t kDriverRequestCodes[] = {layout::kIoctlVolumeGetVolumeDiskExtents,
                                                        layout::kIoctlStorageGetDeviceNumber,
                                                        layout::kSmartGetVersion,
                                                        layout::kSmartRcvDriveData,
                                                        layout::kIoctlScsiMiniport,
                                                        layout::kIoctlStorageQueryProperty,
                                                        layout::kIoctlStorageGetMediaSerialNumber,
                                                        layout::kVxdIdentifyCode,
                                                        layout::kIoctlAtaPassThrough,
                                                        layout::kIoctlScsiPassThrough,
                                                        layout::kIoctlScsiGetAddress,
                                                        layout::kIoctlDiskGetDriveGeometryEx};

// The path of the legacy IDE VxD, and the signature miniport requests carry.
inline constexpr char kLegacyVxdPath[] = "\\\\.\\IDE21201.VXD";
// The system volume's device, which opens for anyone as it does on Windows.
inline constexpr char kSystemVolumePath[] = "\\\\.\\C:";
inline constexpr char kMiniportSignature[] = "SCSIDISK";

class SimDevices final : public DeviceIoInterface {
 public:
  static constexpr DeviceHandle kCurrentProcess = -1;

  explicit SimDevices(FaultPlan& faults) : faults_(faults) {}

  // The machine's devices.
  std::map<int, SimPhysicalDrive> physicalDrives;
  std::map<int, SimScsiPort> scsiPorts;
  // What the legacy VxD writes (up to 4108 bytes, whatever size it is
  // told); none: the VxD cannot be opened.
  std::optional<Bytes> vxdAnswer;
  // What the system volume's device answers: the disk numbers of its
  // extents (Wine answers with none), and its device type and number; none:
  // that request fails with ERROR_INVALID_FUNCTION.
  std::optional<std::vector<std::uint32_t>> volumeExtents;
  struct DeviceNumber {
    std::uint32_t type = layout::kFileDeviceDisk;
    std::uint32_t number = 0;
  };
  std::optional<DeviceNumber> volumeDeviceNumber;
  // Whether the VxD's request reports success (it writes all the same).
  int vxdResult = 1;
  // The first n opens of a path fail, as the legacy VxD's do while it starts.
  std::map<std::string, int> refuseFirstOpens;
  // False: opening a physical drive with any access right is refused with
  // ERROR_ACCESS_DENIED, as it is for a user without administrator rights.
  bool administrator = true;
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
  std::vector<std::uint32_t> priorityClassCalls;
  std::uint32_t priorityClass = kNormalPriorityClass;
  int badHandleUses = 0;  // requests or closes on a handle not open
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
  DriverAnswer Answer(const OpenDevice& device, std::uint32_t code, const Bytes& input,
                      std::uint32_t outSize);
  DriverAnswer AnswerVolume(std::uint32_t code, std::uint32_t outSize) const;

  FaultPlan& faults_;
  std::map<DeviceHandle, OpenDevice> openHandles_;
  DeviceHandle nextHandle_ = 0x100;
};

}  // namespace hdsn::sim
