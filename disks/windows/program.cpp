#include "disks/windows/program.h"

#include "disks/disks_runner.h"
#include "disks/fingerprint.h"
#include "disks/windows/disk_list.h"
#include "disks/windows/wmi_disk_drives.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "platform/system_interface.h"
#include "platform/text_interface.h"
#include "protocol/byte_order.h"
#include "wmi/wmi_session.h"

namespace hdsn {
namespace {

// The usage's paragraph on the sources.
constexpr char kSources[] =
    "Lists every disk with its serial number, model and firmware, asking each\n"
    "one through its storage descriptor, its NVMe and ATA identify data, its\n"
    "SCSI unit serial number page and WMI, and with its world wide name, NVMe\n"
    "namespace identifiers, size, sector sizes and rotation, asking also its\n"
    "NVMe namespace data, its device identification page, its alignment, seek\n"
    "penalty and geometry. Only the ATA identify data and the unit serial\n"
    "number page need administrator rights.\n";

// The program owns its process, so it sets the process's COM security, once,
// as the first COM call after COM itself; ListDisks, a library call, leaves
// it alone. A thread already in the other apartment (RPC_E_CHANGED_MODE)
// still takes the security; a thread where COM failed cannot.
DiskInventory ListDisksInOwnProcess(const Platform& platform) {
  WmiInterface& wmi = platform.wmi;
  const HResult initialized = wmi.CoInitializeEx(/*reserved=*/nullptr, kCoinitMultithreaded);
  const ComApartment apartment(wmi, !Failed(initialized));
  if (!Failed(initialized) || initialized == kRpcEChangedMode) InitializeProcessComSecurity(wmi);
  return ListDisks(platform);
}

// The C runtime hands the arguments over in the ANSI code page; the Linux
// program gets the shell's UTF-8. The salt is keyed as UTF-8 on both, so that
// "--salt Société" gives one fingerprint on a machine that boots both.
std::optional<std::string> SaltAsUtf8(TextInterface& text, const std::string& salt) {
  if (salt.empty()) return salt;
  const int length = static_cast<int>(salt.size());
  std::u16string wide(salt.size(), u'\0');
  const int written = text.MultiByteToWideChar(salt.data(), length, wide.data(), length);
  if (written <= 0) return std::nullopt;
  wide.resize(static_cast<std::size_t>(written));
  return Utf16ToUtf8(wide);
}

}  // namespace

bool IsNtFamily(SystemInterface& system) {
  OsVersionInfoA info{};
  StoreLe32(info.bytes + OsVersionInfoA::kOsVersionInfoSizeOffset, OsVersionInfoA::kSize);
  if (system.GetVersionExA(&info) == 0) return false;
  return LoadLe32(info.bytes + OsVersionInfoA::kPlatformIdOffset) == kVerPlatformWin32Nt;
}

int RunDisksProgram(const Platform& platform, OutputFileInterface& files, int argc,
                    const char* const* argv) {
  ConsoleInterface& console = platform.console;
  DisksOptions options;
  if (const std::optional<int> status = ParseDisksArguments(console, argc, argv, kSources, options))
    return *status;
  if (!IsNtFamily(platform.system)) {
    console.ErrorPrintf("hdsn-disks: needs Windows NT\n");
    return kDisksExitNone;
  }

  if (options.salt) {
    options.salt = SaltAsUtf8(platform.text, *options.salt);
    if (!options.salt) {
      console.ErrorPrintf("hdsn-disks: the salt is no text of the ANSI code page: %lu\n",
                          static_cast<unsigned long>(platform.text.GetLastError()));
      return kDisksExitUsage;
    }
  }

  const DiskInventory inventory = ListDisksInOwnProcess(platform);
  if (options.fingerprint)
    return PrintFingerprint(console, files, platform.hmac, inventory, options);
  return PrintDisks(console, files, inventory, options);
}

}  // namespace hdsn
