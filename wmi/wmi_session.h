// What every WMI client of the program holds: COM on its thread, the
// locator and the services object of ROOT\CIMV2, each WMI object it is handed
// and the value holder of each property read, all released once and in the
// order COM wants (objects before the services, the services before the
// locator, COM itself last).
#pragma once

#include <cstring>
#include <optional>

#include "wmi/wmi_interface.h"
#include "wmi/wql_text.h"

namespace hdsn {

// A forward-only enumerator that hands objects out as they arrive: nothing is
// kept for a second walk, and the first object comes without waiting for the
// last.
inline constexpr std::int32_t kWmiQueryFlags = kWbemFlagForwardOnly | kWbemFlagReturnImmediately;

// One reference to a WMI object, released once.
template <typename Object>
class Held {
 public:
  Held(WmiInterface& wmi, Object* object) : wmi_(wmi), object_(object) {}
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  ~Held() { wmi_.Release(object_); }

 private:
  WmiInterface& wmi_;
  Object* object_;
};

// COM on this thread from an accepted CoInitializeEx to CoUninitialize.
// RPC_E_CHANGED_MODE means COM already runs here in the other model and this
// call added nothing: uninitializing then would end the owner's COM, so only
// a successful call is balanced.
class ComApartment {
 public:
  ComApartment(WmiInterface& wmi, bool initialized) : wmi_(wmi), initialized_(initialized) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialized_) wmi_.CoUninitialize();
  }

 private:
  WmiInterface& wmi_;
  bool initialized_;
};

// The value holder of one property read, cleared whatever Get returned.
class PropertyValue {
 public:
  explicit PropertyValue(WmiInterface& wmi) : wmi_(wmi) {
    std::memset(value.bytes, 0, sizeof value.bytes);  // VT_EMPTY, as VariantInit leaves it
  }
  PropertyValue(const PropertyValue&) = delete;
  PropertyValue& operator=(const PropertyValue&) = delete;
  ~PropertyValue() { wmi_.VariantClear(&value); }

  WmiValue value;

 private:
  WmiInterface& wmi_;
};

// The process's COM security as both programs set it: default
// authentication, impersonation, no capabilities. COM must be initialised on
// the thread first. Only a program sets it: a process has one, set once.
HResult InitializeProcessComSecurity(WmiInterface& wmi);

// The security of the calls through one proxy: NTLM, per call, impersonation,
// which WMI needs whatever the process's security says.
template <typename Proxy>
HResult SetWmiProxyBlanket(WmiInterface& wmi, Proxy* proxy) {
  return wmi.CoSetProxyBlanket(proxy, kRpcCAuthnWinnt, kRpcCAuthzNone,
                               /*serverPrincipalName=*/nullptr, kRpcCAuthnLevelCall,
                               kRpcCImpLevelImpersonate, /*authInfo=*/nullptr, kEoacNone);
}

// Who sets the COM security of a session's calls: the session sets the
// process's (what a program may do), or the host owns the process's and the
// session sets a blanket on every proxy it uses (what a library must do).
enum class ComSecurity { kSetForProcess, kPerProxy };

// Runs the WQL query of BuildWqlQuery(prefix, value) and hands every object
// it yields to visit, in the order WMI returns them, each released once
// visit is done with it, the enumerator at the end. With
// ComSecurity::kPerProxy the enumerator gets the proxy blanket before its
// first Next. Returns the status of ExecQuery, or of CoSetProxyBlanket when
// that failed (failedCall, when given, names which), E_POINTER when ExecQuery
// gave no enumerator. Raises ComError when the query text cannot be made.
template <typename Visit>
HResult ForEachQueryObject(WmiInterface& wmi, TextInterface& text, WmiServices* services,
                           const char* prefix, const char* value, Visit visit,
                           ComSecurity security = ComSecurity::kSetForProcess,
                           const char** failedCall = nullptr) {
  if (failedCall) *failedCall = "ExecQuery";
  const ComString language = NarrowToComString(wmi, text, "WQL");
  const ComString query = BuildWqlQuery(wmi, text, prefix, value);
  WmiEnumerator* enumerator = nullptr;
  const HResult executed = wmi.ExecQuery(services, language.get(), query.get(), kWmiQueryFlags,
                                         /*context=*/nullptr, &enumerator);
  if (Failed(executed)) return executed;
  if (enumerator == nullptr) return kEPointer;
  const Held<WmiEnumerator> heldEnumerator(wmi, enumerator);
  if (security == ComSecurity::kPerProxy) {
    const HResult blanket = SetWmiProxyBlanket(wmi, enumerator);
    if (Failed(blanket)) {
      if (failedCall) *failedCall = "CoSetProxyBlanket";
      return blanket;
    }
  }
  for (;;) {
    WmiClassObject* object = nullptr;
    std::uint32_t returned = 0;
    // Only the count tells the end: with an infinite wait the status says
    // nothing the count does not.
    wmi.Next(enumerator, kWbemInfinite, /*count=*/1, &object, &returned);
    if (returned == 0 || object == nullptr) break;
    const Held<WmiClassObject> heldObject(wmi, object);
    visit(object);
  }
  return executed;
}

// A connection to the local ROOT\CIMV2 namespace: CoInitializeEx (the
// multithreaded apartment; a thread in the other model is taken as it is),
// CoInitializeSecurity (ComSecurity::kSetForProcess only), CoCreateInstance
// of the locator, ConnectServer, CoSetProxyBlanket on the services. Whatever
// Open obtained is released when the session ends, also after a failed step.
class WmiSession {
 public:
  explicit WmiSession(WmiInterface& wmi, ComSecurity security = ComSecurity::kSetForProcess)
      : wmi_(wmi), security_(security) {}
  WmiSession(const WmiSession&) = delete;
  WmiSession& operator=(const WmiSession&) = delete;

  // True when every step succeeded; otherwise failedCall() names the step
  // that did not, and failedStatus() is its HRESULT.
  bool Open();
  WmiServices* services() const { return services_; }
  const char* failedCall() const { return failedCall_; }
  HResult failedStatus() const { return failedStatus_; }
  ComSecurity security() const { return security_; }

 private:
  bool Fail(const char* call, HResult status);

  WmiInterface& wmi_;
  ComSecurity security_;
  WmiServices* services_ = nullptr;
  const char* failedCall_ = nullptr;
  HResult failedStatus_ = kSOk;
  // Destroyed in reverse order: the services object, the locator, then COM.
  std::optional<ComApartment> apartment_;
  std::optional<Held<WmiLocator>> locator_;
  std::optional<Held<WmiServices>> heldServices_;
};

}  // namespace hdsn
