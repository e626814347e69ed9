// The system volume's answers of any bytes: IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS
// with any extent count, IOCTL_STORAGE_GET_DEVICE_NUMBER of any device type,
// any byte count returned.
#include <algorithm>
#include <vector>

#include "disks/windows/layouts.h"
#include "fuzz_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace hdsn::layout;
  const FuzzAnswer answer(data, size);
  const std::size_t limit = std::min<std::size_t>(answer.size(), answer.bytesReturned());
  const std::vector<std::uint32_t> disks =
      hdsn::ReadVolumeDiskNumbers(answer.data(), answer.size(), answer.bytesReturned());
  // Only whole extents inside the answer, never more than it counts.
  FUZZ_CHECK(disks.empty() ||
             VOLUME_DISK_EXTENTS::Extents.offset + disks.size() * DISK_EXTENT::kSize <= limit);
  if (!disks.empty())
    FUZZ_CHECK(disks.size() <=
               hdsn::LoadLe32(answer.data() + VOLUME_DISK_EXTENTS::NumberOfDiskExtents.offset));
  const std::optional<std::uint32_t> disk =
      hdsn::ReadDiskDeviceNumber(answer.data(), answer.size(), answer.bytesReturned());
  if (disk)
    FUZZ_CHECK(limit >= STORAGE_DEVICE_NUMBER::DeviceNumber.end() &&
               hdsn::LoadLe32(answer.data()) == kFileDeviceDisk);
  return 0;
}
