#include "wmi/wmi_serial.h"

#include <cstring>

#include "platform/text_interface.h"
#include "wmi/wmi_interface.h"
#include "wmi/wmi_session.h"
#include "wmi/wql_text.h"

namespace hdsn {
namespace {

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
  const HResult executed = ForEachQueryObject(
      wmi, connection.text, connection.services, prefix, value, [&](WmiClassObject* object) {
        PropertyValue read(wmi);
        const HResult got = wmi.Get(object, property, /*flags=*/0, &read.value,
                                    /*type=*/nullptr, /*flavor=*/nullptr);
        if (!Failed(got) && read.value.Type() == kVtBstr) store(read.value.BstrVal());
      });
  return !Failed(executed);
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
  if (!RunQuery(connection, "SELECT * FROM Win32_LogicalDisk WHERE DeviceID = \"", drive, u"__PATH",
                into(drive)))
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
  if (!RunQuery(connection, "SELECT * FROM Win32_DiskDrive WHERE __PATH=\"", disk, u"SerialNumber",
                intoResult))
    return;
  if (size > 0 && result[0] != '\0') return;

  // No serial number on the drive itself: ask its physical media.
  if (!RunQuery(connection, "SELECT * FROM Win32_DiskDrivePhysicalMedia WHERE Dependent=\"", disk,
                u"Antecedent", into(media)))
    return;
  if (!EscapeWqlLiteral(media, kWmiWorkBufferSize)) return;
  RunQuery(connection, "SELECT * FROM Win32_PhysicalMedia WHERE __PATH=\"", media, u"SerialNumber",
           intoResult);
}

}  // namespace

void QueryWmiSerial(WmiInterface& wmi, TextInterface& text, char* result, std::int32_t size) {
  WmiSession session(wmi);
  if (!session.Open()) return;

  try {
    QueryChain(Connection{wmi, text, session.services()}, result, size);
  } catch (const ComError& error) {
    // A query text the code page could not convert ends the method like a
    // refused query, everything released on the way out. Memory exhaustion
    // is not this method's to handle and goes on up.
    if (error.Error() == kEOutOfMemory) throw;
  }
}

}  // namespace hdsn
