#include "wmi/wmi_session.h"

#include "wmi/wql_text.h"

namespace hdsn {

HResult InitializeProcessComSecurity(WmiInterface& wmi) {
  return wmi.CoInitializeSecurity(
      /*securityDescriptor=*/nullptr, kComChoosesAuthServices, /*authServices=*/nullptr,
      /*reserved1=*/nullptr, kRpcCAuthnLevelDefault, kRpcCImpLevelImpersonate,
      /*authList=*/nullptr, kEoacNone, /*reserved3=*/nullptr);
}

bool WmiSession::Fail(const char* call, HResult status) {
  failedCall_ = call;
  failedStatus_ = status;
  return false;
}

bool WmiSession::Open() {
  const HResult initialized = wmi_.CoInitializeEx(/*reserved=*/nullptr, kCoinitMultithreaded);
  if (initialized != kSOk && initialized != kSFalse && initialized != kRpcEChangedMode)
    return Fail("CoInitializeEx", initialized);
  apartment_.emplace(wmi_, !Failed(initialized));

  if (security_ == ComSecurity::kSetForProcess) {
    // RPC_E_TOO_LATE: the process's security is set already, which serves.
    const HResult security = InitializeProcessComSecurity(wmi_);
    if (Failed(security) && security != kRpcETooLate) return Fail("CoInitializeSecurity", security);
  }

  WmiLocator* locator = nullptr;
  const HResult created = wmi_.CoCreateInstance(kClsidWbemLocator, /*outer=*/nullptr,
                                                kClsctxInprocServer, kIidIWbemLocator, &locator);
  if (Failed(created) || locator == nullptr) return Fail("CoCreateInstance", created);
  locator_.emplace(wmi_, locator);

  WmiServices* services = nullptr;
  {
    const ComString space = WideToComString(wmi_, u"ROOT\\CIMV2");
    const HResult connected =
        wmi_.ConnectServer(locator, space.get(), /*user=*/nullptr, /*password=*/nullptr,
                           /*locale=*/nullptr, /*securityFlags=*/0, /*authority=*/nullptr,
                           /*context=*/nullptr, &services);
    if (Failed(connected) || services == nullptr) return Fail("ConnectServer", connected);
  }
  heldServices_.emplace(wmi_, services);

  const HResult blanket = SetWmiProxyBlanket(wmi_, services);
  if (Failed(blanket)) return Fail("CoSetProxyBlanket", blanket);
  services_ = services;
  return true;
}

}  // namespace hdsn
