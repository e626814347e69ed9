#include "wmi/wmi_serial.h"

#include <cstring>

#include "platform/text_interface.h"
#include "wmi/wmi_interface.h"
#include "wmi/wql_text.h"

namespace hdsn {
namespace {

// A forward-only enumerator that hands objects out as they arrive: nothing is
// kept for a second walk, and the first object comes without waiting for the
// last.
constexpr std::int32_t kQueryFlags = kWbemFlagForwardOnly | kWbemFlagReturnImmediately;

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

struct Connection {
  WmiInterface& wmi;
  TextInterface& text;
  WmiServices* services;
};

// Runs one query and hands the text of `property` of every object that has
// it as a text to `store`, in the order WMI returns them. False when WMI
// refused the query.
template <typename Store>
bool RunQuery(const Connection& connection, const char* prefix, const char* value,
              const char16_t* property, Store store) {
  WmiInterface& wmi = connection.wmi;
  const ComString language = NarrowToComString(wmi, connection.text, "WQL");
  const ComString query = BuildWqlQuery(wmi, connection.text, prefix, value);
  WmiEnumerator* enumerator = nullptr;
  const HResult executed = wmi.ExecQuery(connection.services, language.get(), query.get(),
                                         kQueryFlags, /*context=*/nullptr, &enumerator);
  if (Failed(executed) || enumerator == nullptr) return false;
  const Held<WmiEnumerator> heldEnumerator(wmi, enumerator);
  for (;;) {
    WmiClassObject* object = nullptr;
    std::uint32_t returned = 0;
    // Only the count tells the end: with an infinite wait the status says
    // nothing the count does not.
    wmi.Next(enumerator, kWbemInfinite, /*count=*/1, &object, &returned);
    if (returned == 0 || object == nullptr) break;
    const Held<WmiClassObject> heldObject(wmi, object);
    PropertyValue read(wmi);
    const HResult got =
        wmi.Get(object, property, /*flags=*/0, &read.value, /*type=*/nullptr, /*flavor=*/nullptr);
    if (!Failed(got) && read.value.Type() == kVtBstr) store(read.value.BstrVal());
  }
  return true;
}

void QueryChain(const Connection& connection, char* result, std::int32_t size) {
  TextInterface& text = connection.text;
  char drive[kWmiWorkBufferSize] = {};
  char partition[kWmiWorkBufferSize] = {};
  char disk[kWmiWorkBufferSize] = {};
  char media[kWmiWorkBufferSize] = {};
  auto into = [&text](char* buffer) {
    return [&text, buffer](const char16_t* value) { ConvertPropertyText(text, value, buffer); };
  };
  auto intoResult = [&text, result, size](const char16_t* value) {
    StoreSerialText(text, value, result, size);
  };

  // A path that no longer fits its buffer once escaped ends the chain: every
  // later query names the object through it.
  if (!RunQuery(connection, "SELECT * FROM Win32_OperatingSystem", nullptr, u"SystemDrive",
                into(drive)))
    return;
  if (!RunQuery(connection, "SELECT * FROM Win32_LogicalDisk WHERE DeviceID = \"", drive,
                u"__PATH", into(drive)))
    return;
  if (!EscapeWqlLiteral(drive, kWmiWorkBufferSize)) return;
  if (!RunQuery(connection, "SELECT * FROM Win32_LogicalDiskToPartition WHERE Dependent = \"",
                drive, u"Antecedent", into(partition)))
    return;
  if (!EscapeWqlLiteral(partition, kWmiWorkBufferSize)) return;
  if (!RunQuery(connection, "SELECT * FROM Win32_DiskDriveToDiskPartition WHERE Dependent=\"",
                partition, u"Antecedent", into(disk)))
    return;
  if (!EscapeWqlLiteral(disk, kWmiWorkBufferSize)) return;
  if (!RunQuery(connection, "SELECT * FROM Win32_DiskDrive WHERE __PATH=\"", disk,
                u"SerialNumber", intoResult))
    return;
  if (size > 0 && result[0] != '\0') return;

  // No serial number on the drive itself: ask its physical media.
  if (!RunQuery(connection, "SELECT * FROM Win32_DiskDrivePhysicalMedia WHERE Dependent=\"", disk,
                u"Antecedent", into(media)))
    return;
  if (!EscapeWqlLiteral(media, kWmiWorkBufferSize)) return;
  RunQuery(connection, "SELECT * FROM Win32_PhysicalMedia WHERE __PATH=\"", media,
           u"SerialNumber", intoResult);
}

}  // namespace

void QueryWmiSerial(WmiInterface& wmi, TextInterface& text, char* result, std::int32_t size) {
  const HResult initialized = wmi.CoInitializeEx(/*reserved=*/nullptr, kCoinitMultithreaded);
  if (initialized != kSOk && initialized != kSFalse && initialized != kRpcEChangedMode) return;
  const ComApartment apartment(wmi, !Failed(initialized));

  const HResult security = wmi.CoInitializeSecurity(
      /*securityDescriptor=*/nullptr, kComChoosesAuthServices, /*authServices=*/nullptr,
      /*reserved1=*/nullptr, kRpcCAuthnLevelDefault, kRpcCImpLevelImpersonate,
      /*authList=*/nullptr, kEoacNone, /*reserved3=*/nullptr);
  if (Failed(security) && security != kRpcETooLate) return;

  WmiLocator* locator = nullptr;
  const HResult created = wmi.CoCreateInstance(kClsidWbemLocator, /*outer=*/nullptr,
                                               kClsctxInprocServer, kIidIWbemLocator, &locator);
  if (Failed(created) || locator == nullptr) return;
  const Held<WmiLocator> heldLocator(wmi, locator);

  WmiServices* services = nullptr;
  {
    const ComString space = WideToComString(wmi, u"ROOT\\CIMV2");
    const HResult connected =
        wmi.ConnectServer(locator, space.get(), /*user=*/nullptr, /*password=*/nullptr,
                          /*locale=*/nullptr, /*securityFlags=*/0, /*authority=*/nullptr,
                          /*context=*/nullptr, &services);
    if (Failed(connected) || services == nullptr) return;
  }
  const Held<WmiServices> heldServices(wmi, services);

  const HResult blanket = wmi.CoSetProxyBlanket(
      services, kRpcCAuthnWinnt, kRpcCAuthzNone, /*serverPrincipalName=*/nullptr,
      kRpcCAuthnLevelCall, kRpcCImpLevelImpersonate, /*authInfo=*/nullptr, kEoacNone);
  if (Failed(blanket)) return;

  try {
    QueryChain(Connection{wmi, text, services}, result, size);
  } catch (const ComError& error) {
    // A query text the code page could not convert ends the method like a
    // refused query, everything released on the way out. Memory exhaustion
    // is not this method's to handle and goes on up.
    if (error.Error() == kEOutOfMemory) throw;
  }
}

}  // namespace hdsn
