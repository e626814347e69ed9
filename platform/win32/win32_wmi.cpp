// COM and WMI, passed through unchanged.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <cstddef>

#include "platform/win32/win32_platform.h"
#include "wmi/wmi_interface.h"

namespace hdsn {
namespace {

static_assert(sizeof(HRESULT) == sizeof(HResult));
static_assert(S_OK == kSOk && S_FALSE == kSFalse);
static_assert(E_OUTOFMEMORY == kEOutOfMemory && E_INVALIDARG == kEInvalidArg && E_FAIL == kEFail);
static_assert(E_POINTER == kEPointer);
static_assert(RPC_E_CHANGED_MODE == kRpcEChangedMode && RPC_E_TOO_LATE == kRpcETooLate);
static_assert(static_cast<HRESULT>(WBEM_S_FALSE) == kWbemSFalse);
static_assert(static_cast<HRESULT>(WBEM_E_NOT_FOUND) == kWbemENotFound);
static_assert(static_cast<HRESULT>(WBEM_E_INVALID_QUERY) == kWbemEInvalidQuery);
static_assert(static_cast<HRESULT>(WBEM_E_ACCESS_DENIED) == kWbemEAccessDenied);
static_assert(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER) == HresultFromWin32(87));
static_assert(HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION) == HresultFromWin32(1113));

static_assert(COINIT_MULTITHREADED == kCoinitMultithreaded);
static_assert(CLSCTX_INPROC_SERVER == kClsctxInprocServer);
static_assert(RPC_C_AUTHN_LEVEL_DEFAULT == kRpcCAuthnLevelDefault);
static_assert(RPC_C_AUTHN_LEVEL_CALL == kRpcCAuthnLevelCall);
static_assert(RPC_C_IMP_LEVEL_IMPERSONATE == kRpcCImpLevelImpersonate);
static_assert(RPC_C_AUTHN_WINNT == kRpcCAuthnWinnt && RPC_C_AUTHZ_NONE == kRpcCAuthzNone);
static_assert(EOAC_NONE == kEoacNone);
static_assert(WBEM_FLAG_RETURN_IMMEDIATELY == kWbemFlagReturnImmediately);
static_assert(WBEM_FLAG_FORWARD_ONLY == kWbemFlagForwardOnly);
static_assert(static_cast<LONG>(WBEM_INFINITE) == kWbemInfinite);
static_assert(VT_EMPTY == kVtEmpty && VT_NULL == kVtNull && VT_BSTR == kVtBstr);
static_assert(VT_I2 == kVtI2 && VT_I4 == kVtI4 && VT_UI1 == kVtUi1 && VT_UI2 == kVtUi2 &&
              VT_UI4 == kVtUi4);

static_assert(sizeof(GUID) == sizeof(Guid));
static_assert(offsetof(GUID, Data1) == offsetof(Guid, data1));
static_assert(offsetof(GUID, Data2) == offsetof(Guid, data2));
static_assert(offsetof(GUID, Data3) == offsetof(Guid, data3));
static_assert(offsetof(GUID, Data4) == offsetof(Guid, data4));

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text on Windows is UTF-16");
static_assert(sizeof(VARIANT) == WmiValue::kSize);
static_assert(alignof(VARIANT) <= alignof(WmiValue));
static_assert(offsetof(VARIANT, vt) == WmiValue::kTypeOffset);
static_assert(offsetof(VARIANT, bstrVal) == WmiValue::kBstrValOffset);
static_assert(offsetof(VARIANT, lVal) == WmiValue::kLongValOffset &&
              offsetof(VARIANT, ulVal) == WmiValue::kLongValOffset &&
              offsetof(VARIANT, iVal) == WmiValue::kLongValOffset &&
              offsetof(VARIANT, uiVal) == WmiValue::kLongValOffset &&
              offsetof(VARIANT, bVal) == WmiValue::kLongValOffset);
static_assert(sizeof(VARIANT::lVal) == 4 && sizeof(VARIANT::ulVal) == 4 &&
              sizeof(VARIANT::iVal) == 2 && sizeof(VARIANT::uiVal) == 2 &&
              sizeof(VARIANT::bVal) == 1);
static_assert(sizeof(VARTYPE) == sizeof(std::uint16_t));
static_assert(sizeof(CIMTYPE) == sizeof(std::int32_t) && sizeof(LONG) == sizeof(std::int32_t));
static_assert(sizeof(ULONG) == sizeof(std::uint32_t));

const GUID& ToGuid(const Guid& guid) { return reinterpret_cast<const GUID&>(guid); }
BSTR ToBstr(ComText text) { return reinterpret_cast<BSTR>(text); }
VARIANT* ToVariant(WmiValue* value) { return reinterpret_cast<VARIANT*>(value); }

IWbemLocator* ToCom(WmiLocator* locator) { return reinterpret_cast<IWbemLocator*>(locator); }
IWbemServices* ToCom(WmiServices* services) { return reinterpret_cast<IWbemServices*>(services); }
IEnumWbemClassObject* ToCom(WmiEnumerator* enumerator) {
  return reinterpret_cast<IEnumWbemClassObject*>(enumerator);
}
IWbemClassObject* ToCom(WmiClassObject* object) {
  return reinterpret_cast<IWbemClassObject*>(object);
}

// CoSetProxyBlanket on either proxy the interface hands out, the services
// object or an enumerator: COM takes both as IUnknown.
HResult SetBlanket(IUnknown* proxy, std::uint32_t authnService, std::uint32_t authzService,
                   char16_t* serverPrincipalName, std::uint32_t authnLevel, std::uint32_t impLevel,
                   void* authInfo, std::uint32_t capabilities) {
  return ::CoSetProxyBlanket(proxy, authnService, authzService,
                             reinterpret_cast<OLECHAR*>(serverPrincipalName), authnLevel, impLevel,
                             static_cast<RPC_AUTH_IDENTITY_HANDLE>(authInfo), capabilities);
}

class Win32Wmi final : public WmiInterface {
 public:
  HResult CoInitializeEx(void* reserved, std::uint32_t coInit) override {
    return ::CoInitializeEx(reserved, coInit);
  }

  HResult CoInitializeSecurity(void* securityDescriptor, std::int32_t authServiceCount,
                               void* authServices, void* reserved1, std::uint32_t authnLevel,
                               std::uint32_t impLevel, void* authList, std::uint32_t capabilities,
                               void* reserved3) override {
    return ::CoInitializeSecurity(
        static_cast<PSECURITY_DESCRIPTOR>(securityDescriptor), authServiceCount,
        static_cast<SOLE_AUTHENTICATION_SERVICE*>(authServices), reserved1, authnLevel, impLevel,
        authList, capabilities, reserved3);
  }

  HResult CoCreateInstance(const Guid& clsid, void* outer, std::uint32_t clsContext,
                           const Guid& iid, WmiLocator** locator) override {
    return ::CoCreateInstance(ToGuid(clsid), static_cast<IUnknown*>(outer), clsContext, ToGuid(iid),
                              reinterpret_cast<void**>(locator));
  }

  HResult ConnectServer(WmiLocator* locator, ComText networkResource, ComText user,
                        ComText password, ComText locale, std::int32_t securityFlags,
                        ComText authority, void* context, WmiServices** services) override {
    return ToCom(locator)->ConnectServer(ToBstr(networkResource), ToBstr(user), ToBstr(password),
                                         ToBstr(locale), securityFlags, ToBstr(authority),
                                         static_cast<IWbemContext*>(context),
                                         reinterpret_cast<IWbemServices**>(services));
  }

  HResult CoSetProxyBlanket(WmiServices* proxy, std::uint32_t authnService,
                            std::uint32_t authzService, char16_t* serverPrincipalName,
                            std::uint32_t authnLevel, std::uint32_t impLevel, void* authInfo,
                            std::uint32_t capabilities) override {
    return SetBlanket(ToCom(proxy), authnService, authzService, serverPrincipalName, authnLevel,
                      impLevel, authInfo, capabilities);
  }

  HResult CoSetProxyBlanket(WmiEnumerator* proxy, std::uint32_t authnService,
                            std::uint32_t authzService, char16_t* serverPrincipalName,
                            std::uint32_t authnLevel, std::uint32_t impLevel, void* authInfo,
                            std::uint32_t capabilities) override {
    return SetBlanket(ToCom(proxy), authnService, authzService, serverPrincipalName, authnLevel,
                      impLevel, authInfo, capabilities);
  }

  HResult ExecQuery(WmiServices* services, ComText queryLanguage, ComText query, std::int32_t flags,
                    void* context, WmiEnumerator** enumerator) override {
    return ToCom(services)->ExecQuery(ToBstr(queryLanguage), ToBstr(query), flags,
                                      static_cast<IWbemContext*>(context),
                                      reinterpret_cast<IEnumWbemClassObject**>(enumerator));
  }

  HResult Next(WmiEnumerator* enumerator, std::int32_t timeout, std::uint32_t count,
               WmiClassObject** objects, std::uint32_t* returned) override {
    OutParam<ULONG, std::uint32_t> returnedCount(returned);
    return ToCom(enumerator)
        ->Next(timeout, count, reinterpret_cast<IWbemClassObject**>(objects), returnedCount.get());
  }

  HResult Get(WmiClassObject* object, const char16_t* name, std::int32_t flags, WmiValue* value,
              std::int32_t* type, std::int32_t* flavor) override {
    OutParam<CIMTYPE, std::int32_t> cimType(type);
    OutParam<LONG, std::int32_t> flavorValue(flavor);
    return ToCom(object)->Get(reinterpret_cast<LPCWSTR>(name), flags, ToVariant(value),
                              cimType.get(), flavorValue.get());
  }

  HResult VariantClear(WmiValue* value) override { return ::VariantClear(ToVariant(value)); }

  std::uint32_t Release(WmiLocator* locator) override { return ToCom(locator)->Release(); }
  std::uint32_t Release(WmiServices* services) override { return ToCom(services)->Release(); }
  std::uint32_t Release(WmiEnumerator* enumerator) override { return ToCom(enumerator)->Release(); }
  std::uint32_t Release(WmiClassObject* object) override { return ToCom(object)->Release(); }

  void CoUninitialize() override { ::CoUninitialize(); }

  ComText SysAllocStringLen(const char16_t* text, std::uint32_t length) override {
    return reinterpret_cast<ComText>(
        ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), length));
  }

  void SysFreeString(ComText text) override { ::SysFreeString(ToBstr(text)); }
};

}  // namespace

WmiInterface& GetWin32Wmi() {
  static Win32Wmi wmi;
  return wmi;
}

}  // namespace hdsn
