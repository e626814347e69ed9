// The COM and WMI calls made by the system-drive-to-serial query chain.
// Neutral on purpose: the objects are opaque pointers the logic only hands
// back, statuses are HRESULT values, and the value holder has the bytes of a
// VARIANT where the logic reads it. The Win32 implementation passes every
// argument through unchanged; the tests put a simulated WMI service behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace hdsn {

// An HRESULT: negative means failure.
using HResult = std::int32_t;
constexpr bool Failed(HResult status) { return status < 0; }

inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;
inline constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr HResult kEPointer = static_cast<HResult>(0x80004003u);
// COM already runs on this thread in the other apartment model.
inline constexpr HResult kRpcEChangedMode = static_cast<HResult>(0x80010106u);
// The process's security was set before (by COM itself or by someone else).
inline constexpr HResult kRpcETooLate = static_cast<HResult>(0x80010119u);
inline constexpr HResult kWbemSFalse = 1;
inline constexpr HResult kWbemENotFound = static_cast<HResult>(0x80041002u);
inline constexpr HResult kWbemEAccessDenied = static_cast<HResult>(0x80041003u);
inline constexpr HResult kWbemEInvalidQuery = static_cast<HResult>(0x80041017u);

// HRESULT_FROM_WIN32: a positive system error code in the FACILITY_WIN32 form.
constexpr HResult HresultFromWin32(std::uint32_t code) {
  return static_cast<HResult>(code) <= 0 ? static_cast<HResult>(code)
                                         : static_cast<HResult>((code & 0xFFFFu) | 0x80070000u);
}

inline constexpr std::uint32_t kCoinitMultithreaded = 0;
inline constexpr std::uint32_t kClsctxInprocServer = 0x1;
inline constexpr std::uint32_t kRpcCAuthnLevelDefault = 0;
inline constexpr std::uint32_t kRpcCAuthnLevelCall = 3;
inline constexpr std::uint32_t kRpcCImpLevelImpersonate = 3;
inline constexpr std::uint32_t kRpcCAuthnWinnt = 10;
inline constexpr std::uint32_t kRpcCAuthzNone = 0;
inline constexpr std::uint32_t kEoacNone = 0;
// Let COM choose the authentication services.
inline constexpr std::int32_t kComChoosesAuthServices = -1;

inline constexpr std::int32_t kWbemFlagReturnImmediately = 0x10;
inline constexpr std::int32_t kWbemFlagForwardOnly = 0x20;
inline constexpr std::int32_t kWbemInfinite = -1;  // 0xFFFFFFFF as a LONG

inline constexpr std::uint16_t kVtEmpty = 0;
inline constexpr std::uint16_t kVtNull = 1;
inline constexpr std::uint16_t kVtBstr = 8;
inline constexpr std::uint16_t kVtI2 = 2;
inline constexpr std::uint16_t kVtI4 = 3;
inline constexpr std::uint16_t kVtUi1 = 17;
inline constexpr std::uint16_t kVtUi2 = 18;
inline constexpr std::uint16_t kVtUi4 = 19;

// A GUID as COM lays it out: 16 bytes, Data1 to Data4.
struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16);

inline constexpr Guid kClsidWbemLocator = {
    0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
inline constexpr Guid kIidIWbemLocator = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

// The WMI objects, never looked into by the logic.
struct WmiLocator;
struct WmiServices;
struct WmiEnumerator;
struct WmiClassObject;

// A COM string (BSTR): wide text preceded by its byte length, allocated with
// SysAllocStringLen and freed with SysFreeString. WMI's calls take these and
// not plain wide text, because a call that crosses to the WMI service carries
// the text by its length prefix.
using ComText = char16_t*;

// The bytes of a VARIANT: the type in the first two bytes, the value from
// byte 8 on (a BSTR pointer for VT_BSTR, a number of the type's own width
// for the integer types: lVal, ulVal, iVal, uiVal, bVal all start there).
// Two pointers' worth of value bytes make it 16 bytes on 32-bit Windows and
// 24 on 64-bit, as the real one.
struct WmiValue {
  static constexpr std::size_t kSize = 8 + 2 * sizeof(void*);
  static constexpr std::size_t kTypeOffset = 0;
  static constexpr std::size_t kBstrValOffset = 8;
  static constexpr std::size_t kLongValOffset = 8;
  alignas(8) unsigned char bytes[kSize];

  std::uint16_t Type() const {
    std::uint16_t type;
    std::memcpy(&type, bytes + kTypeOffset, sizeof type);
    return type;
  }
  const char16_t* BstrVal() const {
    const char16_t* text;
    std::memcpy(&text, bytes + kBstrValOffset, sizeof text);
    return text;
  }
  // VT_I4 and VT_UI4 (lVal, ulVal), VT_I2 and VT_UI2 (iVal, uiVal), VT_UI1 (bVal).
  std::int32_t LongVal() const { return Load<std::int32_t>(); }
  std::uint32_t ULongVal() const { return Load<std::uint32_t>(); }
  std::int16_t ShortVal() const { return Load<std::int16_t>(); }
  std::uint16_t UShortVal() const { return Load<std::uint16_t>(); }
  std::uint8_t ByteVal() const { return Load<std::uint8_t>(); }
  void SetType(std::uint16_t type) { std::memcpy(bytes + kTypeOffset, &type, sizeof type); }
  void SetBstrVal(ComText text) { std::memcpy(bytes + kBstrValOffset, &text, sizeof text); }
  void SetLongVal(std::int32_t value) { std::memcpy(bytes + kLongValOffset, &value, sizeof value); }

 private:
  template <typename Number>
  Number Load() const {
    Number value;
    std::memcpy(&value, bytes + kLongValOffset, sizeof value);
    return value;
  }
};
static_assert(sizeof(WmiValue) == WmiValue::kSize);

class WmiInterface {
 public:
  virtual ~WmiInterface() = default;

  virtual HResult CoInitializeEx(void* reserved, std::uint32_t coInit) = 0;
  virtual HResult CoInitializeSecurity(void* securityDescriptor, std::int32_t authServiceCount,
                                       void* authServices, void* reserved1,
                                       std::uint32_t authnLevel, std::uint32_t impLevel,
                                       void* authList, std::uint32_t capabilities,
                                       void* reserved3) = 0;
  virtual HResult CoCreateInstance(const Guid& clsid, void* outer, std::uint32_t clsContext,
                                   const Guid& iid, WmiLocator** locator) = 0;
  // IWbemLocator::ConnectServer.
  virtual HResult ConnectServer(WmiLocator* locator, ComText networkResource, ComText user,
                                ComText password, ComText locale, std::int32_t securityFlags,
                                ComText authority, void* context, WmiServices** services) = 0;
  // The security of calls through one proxy: the services object or an
  // enumerator it handed out (which does not inherit the services' blanket).
  virtual HResult CoSetProxyBlanket(WmiServices* proxy, std::uint32_t authnService,
                                    std::uint32_t authzService, char16_t* serverPrincipalName,
                                    std::uint32_t authnLevel, std::uint32_t impLevel,
                                    void* authInfo, std::uint32_t capabilities) = 0;
  virtual HResult CoSetProxyBlanket(WmiEnumerator* proxy, std::uint32_t authnService,
                                    std::uint32_t authzService, char16_t* serverPrincipalName,
                                    std::uint32_t authnLevel, std::uint32_t impLevel,
                                    void* authInfo, std::uint32_t capabilities) = 0;
  // IWbemServices::ExecQuery.
  virtual HResult ExecQuery(WmiServices* services, ComText queryLanguage, ComText query,
                            std::int32_t flags, void* context, WmiEnumerator** enumerator) = 0;
  // IEnumWbemClassObject::Next.
  virtual HResult Next(WmiEnumerator* enumerator, std::int32_t timeout, std::uint32_t count,
                       WmiClassObject** objects, std::uint32_t* returned) = 0;
  // IWbemClassObject::Get; type and flavor are CIMTYPE and LONG outputs.
  virtual HResult Get(WmiClassObject* object, const char16_t* name, std::int32_t flags,
                      WmiValue* value, std::int32_t* type, std::int32_t* flavor) = 0;
  virtual HResult VariantClear(WmiValue* value) = 0;
  // IUnknown::Release of each kind of object; the counts are not looked at.
  virtual std::uint32_t Release(WmiLocator* locator) = 0;
  virtual std::uint32_t Release(WmiServices* services) = 0;
  virtual std::uint32_t Release(WmiEnumerator* enumerator) = 0;
  virtual std::uint32_t Release(WmiClassObject* object) = 0;
  virtual void CoUninitialize() = 0;
  // The COM string allocator; SysAllocStringLen gives nullptr when memory runs out.
  virtual ComText SysAllocStringLen(const char16_t* text, std::uint32_t length) = 0;
  virtual void SysFreeString(ComText text) = 0;
};

}  // namespace hdsn
