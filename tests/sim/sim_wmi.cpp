#include "sim/sim_wmi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "sim/call_log.h"

namespace hdsn::sim {
namespace {

enum Kind { kLocator, kServices, kEnumerator, kClassObject };
const char* const kKindNames[] = {"locator", "services", "enumerator", "object"};

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

// WQL compares names and string values without regard to ASCII case.
bool EqualsNoCase(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return FoldAscii(x) == FoldAscii(y); });
}

std::string ShowGuid(const Guid& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.data1,
                guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2], guid.data4[3],
                guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  return text;
}

std::string ShowPointer(const void* pointer) { return pointer == nullptr ? "null" : "pointer"; }

// The WQL this service understands:
//   SELECT * FROM Class [WHERE Property = "literal"]
// with blanks optional around the equals sign. Inside the literal a
// backslash takes the next character as it is (\\ and \").
struct ParsedQuery {
  std::u16string className;
  std::optional<std::pair<std::u16string, std::u16string>> where;
};

class QueryParser {
 public:
  explicit QueryParser(const std::u16string& text) : text_(text) {}

  std::optional<ParsedQuery> Parse() {
    ParsedQuery query;
    if (!Keyword(u"SELECT") || !Symbol(u'*') || !Keyword(u"FROM")) return std::nullopt;
    query.className = Identifier();
    if (query.className.empty()) return std::nullopt;
    SkipBlanks();
    if (at_ < text_.size()) {
      if (!Keyword(u"WHERE")) return std::nullopt;
      std::u16string property = Identifier();
      if (property.empty() || !Symbol(u'=')) return std::nullopt;
      SkipBlanks();
      std::optional<std::u16string> literal = Literal();
      if (!literal) return std::nullopt;
      query.where.emplace(property, *literal);
      SkipBlanks();
      if (at_ != text_.size()) return std::nullopt;
    }
    return query;
  }

 private:
  void SkipBlanks() {
    while (at_ < text_.size() && text_[at_] == u' ') ++at_;
  }
  bool Keyword(const std::u16string& word) {
    SkipBlanks();
    if (text_.size() - at_ < word.size() || !EqualsNoCase(text_.substr(at_, word.size()), word))
      return false;
    at_ += word.size();
    return at_ == text_.size() || text_[at_] == u' ';
  }
  bool Symbol(char16_t c) {
    SkipBlanks();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  std::u16string Identifier() {
    SkipBlanks();
    const std::size_t start = at_;
    auto isNameCharacter = [](char16_t c) {
      return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
             c == u'_';
    };
    while (at_ < text_.size() && isNameCharacter(text_[at_])) ++at_;
    return text_.substr(start, at_ - start);
  }
  std::optional<std::u16string> Literal() {
    if (at_ >= text_.size() || text_[at_] != u'"') return std::nullopt;
    std::u16string value;
    for (++at_; at_ < text_.size(); ++at_) {
      if (text_[at_] == u'"') {
        ++at_;
        return value;
      }
      if (text_[at_] == u'\\') {
        if (++at_ >= text_.size()) break;
      }
      value += text_[at_];
    }
    return std::nullopt;  // no closing quote
  }

  const std::u16string& text_;
  std::size_t at_ = 0;
};

}  // namespace

struct SimWmi::Node {
  int kind;
  bool released = false;
  bool blanket = false;                      // a proxy blanket with impersonation was set
  std::vector<const SimWmiObject*> results;  // an enumerator's objects
  std::size_t next = 0;
  const SimWmiObject* object = nullptr;  // a class object's data
};

struct SimWmi::String {
  std::unique_ptr<char16_t[]> text;
  bool freed = false;
};

std::u16string Latin1ToWide(const std::string& narrow) {
  std::u16string wide;
  for (const char c : narrow) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  return wide;
}

std::string WideToLatin1(const std::u16string& wide) {
  std::string narrow;
  for (const char16_t c : wide) narrow += c <= 0xFF ? static_cast<char>(c) : '?';
  return narrow;
}

std::string ObjectPath(const std::string& className, const std::string& key,
                       const std::string& value) {
  std::string escaped;
  for (const char c : value) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return "\\\\HOST\\ROOT\\CIMV2:" + className + "." + key + "=\"" + escaped + "\"";
}

namespace {
std::string PhysicalDriveId(int disk) { return "\\\\.\\PHYSICALDRIVE" + std::to_string(disk); }
}  // namespace

std::string DiskDrivePath(int disk) {
  return ObjectPath("Win32_DiskDrive", "DeviceID", PhysicalDriveId(disk));
}

std::string PartitionPath(int disk, int partition) {
  return ObjectPath("Win32_DiskPartition", "DeviceID",
                    "Disk #" + std::to_string(disk) + ", Partition #" + std::to_string(partition));
}

std::string LogicalDiskPath(const std::string& deviceId) {
  return ObjectPath("Win32_LogicalDisk", "DeviceID", deviceId);
}

std::string PhysicalMediaPath(int disk) {
  return ObjectPath("Win32_PhysicalMedia", "Tag", PhysicalDriveId(disk));
}

SimWmi::SimWmi(FaultPlan& faults) : faults_(faults) {}
SimWmi::~SimWmi() = default;

void SimWmi::AddOperatingSystem(const std::string& systemDrive) {
  objects.push_back({"Win32_OperatingSystem",
                     {{"SystemDrive", Latin1ToWide(systemDrive)},
                      {"__PATH", Latin1ToWide("\\\\HOST\\ROOT\\CIMV2:Win32_OperatingSystem=@")}}});
}

void SimWmi::AddDiskDrive(int disk, std::optional<std::u16string> serial,
                          std::optional<std::u16string> mediaSerial) {
  const std::string deviceId = PhysicalDriveId(disk);
  objects.push_back({"Win32_DiskDrive",
                     {{"DeviceID", Latin1ToWide(deviceId)},
                      {"SerialNumber", std::move(serial)},
                      {"__PATH", Latin1ToWide(DiskDrivePath(disk))}},
                     {{"Index", disk}}});
  objects.push_back({"Win32_PhysicalMedia",
                     {{"Tag", Latin1ToWide(deviceId)},
                      {"SerialNumber", std::move(mediaSerial)},
                      {"__PATH", Latin1ToWide(PhysicalMediaPath(disk))}}});
  objects.push_back({"Win32_DiskDrivePhysicalMedia",
                     {{"Antecedent", Latin1ToWide(PhysicalMediaPath(disk))},
                      {"Dependent", Latin1ToWide(DiskDrivePath(disk))}}});
}

void SimWmi::AddInventoryDisk(int disk, std::u16string serial, std::u16string model,
                              std::u16string firmware) {
  AddDiskDrive(disk, std::move(serial), std::nullopt);
  DiskDrive(disk).properties["Model"] = std::move(model);
  DiskDrive(disk).properties["FirmwareRevision"] = std::move(firmware);
}

void SimWmi::AddPartition(int disk, int partition) {
  objects.push_back({"Win32_DiskDriveToDiskPartition",
                     {{"Antecedent", Latin1ToWide(DiskDrivePath(disk))},
                      {"Dependent", Latin1ToWide(PartitionPath(disk, partition))}}});
}

void SimWmi::AddLogicalDisk(const std::string& deviceId,
                            const std::vector<std::pair<int, int>>& partitions) {
  objects.push_back({"Win32_LogicalDisk",
                     {{"DeviceID", Latin1ToWide(deviceId)},
                      {"__PATH", Latin1ToWide(LogicalDiskPath(deviceId))}}});
  for (const auto& [disk, partition] : partitions) {
    objects.push_back({"Win32_LogicalDiskToPartition",
                       {{"Antecedent", Latin1ToWide(PartitionPath(disk, partition))},
                        {"Dependent", Latin1ToWide(LogicalDiskPath(deviceId))}}});
  }
}

SimWmiObject* SimWmi::Find(const std::string& className, const std::string& property,
                           const std::string& value) {
  for (SimWmiObject& object : objects) {
    auto found = object.properties.find(property);
    if (object.className == className && found != object.properties.end() && found->second &&
        *found->second == Latin1ToWide(value))
      return &object;
  }
  return nullptr;
}

SimWmiObject& SimWmi::DiskDrive(int disk) {
  SimWmiObject* found = Find("Win32_DiskDrive", "DeviceID", PhysicalDriveId(disk));
  if (found == nullptr) throw std::logic_error("no Win32_DiskDrive " + std::to_string(disk));
  return *found;
}

SimWmiObject& SimWmi::PhysicalMedia(int disk) {
  SimWmiObject* found = Find("Win32_PhysicalMedia", "Tag", PhysicalDriveId(disk));
  if (found == nullptr) throw std::logic_error("no Win32_PhysicalMedia " + std::to_string(disk));
  return *found;
}

int SimWmi::LiveObjects() const {
  return static_cast<int>(std::count_if(nodes_.begin(), nodes_.end(),
                                        [](const auto& node) { return !node->released; }));
}

int SimWmi::LiveStrings() const {
  return static_cast<int>(std::count_if(strings_.begin(), strings_.end(),
                                        [](const auto& string) { return !string->freed; }));
}

std::optional<HResult> SimWmi::Enter(const std::string& call, const std::string& operation) {
  calls.push_back(call);
  const std::optional<FaultPlan::Status> status =
      faults_.Check(operation, operation == "SysAllocStringLen" ? kEOutOfMemory : kEFail);
  if (!status) return std::nullopt;
  return static_cast<HResult>(*status);
}

SimWmi::Node* SimWmi::NewNode(int kind) {
  nodes_.push_back(std::make_unique<Node>());
  nodes_.back()->kind = kind;
  return nodes_.back().get();
}

SimWmi::Node* SimWmi::Lookup(const void* handle, int kind, const char* operation) {
  for (const auto& node : nodes_) {
    if (node.get() != handle) continue;
    if (node->kind != kind) break;
    if (node->released) {
      errors.push_back(std::string(operation) + " on a released " + kKindNames[kind]);
      return nullptr;
    }
    return node.get();
  }
  errors.push_back(std::string(operation) + " on something that is no " + kKindNames[kind]);
  return nullptr;
}

std::uint32_t SimWmi::ReleaseNode(const void* handle, int kind, const char* operation) {
  calls.push_back(std::string(operation) + "(" + kKindNames[kind] + ")");
  Node* node = Lookup(handle, kind, operation);
  if (node == nullptr) return 0;
  node->released = true;
  return 0;
}

SimWmi::String* SimWmi::LiveString(const char16_t* text) {
  for (const auto& string : strings_) {
    if (string->text.get() == text && !string->freed) return string.get();
  }
  return nullptr;
}

// A COM string argument as the log shows it: its text in quotes, null, or a
// note that the pointer is no COM string of this service.
std::string SimWmi::Show(const char16_t* comText) {
  if (comText == nullptr) return "null";
  if (LiveString(comText) == nullptr) {
    errors.push_back("a text that is no live COM string was passed");
    return "<no COM string>";
  }
  std::string shown(1, '"');
  shown += WideToLatin1(comText);
  shown += '"';
  return shown;
}

HResult SimWmi::CoInitializeEx(void* reserved, std::uint32_t coInit) {
  const HResult status =
      Enter("CoInitializeEx(" + ShowPointer(reserved) + ", " + Hex(coInit) + ")", "CoInitializeEx")
          .value_or(kSOk);
  if (!Failed(status)) ++comInitializations;
  return status;
}

HResult SimWmi::CoInitializeSecurity(void* securityDescriptor, std::int32_t authServiceCount,
                                     void* authServices, void* reserved1, std::uint32_t authnLevel,
                                     std::uint32_t impLevel, void* authList,
                                     std::uint32_t capabilities, void* reserved3) {
  if (securityIsTheHosts) errors.push_back("CoInitializeSecurity called; it is the host's");
  const HResult status =
      Enter("CoInitializeSecurity(" + ShowPointer(securityDescriptor) + ", " +
                std::to_string(authServiceCount) + ", " + ShowPointer(authServices) + ", " +
                ShowPointer(reserved1) + ", " + std::to_string(authnLevel) + ", " +
                std::to_string(impLevel) + ", " + ShowPointer(authList) + ", " + Hex(capabilities) +
                ", " + ShowPointer(reserved3) + ")",
            "CoInitializeSecurity")
          .value_or(kSOk);
  if ((!Failed(status) && impLevel >= kRpcCImpLevelImpersonate) || status == kRpcETooLate)
    processSecurity = true;
  return status;
}

HResult SimWmi::CoCreateInstance(const Guid& clsid, void* outer, std::uint32_t clsContext,
                                 const Guid& iid, WmiLocator** locator) {
  *locator = nullptr;
  const HResult status = Enter("CoCreateInstance(" + ShowGuid(clsid) + ", " + ShowPointer(outer) +
                                   ", " + Hex(clsContext) + ", " + ShowGuid(iid) + ")",
                               "CoCreateInstance")
                             .value_or(kSOk);
  if (!Failed(status)) *locator = reinterpret_cast<WmiLocator*>(NewNode(kLocator));
  return status;
}

HResult SimWmi::ConnectServer(WmiLocator* locator, ComText networkResource, ComText user,
                              ComText password, ComText locale, std::int32_t securityFlags,
                              ComText authority, void* context, WmiServices** services) {
  *services = nullptr;
  const std::string call = "ConnectServer(" + Show(networkResource) + ", " + Show(user) + ", " +
                           Show(password) + ", " + Show(locale) + ", " +
                           std::to_string(securityFlags) + ", " + Show(authority) + ", " +
                           ShowPointer(context) + ")";
  const HResult status = Enter(call, "ConnectServer").value_or(kSOk);
  if (Lookup(locator, kLocator, "ConnectServer") == nullptr) return kEInvalidArg;
  if (!Failed(status)) *services = reinterpret_cast<WmiServices*>(NewNode(kServices));
  return status;
}

// The log shows the services' blanket as CoSetProxyBlanket(...), an
// enumerator's as CoSetProxyBlanket[enumerator](...).
HResult SimWmi::SetBlanket(const void* proxy, int kind, const std::string& shownKind,
                           std::uint32_t authnService, std::uint32_t authzService,
                           char16_t* serverPrincipalName, std::uint32_t authnLevel,
                           std::uint32_t impLevel, void* authInfo, std::uint32_t capabilities) {
  const HResult status =
      Enter("CoSetProxyBlanket" + shownKind + "(" + std::to_string(authnService) + ", " +
                std::to_string(authzService) + ", " + ShowPointer(serverPrincipalName) + ", " +
                std::to_string(authnLevel) + ", " + std::to_string(impLevel) + ", " +
                ShowPointer(authInfo) + ", " + Hex(capabilities) + ")",
            "CoSetProxyBlanket")
          .value_or(kSOk);
  Node* node = Lookup(proxy, kind, "CoSetProxyBlanket");
  if (node == nullptr) return kEInvalidArg;
  if (!Failed(status) && impLevel >= kRpcCImpLevelImpersonate) node->blanket = true;
  return status;
}

HResult SimWmi::CoSetProxyBlanket(WmiServices* proxy, std::uint32_t authnService,
                                  std::uint32_t authzService, char16_t* serverPrincipalName,
                                  std::uint32_t authnLevel, std::uint32_t impLevel, void* authInfo,
                                  std::uint32_t capabilities) {
  return SetBlanket(proxy, kServices, "", authnService, authzService, serverPrincipalName,
                    authnLevel, impLevel, authInfo, capabilities);
}

HResult SimWmi::CoSetProxyBlanket(WmiEnumerator* proxy, std::uint32_t authnService,
                                  std::uint32_t authzService, char16_t* serverPrincipalName,
                                  std::uint32_t authnLevel, std::uint32_t impLevel, void* authInfo,
                                  std::uint32_t capabilities) {
  return SetBlanket(proxy, kEnumerator, "[enumerator]", authnService, authzService,
                    serverPrincipalName, authnLevel, impLevel, authInfo, capabilities);
}

HResult SimWmi::ExecQuery(WmiServices* services, ComText queryLanguage, ComText query,
                          std::int32_t flags, void* context, WmiEnumerator** enumerator) {
  *enumerator = nullptr;
  const std::string call = "ExecQuery(" + Show(queryLanguage) + ", " + Show(query) + ", " +
                           Hex(static_cast<std::uint32_t>(flags)) + ", " + ShowPointer(context) +
                           ")";
  if (query != nullptr) queries.push_back(WideToLatin1(query));
  const std::optional<HResult> failure = Enter(call, "ExecQuery");
  const Node* servicesNode = Lookup(services, kServices, "ExecQuery");
  if (servicesNode == nullptr) return kEInvalidArg;
  if (failure && Failed(*failure)) return *failure;
  if (!processSecurity && !servicesNode->blanket) return kWbemEAccessDenied;
  if (queryLanguage == nullptr || query == nullptr || !EqualsNoCase(queryLanguage, u"WQL"))
    return kWbemEInvalidQuery;
  const std::u16string text = query;
  const std::optional<ParsedQuery> parsed = QueryParser(text).Parse();
  if (!parsed) return kWbemEInvalidQuery;
  Node* node = NewNode(kEnumerator);
  for (const SimWmiObject& object : objects) {
    if (!EqualsNoCase(Latin1ToWide(object.className), parsed->className)) continue;
    if (parsed->where) {
      auto found = object.properties.find(WideToLatin1(parsed->where->first));
      if (found == object.properties.end() || !found->second ||
          !EqualsNoCase(*found->second, parsed->where->second))
        continue;
    }
    node->results.push_back(&object);
  }
  *enumerator = reinterpret_cast<WmiEnumerator*>(node);
  return failure.value_or(kSOk);
}

HResult SimWmi::Next(WmiEnumerator* enumerator, std::int32_t timeout, std::uint32_t count,
                     WmiClassObject** handedOut, std::uint32_t* returned) {
  *returned = 0;
  const std::optional<HResult> failure =
      Enter("Next(" + std::to_string(timeout) + ", " + std::to_string(count) + ")", "Next");
  Node* node = Lookup(enumerator, kEnumerator, "Next");
  if (node == nullptr) return kEInvalidArg;
  if (failure && Failed(*failure)) return *failure;
  if (!processSecurity && !node->blanket) return kWbemEAccessDenied;
  if (count == 0 || node->next >= node->results.size()) return kWbemSFalse;
  Node* object = NewNode(kClassObject);
  object->object = node->results[node->next++];
  handedOut[0] = reinterpret_cast<WmiClassObject*>(object);
  *returned = 1;
  return failure.value_or(kSOk);
}

HResult SimWmi::Get(WmiClassObject* object, const char16_t* name, std::int32_t flags,
                    WmiValue* value, std::int32_t* type, std::int32_t* flavor) {
  const std::string property = name == nullptr ? "" : WideToLatin1(name);
  const std::optional<HResult> failure =
      Enter("Get(\"" + property + "\", " + std::to_string(flags) + ", " + ShowPointer(type) + ", " +
                ShowPointer(flavor) + ")",
            "Get");
  Node* node = Lookup(object, kClassObject, "Get");
  if (node == nullptr) return kEInvalidArg;
  if (value->Type() == kVtBstr && LiveString(value->BstrVal()) != nullptr)
    errors.push_back("Get into a value holder that still holds a string");
  if (failure && Failed(*failure)) return *failure;
  auto found = node->object->properties.find(property);
  auto integer = node->object->integers.find(property);
  if (found == node->object->properties.end() && integer == node->object->integers.end())
    return kWbemENotFound;
  std::memset(value->bytes, 0, sizeof value->bytes);
  if (integer != node->object->integers.end()) {
    value->SetType(kVtI4);
    value->SetLongVal(integer->second);
  } else if (!found->second) {
    value->SetType(kVtNull);
  } else {
    strings_.push_back(std::make_unique<String>());
    String& string = *strings_.back();
    string.text = std::make_unique<char16_t[]>(found->second->size() + 1);
    std::copy(found->second->begin(), found->second->end(), string.text.get());
    value->SetType(kVtBstr);
    value->SetBstrVal(string.text.get());
  }
  return failure.value_or(kSOk);
}

HResult SimWmi::VariantClear(WmiValue* value) {
  calls.push_back("VariantClear");
  if (value->Type() == kVtBstr) {
    String* string = LiveString(value->BstrVal());
    if (string != nullptr)
      string->freed = true;
    else if (value->BstrVal() != nullptr)
      errors.push_back("VariantClear of a string that is not live");
  }
  std::memset(value->bytes, 0, sizeof value->bytes);
  return kSOk;
}

std::uint32_t SimWmi::Release(WmiLocator* locator) {
  return ReleaseNode(locator, kLocator, "Release");
}
std::uint32_t SimWmi::Release(WmiServices* services) {
  return ReleaseNode(services, kServices, "Release");
}
std::uint32_t SimWmi::Release(WmiEnumerator* enumerator) {
  return ReleaseNode(enumerator, kEnumerator, "Release");
}
std::uint32_t SimWmi::Release(WmiClassObject* object) {
  return ReleaseNode(object, kClassObject, "Release");
}

void SimWmi::CoUninitialize() {
  calls.push_back("CoUninitialize");
  if (--comInitializations < 0) errors.push_back("CoUninitialize without CoInitializeEx");
}

ComText SimWmi::SysAllocStringLen(const char16_t* text, std::uint32_t length) {
  const std::optional<HResult> failure = Enter("SysAllocStringLen", "SysAllocStringLen");
  if (failure && Failed(*failure)) return nullptr;
  strings_.push_back(std::make_unique<String>());
  String& string = *strings_.back();
  string.text = std::make_unique<char16_t[]>(length + 1);  // zero-filled, terminator included
  if (text != nullptr) std::copy(text, text + length, string.text.get());
  return string.text.get();
}

void SimWmi::SysFreeString(ComText text) {
  calls.push_back("SysFreeString");
  if (text == nullptr) return;
  String* string = LiveString(text);
  if (string == nullptr) {
    errors.push_back("SysFreeString of a string that is not live");
    return;
  }
  string->freed = true;
}

void BuildRealisticMachine(SimWmi& wmi) {
  wmi.AddOperatingSystem("C:");
  wmi.AddDiskDrive(0, kDisk0Serial, kMedia0Serial);
  wmi.AddDiskDrive(1, kDisk1Serial, kMedia1Serial);
  wmi.AddPartition(0, 0);
  wmi.AddPartition(0, 1);
  wmi.AddPartition(1, 0);
  wmi.AddPartition(1, 1);
  wmi.AddLogicalDisk("C:", {{0, 0}});
  wmi.AddLogicalDisk("D:", {{0, 1}});
  wmi.AddLogicalDisk("E:", {{1, 0}, {1, 1}});
}

}  // namespace hdsn::sim
