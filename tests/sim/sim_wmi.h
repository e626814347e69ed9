// The simulated machine's WMI service: objects of the classes the query
// chain walks, a WQL subset (SELECT * FROM Class [WHERE Property = "literal"]),
// COM strings and references it counts, a log of every call with its
// arguments, and the fault plan's failures.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/fault_plan.h"
#include "wmi/wmi_interface.h"

namespace hdsn::sim {

// A property absent from the map does not exist on the object; one mapped to
// nullopt exists and is null.
using SimProperties = std::map<std::string, std::optional<std::u16string>>;

struct SimWmiObject {
  std::string className;
  SimProperties properties;
  // Integer properties (VT_I4, as Windows gives a uint32 such as Index).
  std::map<std::string, std::int32_t> integers = {};
};

// Latin-1 text widened, as SimText's code page does it.
std::u16string Latin1ToWide(const std::string& narrow);
std::string WideToLatin1(const std::u16string& wide);

// An object path as Windows writes it, with the key value's backslashes and
// double quotes escaped: \\HOST\ROOT\CIMV2:Class.Key="value".
std::string ObjectPath(const std::string& className, const std::string& key,
                       const std::string& value);
std::string DiskDrivePath(int disk);
std::string PartitionPath(int disk, int partition);
std::string LogicalDiskPath(const std::string& deviceId);
std::string PhysicalMediaPath(int disk);

class SimWmi final : public WmiInterface {
 public:
  explicit SimWmi(FaultPlan& faults);
  ~SimWmi() override;
  SimWmi(const SimWmi&) = delete;
  SimWmi& operator=(const SimWmi&) = delete;

  // The service's objects, in the order queries return them.
  std::deque<SimWmiObject> objects;

  // Builders. A disk drive comes with its Index, its physical media and
  // their association; serial numbers nullopt are null. AddInventoryDisk adds
  // a disk drive with its model and firmware texts.
  void AddOperatingSystem(const std::string& systemDrive);
  void AddDiskDrive(int disk, std::optional<std::u16string> serial,
                    std::optional<std::u16string> mediaSerial);
  void AddInventoryDisk(int disk, std::u16string serial, std::u16string model,
                        std::u16string firmware);
  void AddPartition(int disk, int partition);
  void AddLogicalDisk(const std::string& deviceId,
                      const std::vector<std::pair<int, int>>& partitions);
  // The first object of the class whose property equals the text, or null.
  SimWmiObject* Find(const std::string& className, const std::string& property,
                     const std::string& value);
  // The Win32_DiskDrive and Win32_PhysicalMedia objects AddDiskDrive made.
  SimWmiObject& DiskDrive(int disk);
  SimWmiObject& PhysicalMedia(int disk);

  // A SysAllocStringLen the fault plan fails returns null, whatever the status.

  // What happened.
  std::vector<std::string> calls;    // every call and its arguments, in order
  std::vector<std::string> queries;  // every ExecQuery text
  std::vector<std::string> errors;   // misuse: a double release, a foreign string...
  int comInitializations = 0;        // accepted CoInitializeEx less CoUninitialize
  // Set by a CoInitializeSecurity with impersonation (RPC_E_TOO_LATE: set
  // before). Without it, as on Windows where COM then sets identification
  // only, ExecQuery and Next fail with WBEM_E_ACCESS_DENIED on a proxy that
  // has no blanket of its own; a test may set it to stand for a host's.
  bool processSecurity = false;
  // A test of a library call sets this: CoInitializeSecurity is its host's
  // and a call of it is misuse.
  bool securityIsTheHosts = false;

  int LiveObjects() const;  // obtained and not yet released
  int LiveStrings() const;  // allocated and not yet freed

  HResult CoInitializeEx(void* reserved, std::uint32_t coInit) override;
  HResult CoInitializeSecurity(void* securityDescriptor, std::int32_t authServiceCount,
                               void* authServices, void* reserved1, std::uint32_t authnLevel,
                               std::uint32_t impLevel, void* authList, std::uint32_t capabilities,
                               void* reserved3) override;
  HResult CoCreateInstance(const Guid& clsid, void* outer, std::uint32_t clsContext,
                           const Guid& iid, WmiLocator** locator) override;
  HResult ConnectServer(WmiLocator* locator, ComText networkResource, ComText user,
                        ComText password, ComText locale, std::int32_t securityFlags,
                        ComText authority, void* context, WmiServices** services) override;
  HResult CoSetProxyBlanket(WmiServices* proxy, std::uint32_t authnService,
                            std::uint32_t authzService, char16_t* serverPrincipalName,
                            std::uint32_t authnLevel, std::uint32_t impLevel, void* authInfo,
                            std::uint32_t capabilities) override;
  HResult CoSetProxyBlanket(WmiEnumerator* proxy, std::uint32_t authnService,
                            std::uint32_t authzService, char16_t* serverPrincipalName,
                            std::uint32_t authnLevel, std::uint32_t impLevel, void* authInfo,
                            std::uint32_t capabilities) override;
  HResult ExecQuery(WmiServices* services, ComText queryLanguage, ComText query, std::int32_t flags,
                    void* context, WmiEnumerator** enumerator) override;
  HResult Next(WmiEnumerator* enumerator, std::int32_t timeout, std::uint32_t count,
               WmiClassObject** objects, std::uint32_t* returned) override;
  HResult Get(WmiClassObject* object, const char16_t* name, std::int32_t flags, WmiValue* value,
              std::int32_t* type, std::int32_t* flavor) override;
  HResult VariantClear(WmiValue* value) override;
  std::uint32_t Release(WmiLocator* locator) override;
  std::uint32_t Release(WmiServices* services) override;
  std::uint32_t Release(WmiEnumerator* enumerator) override;
  std::uint32_t Release(WmiClassObject* object) override;
  void CoUninitialize() override;
  ComText SysAllocStringLen(const char16_t* text, std::uint32_t length) override;
  void SysFreeString(ComText text) override;

 private:
  struct Node;
  struct String;

  // Logs the call; returns the status it is to fail with, if any.
  std::optional<HResult> Enter(const std::string& call, const std::string& operation);
  Node* NewNode(int kind);
  Node* Lookup(const void* handle, int kind, const char* operation);
  std::uint32_t ReleaseNode(const void* handle, int kind, const char* operation);
  String* LiveString(const char16_t* text);
  std::string Show(const char16_t* comText);
  HResult SetBlanket(const void* proxy, int kind, const std::string& shownKind,
                     std::uint32_t authnService, std::uint32_t authzService,
                     char16_t* serverPrincipalName, std::uint32_t authnLevel,
                     std::uint32_t impLevel, void* authInfo, std::uint32_t capabilities);

  FaultPlan& faults_;
  std::vector<std::unique_ptr<Node>> nodes_;
  std::vector<std::unique_ptr<String>> strings_;
};

// A machine as Windows describes it: the system drive C: on partition 0 of
// disk 0, D: on partition 1 of disk 0, E: across both partitions of disk 1.
inline constexpr char16_t kDisk0Serial[] = u"  WD-WCAV12345678 ";
inline constexpr char16_t kDisk1Serial[] = u"S1ZNNX0K123456";
inline constexpr char16_t kMedia0Serial[] = u"MEDIA-0-SERIAL";
inline constexpr char16_t kMedia1Serial[] = u"MEDIA-1-SERIAL";
void BuildRealisticMachine(SimWmi& wmi);

}  // namespace hdsn::sim
