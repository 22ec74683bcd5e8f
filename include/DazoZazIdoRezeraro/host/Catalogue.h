#ifndef DAZOZAZIDOREZERARO_HOST_CATALOGUE_H
#define DAZOZAZIDOREZERARO_HOST_CATALOGUE_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Export.h"
#include "Result.h"

/// @file
/// The procedure catalogue: everything the toolkit knows of each procedure
/// (number, name, description, time-out, the request's arguments and the
/// reply's values with their types, units, defaults and ranges), and the
/// codec that reads and writes requests and replies by it. The typed calls,
/// the named fields, the tool's commands, the virtual instrument's argument
/// checks and the Python methods are all views of this one table.

namespace Core::GEOCOM::host {

/// Every procedure that the project knows by name. This is the one place
/// where a procedure number is written; Procedures() says the rest.
enum ProcedureId : unsigned short {
  kNull = 0,
  kGuideLight = 1058,
  kSetGuideLight = 1059,
  kStation = 2009,
  kSetStation = 2010,
  kAngleSwitches = 2014,
  kStartCompensator = 2026,
  kAtmosphere = 2029,
  kStopCompensator = 2068,
  kAngles = 2107,
  kSimpleMeasurement = 2108,
  kInclineIndex = 2113,
  kQuickDistance = 2117,
  kSlopeDistanceCorrections = 2126,
  kInstrumentNumber = 5003,
  kInstrumentName = 5004,
  kSetDateTime = 5007,
  kDateTime = 5008,
  kSoftwareVersion = 5034,
  kDeviceConfig = 5035,
  kPower = 5039,
  kAtrSetting = 5065,
  kSetAtrSetting = 5072,
  kObjectListSetup = 5082,
  kObjectList = 5083,
  kObjectDelete = 5084,
  kBatteryStatus = 5106,
  kCalibration = 5120,
  kInterfacePort = 5124,
  kConfigurePort = 5126,
  kPowerOnPort = 5128,
  kSetDeviceOnPort = 5129,
  kDeviceType = 5138,
  kSetupPortForwarding = 5174,
  kRemovePortForwarding = 5176,
  kSetRadio = 5224,
  kEnableRemoteControl = 5229,
  kDisableRemoteControl = 5230,
  kAuthenticate = 5231,
  kUploadObject = 5232,
  kAuthenticateWithKey = 5233,
  kAutomationActivity = 5234,
  kStationId = 5235,
  kMotorStart = 6001,
  kMotorStop = 6002,
  kMotorVelocity = 6004,
  kLockStatus = 6021,
  kLockIn = 9013,
  kPosition = 9027,
  kChangeFace = 9028,
  kSearch = 9029,
  kFineAdjust = 9037,
  kSearchArea = 9042,
  kSetSearchArea = 9043,
  kPowerSearch = 9051,
  kSetPowerSearchRange = 9052,
  kFineAdjustRetry = 9054,
  kFastPosition = 9092,
  kCalibrationParameters = 9115,
  kSwitchOn = 16007,
  kSetAtrState = 18005,
  kAtrState = 18006,
  kSetLockState = 18007,
  kLockState = 18008,
  kFirmwareUpload = 23200,
  kFileListSetup = 23306,
  kFileList = 23307,
  kFileDelete = 23309,
  kSwitchOff = 30164,
};

/// One value: an integer, a double, a truth value or a text.
using FieldValue = std::variant<std::int64_t, double, bool, std::string>;

/// A named value ("slope_distance").
struct Field {
  std::string name;  ///< The value's name, in snake case.
  FieldValue value;  ///< The value.
};

/// The values of one request or reply, in wire order.
using Fields = std::vector<Field>;

/// How a value travels and how a host sees it.
enum class ValueType {
  kInteger,   ///< A decimal integer; an std::int64_t for a host.
  kReal,      ///< A finite number; a double.
  kBoolean,   ///< 1 or 0 on the wire; a bool.
  kText,      ///< Between double quotes, holding none; a std::string.
  kDateTime,  ///< The year, then month, day, hour, minute and second as
              ///< byte fields; "2024-03-15T10:30:00" for a host.
  kBytes,     ///< byteCount byte fields ('0a'); "10.5.24" for a host.
};

/// One argument of a request or one value of a reply.
struct ValueSpec {
  std::string_view name;  ///< Snake case, unique within its list.
  ValueType type = ValueType::kInteger;  ///< How it travels.
  std::string_view unit;         ///< "rad", "m", "ms", ...; empty for none.
  std::string_view description;  ///< One line for help texts.
  /// The value an argument takes when none is given; nullopt when it must
  /// be given. Unused for reply values.
  std::optional<FieldValue> fallback;
  double minimum = -2147483648.0;  ///< Smallest number allowed.
  double maximum = 4294967295.0;   ///< Largest number allowed.
  unsigned byteCount = 0;          ///< How many byte fields, for kBytes.
};

/// One procedure: its number, name, what it does, how long the instrument
/// may take to answer, and, where the toolkit knows them, its arguments and
/// the values of its reply.
struct Procedure {
  ProcedureId id;         ///< The procedure number.
  std::string_view name;  ///< Kebab-case name, e.g. "simple-measurement".
  std::string_view description;       ///< One line saying what it does.
  std::chrono::milliseconds timeout;  ///< The core's reply time-out for it.
  /// Whether the arguments and reply values below are known; a procedure
  /// without them is called with a raw parameter text only.
  bool known = false;
  std::vector<ValueSpec> arguments;  ///< The request's arguments, in order.
  std::vector<ValueSpec> reply;      ///< The reply's values, in order.
  /// The core's packer for the arguments, in argument order and already
  /// checked; nullptr where each value is packed by its type.
  std::string (*pack)(const std::vector<FieldValue>& values) = nullptr;
  /// The core's decoder for a successful reply, naming its values as reply
  /// lists them; nullptr where each value is read by its type.
  std::optional<Fields> (*decode)(const GeoComSentence& reply) = nullptr;
  /// The request's fields where the packer writes fixed ones among the
  /// arguments, in wire order: each the fixed text, or empty for the next
  /// argument. Empty when the fields are the arguments, in order.
  std::vector<std::string_view> requestLayout;
};

/// Every named procedure, in ascending number order.
DAZOZAZIDOREZERARO_HOST_EXPORT const std::vector<Procedure>& Procedures();

/// The procedure with this number, or nullptr when it has no name here.
DAZOZAZIDOREZERARO_HOST_EXPORT const Procedure* FindProcedure(
    unsigned short number);

/// The procedure with this name, or nullptr when no procedure has it.
DAZOZAZIDOREZERARO_HOST_EXPORT const Procedure* FindProcedure(
    std::string_view name);

/// The core's reply time-out for any procedure number, named or not.
DAZOZAZIDOREZERARO_HOST_EXPORT std::chrono::milliseconds ReplyTimeout(
    unsigned short number);

/// The request's parameter text for named arguments: each argument known to
/// the procedure, of its type (an integer is taken for a real), within its
/// range, finite, a text without quote, CR or LF, a date that exists; the
/// defaults filled in. Fails with kInvalidArgument naming the argument.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> PackArguments(
    const Procedure& procedure, const Fields& arguments);

/// Reads a successful reply's parameter text strictly: each value wholly of
/// its type (no empty field, no "12abc"), as many as the reply lists. Fails
/// with kInvalidReply naming the value.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Done> CheckReply(
    const Procedure& procedure, const GeoComSentence& reply);

/// The named values of a successful reply's parameter text, read strictly
/// and once: each value wholly of its type (no empty field, no "12abc").
/// Fails with kInvalidReply naming the value.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Fields> DecodeReply(
    const Procedure& procedure, const GeoComSentence& reply);

/// Reads requests' arguments and replies' values as ReadArguments and
/// DecodeReply do, one sentence after another, into values whose storage
/// (the list's and its texts') is kept from one sentence to the next, as is
/// that of the fields it splits the parameter text into. For a reader of
/// many sentences, such as a capture's decoder.
class DAZOZAZIDOREZERARO_HOST_EXPORT FieldReader {
 public:
  /// As ReadArguments, into values; on failure values hold nothing useful.
  Result<Done> Arguments(const Procedure& procedure,
                         std::string_view parameters, Fields& values);
  /// As DecodeReply, into values; on failure values hold nothing useful.
  Result<Done> Reply(const Procedure& procedure, const GeoComSentence& reply,
                     Fields& values);

 private:
  std::vector<std::string_view> split_;
};

/// The kInvalidReply error of a reply that reads strictly but that the
/// core's decoder refuses, showing its parameter text.
DAZOZAZIDOREZERARO_HOST_EXPORT Error
UndecodedReply(const Procedure& procedure, const GeoComSentence& reply);

/// The named arguments of a request recognised in received bytes (its text
/// is the parameter text), read strictly by their types and checked as
/// PackArguments checks them (ranges, dates that exist); arguments left out
/// at the end take their defaults. Fails with kInvalidArgument naming the
/// argument.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Fields> ReadArguments(
    const Procedure& procedure, std::string_view parameters);

/// The parameter text of a successful reply carrying the values (each behind
/// its comma, in the reply's order, doubles in their shortest exact form);
/// fails with kInvalidArgument when a value is missing or of another type.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<std::string> ComposeReply(
    const Procedure& procedure, const Fields& values);

/// The fields of a parameter text, split at its commas (a field between
/// double quotes may hold commas and keeps its quotes); nullopt when a quote
/// is not closed. A reply's leading comma must be taken off first.
DAZOZAZIDOREZERARO_HOST_EXPORT std::optional<std::vector<std::string>>
SplitParameters(std::string_view text);

/// One field of a parameter text read strictly as the type: an integer, a
/// finite number, 1 or 0, a quoted text (quotes taken off) or one byte field
/// (as its decimal value in a text); nullopt when the field is not wholly of
/// the type, or the type takes more than one field.
DAZOZAZIDOREZERARO_HOST_EXPORT std::optional<FieldValue> ReadField(
    ValueType type, std::string_view field);

/// The value as text: doubles in their shortest exact form, truth values as
/// true and false, texts as they are.
DAZOZAZIDOREZERARO_HOST_EXPORT std::string FormatValue(const FieldValue& value);

/// The named value, or nullptr when the values have none of that name.
DAZOZAZIDOREZERARO_HOST_EXPORT const FieldValue* FindValue(
    const Fields& values, std::string_view name);

}  // namespace Core::GEOCOM::host

#endif
