// The one object of the program that knows about disks: the IDENTIFY blocks
// the device methods collected and the master serial chosen from them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/device_io.h"
#include "protocol/ata.h"

namespace hdsn {

struct Platform;

// 512 bytes of ATA IDENTIFY (PACKET) DEVICE data (protocol/ata.h).
using IdentifyBlock = std::array<std::uint8_t, kIdentifyBlockSize>;
static_assert(sizeof(IdentifyBlock) == kIdentifyBlockSize);

// Distinct blocks in the order they were added; block 0 was added first.
using IdentifyBlockList = std::vector<IdentifyBlock>;

inline constexpr char kUnknownSerial[] = "unknown";

class HardDriveInfo {
 public:
  // masterSerial starts as "unknown" and the list empty; GetHardDriveInfo
  // then runs SelectMasterSerial, which does all the disk work.
  explicit HardDriveInfo(const Platform& platform);
  HardDriveInfo(const HardDriveInfo&) = delete;
  HardDriveInfo& operator=(const HardDriveInfo&) = delete;

  std::string masterSerial;
  IdentifyBlockList identifyBlocks;

  void SelectMasterSerial();
  unsigned CollectIdentifyBlocks();
  std::string GetBlockSerialText(std::size_t index) const;
  void TrimSerial();
  bool IsUsableSerial() const;
  // Keeps a copy of the 512 bytes unless an equal block is already held;
  // true when it was added.
  bool AddIdentifyBlock(const std::uint8_t* block);

  // The device methods. Each returns 1 when a device answered its identify
  // request and the block went to AddIdentifyBlock, 0 otherwise.
  std::int32_t ReadPhysicalDriveWithSmart();
  // Method 1's SMART_RCV_DRIVE_DATA: fills the identify registers and drive
  // number of the zeroed 33-byte request, sends it with the 528-byte answer
  // buffer and returns DeviceIoControl's result.
  int SendSmartIdentify(DeviceHandle device, std::uint8_t* answer, std::uint8_t* request,
                        std::uint8_t command, int drive, std::uint32_t* bytesReturned);
  std::int32_t ReadScsiMiniportIdentify();
  std::int32_t ReadStorageDescriptor();
  std::int32_t ReadSmartDirect();
  std::int32_t ReadLegacyVxdIdentify();

  const Platform& platform() const { return platform_; }

 private:
  const Platform& platform_;
};

// The process-wide instance, created (and all its work done) on first use.
HardDriveInfo& GetHardDriveInfo(const Platform& platform);
void DestroyHardDriveInfo();
const char* GetMasterSerial(const HardDriveInfo& info);

// Text of IDENTIFY words first..last (inclusive) of a 512-byte block, its
// bytes from IdentifyFieldBytes, trailing blanks removed but for the first
// byte. Returns a process-wide 1024-byte buffer that the next call
// overwrites.
const char* IdentifyWordsToText(const std::uint8_t* bytes, int first, int last);

}  // namespace hdsn
