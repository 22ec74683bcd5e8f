#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <algorithm>

#include "ReplyDecoders.h"

namespace Core::GEOCOM::host {

namespace {

using T = ValueType;
using Values = std::vector<FieldValue>;

// Packers neither read nor change the object they are called on.
const GeoComSentence& Packer() {
  static const GeoComSentence packer;
  return packer;
}

std::int32_t I(const FieldValue& value) {
  return static_cast<std::int32_t>(std::get<std::int64_t>(value));
}
double R(const FieldValue& value) { return std::get<double>(value); }
bool B(const FieldValue& value) { return std::get<bool>(value); }
const std::string& S(const FieldValue& value) {
  return std::get<std::string>(value);
}

// ---- Value specifications, read like the reply's wire order.

ValueSpec Value(std::string_view name, ValueType type, std::string_view unit,
                std::string_view description) {
  ValueSpec valueSpec;
  valueSpec.name = name;
  valueSpec.type = type;
  valueSpec.unit = unit;
  valueSpec.description = description;
  if (type == T::kReal) {
    valueSpec.minimum = -1.7976931348623157e308;
    valueSpec.maximum = 1.7976931348623157e308;
  }
  return valueSpec;
}

ValueSpec Integer(std::string_view name, std::string_view description,
                  double minimum = -2147483648.0,
                  double maximum = 2147483647.0) {
  ValueSpec valueSpec = Value(name, T::kInteger, "", description);
  valueSpec.minimum = minimum;
  valueSpec.maximum = maximum;
  return valueSpec;
}

ValueSpec Real(std::string_view name, std::string_view unit,
               std::string_view description) {
  return Value(name, T::kReal, unit, description);
}

ValueSpec Angle(std::string_view name, std::string_view description) {
  return Real(name, "rad", description);
}

ValueSpec Flag(std::string_view name, std::string_view description) {
  return Value(name, T::kBoolean, "", description);
}

ValueSpec Text(std::string_view name, std::string_view description) {
  return Value(name, T::kText, "", description);
}

ValueSpec Bytes(std::string_view name, unsigned count,
                std::string_view description) {
  ValueSpec valueSpec = Value(name, T::kBytes, "", description);
  valueSpec.byteCount = count;
  return valueSpec;
}

ValueSpec Defaults(ValueSpec valueSpec, FieldValue fallback) {
  valueSpec.fallback = std::move(fallback);
  return valueSpec;
}

ValueSpec WithUnit(ValueSpec valueSpec, std::string_view unit) {
  valueSpec.unit = unit;
  return valueSpec;
}

ValueSpec AtLeast(ValueSpec valueSpec, double minimum) {
  valueSpec.minimum = minimum;
  return valueSpec;
}

// ---- The core's packers, fed the checked values in argument order.

std::string PackPosition(const Values& v) {
  return Packer().PackDevicePositionRequest(
      R(v[0]), R(v[1]), static_cast<AUT_POSMODE>(I(v[2])),
      static_cast<AUT_ATRMODE>(I(v[3])), false);
}
std::string PackFastPosition(const Values& v) {
  return Packer().PackDeviceFastPositionRequest(
      R(v[0]), R(v[1]), R(v[2]), static_cast<AUT_ATRMODE>(I(v[3])));
}
std::string PackFineAdjust(const Values& v) {
  return Packer().PackFineAdjustRequest(R(v[0]), R(v[1]), false);
}
std::string PackFineAdjustRetry(const Values& v) {
  return Packer().PackFineAdjustRetryRequest(
      R(v[0]), R(v[1]), static_cast<ATA_VISIBILITY>(I(v[2])));
}
std::string PackVelocity(const Values& v) {
  return Packer().PackMotorSetVelocityRequest(R(v[0]), R(v[1]));
}
std::string PackSearchArea(const Values& v) {
  return Packer().PackSetSearchAreaRequest(R(v[0]), R(v[1]), R(v[2]), R(v[3]),
                                           B(v[4]));
}
std::string PackPowerSearchRange(const Values& v) {
  return Packer().PackSetPowerSearchRangeRequest(I(v[0]), I(v[1]));
}
std::string PackPowerSearch(const Values& v) {
  return Packer().PackStartPowerSearchRequest(I(v[0]), B(v[1]));
}
std::string PackGuideLight(const Values& v) {
  return Packer().PackGuideLightRequest(
      static_cast<EDM_EGLINTENSITY_TYPE>(I(v[0])));
}
std::string PackStartCompensator(const Values&) {
  return Packer().PackStartCompensatorRequest();
}
std::string PackStopCompensator(const Values&) {
  return Packer().PackStopCompenstorRequest();
}
std::string PackMotorStart(const Values& v) {
  return Packer().Pack(static_cast<MOT_MODE>(I(v[0])));
}
std::string PackMotorStop(const Values& v) {
  return Packer().Pack(static_cast<MOT_STOPMODE>(I(v[0])));
}
std::string PackSetAtr(const Values& v) {
  return Packer().PackSetATRRequest(B(v[0]));
}
std::string PackSetLock(const Values& v) {
  return Packer().PackSetUserLockInRequest(B(v[0]));
}
std::string PackObjectListSetup(const Values& v) {
  return Packer().PackCsvSetupList(static_cast<CSV_DEVICETYPE>(I(v[0])),
                                   static_cast<CSV_OBJECTTYPE>(I(v[1])));
}
std::string PackObjectDelete(const Values& v) {
  return Packer().PackCsvDelete2(static_cast<CSV_DEVICETYPE>(I(v[0])),
                                 static_cast<CSV_OBJECTTYPE>(I(v[1])), S(v[2]));
}
std::string PackFileListSetup(const Values& v) {
  return Packer().PackFtrSetupList(static_cast<FTR_DEVICETYPE>(I(v[0])),
                                   static_cast<FTR_FILETYPE>(I(v[1])), S(v[2]));
}
std::string PackInterfacePort(const Values& v) {
  return Packer().PackRequestGetInterfacePort(
      static_cast<CSV_INTERFACE>(I(v[0])));
}
std::string PackConfigurePort(const Values& v) {
  return Packer().PackRequestConfigurePort(I(v[0]), I(v[1]));
}
std::string PackPowerOnPort(const Values& v) {
  return Packer().PackRequestPowerOnPort(I(v[0]), B(v[1]));
}
std::string PackSetupForwarding(const Values& v) {
  return Packer().PackRequestSetupPortForwarding(I(v[0]), I(v[1]));
}
std::string PackRemoveForwarding(const Values& v) {
  return Packer().PackRequestRemovePortForwarding(I(v[0]), I(v[1]));
}
std::string PackSetRadio(const Values& v) {
  return Packer().PackRequestSetRadio(S(v[0]), I(v[1]), I(v[2]));
}
std::string PackEnableRemote(const Values& v) {
  return Packer().PackRequestEnableRCS(I(v[0]), I(v[1]));
}
std::string PackDisableRemote(const Values& v) {
  return Packer().PackRequestDisableRCS(I(v[0]));
}
std::string PackAuthenticate(const Values& v) {
  return Packer().PackRequestCSVAuthenticate(S(v[0]).c_str(), I(v[1]));
}
std::string PackAuthenticateWithKey(const Values& v) {
  return Packer().PackRequestCSVAuthenticateEx(
      S(v[0]).c_str(), I(v[1]), static_cast<std::uint32_t>(I(v[2])));
}
std::string PackUploadObject(const Values& v) {
  return Packer().PackUploadObject(static_cast<LOD_OBJECT>(I(v[0])), S(v[1]),
                                   LOD_DEVICE_NONE);
}

struct Row {
  ProcedureId id;
  std::string_view name;
  std::string_view description;
  bool known;
  std::vector<ValueSpec> arguments;
  std::vector<ValueSpec> reply;
  std::string (*pack)(const Values&) = nullptr;
  std::optional<Fields> (*decode)(const GeoComSentence&) = nullptr;
  std::vector<std::string_view> requestLayout = {};
};

std::vector<ValueSpec> StationValues() {
  return {Real("easting", "m", "station easting"),
          Real("northing", "m", "station northing"),
          Real("height", "m", "station height"),
          Real("instrument_height", "m", "height of the instrument")};
}

std::vector<ValueSpec> AreaValues() {
  return {Angle("center_hz", "horizontal centre of the window"),
          Angle("center_v", "vertical centre of the window"),
          AtLeast(Angle("range_hz", "horizontal width of the window"), 0),
          AtLeast(Angle("range_v", "vertical height of the window"), 0),
          Flag("enabled", "whether the window is used")};
}

std::vector<ValueSpec> MeasuredValues() {
  return {Angle("hz", "horizontal angle"), Angle("v", "vertical angle"),
          Real("slope_distance", "m", "slope distance to the target")};
}

ValueSpec InclineMode() {
  return Defaults(
      Integer("incline_mode", "0 measure the inclination, 1 automatic, 2 model",
              0, 2),
      std::int64_t{1});
}

ValueSpec Port(std::string_view name) {
  return Integer(name, "port number", 0);
}

std::vector<Row> Rows() {
  const auto i = [](std::int64_t value) { return FieldValue(value); };
  return {
      {kNull, "null", "checks that the instrument answers", true, {}, {}},
      {kGuideLight,
       "guide-light",
       "reads the guide-light intensity",
       true,
       {},
       {Integer("intensity", "0 off, 1 low, 2 medium, 3 high", 0, 3)}},
      {kSetGuideLight,
       "set-guide-light",
       "sets the guide-light intensity",
       true,
       {Integer("intensity", "0 off, 1 low, 2 medium, 3 high", 0, 3)},
       {},
       PackGuideLight},
      {kStation,
       "station",
       "reads the station coordinates",
       true,
       {},
       StationValues(),
       nullptr,
       decode::DescribedRecord<TMC_Station>},
      {kSetStation,
       "set-station",
       "sets the station coordinates",
       true,
       StationValues(),
       {}},
      {kAngleSwitches,
       "angle-switches",
       "reads the angle-correction switches",
       true,
       {},
       {Flag("incline_correction", "inclination correction on"),
        Flag("stand_axis_correction", "standing-axis correction on"),
        Flag("collimation_correction", "collimation correction on"),
        Flag("tilt_axis_correction", "tilting-axis correction on")},
       nullptr,
       decode::DescribedRecord<TMC_Ang_Switch>},
      {kStartCompensator,
       "start-compensator",
       "starts the tilt compensator",
       true,
       {},
       {},
       PackStartCompensator},
      {kAtmosphere,
       "atmosphere",
       "reads the atmospheric values",
       true,
       {},
       {Real("lambda", "m", "carrier wavelength"),
        Real("pressure", "mbar", "air pressure"),
        Real("dry_temperature", "degC", "dry temperature"),
        Real("wet_temperature", "degC", "wet temperature")},
       nullptr,
       decode::DescribedRecord<TMC_Atmos_Temperature>},
      {kStopCompensator,
       "stop-compensator",
       "stops the tilt compensator",
       true,
       {},
       {},
       PackStopCompensator},
      {kAngles,
       "angles",
       "measures the two angles",
       true,
       {InclineMode()},
       {Angle("hz", "horizontal angle"), Angle("v", "vertical angle")},
       nullptr,
       decode::DescribedRecord<TMC_Hz_V_Ang>},
      {kSimpleMeasurement,
       "simple-measurement",
       "measures angles and slope distance",
       true,
       {Defaults(AtLeast(WithUnit(Integer("wait_ms",
                                          "how long to wait for the distance"),
                                  "ms"),
                         0),
                 i(1000)),
        InclineMode()},
       MeasuredValues(),
       nullptr,
       decode::DescribedRecord<TMC_Simple_Meas>},
      {kInclineIndex,
       "incline-index",
       "reads the inclination index values",
       true,
       {},
       {Angle("cross_index", "cross inclination index"),
        Angle("length_index", "length inclination index")}},
      {kQuickDistance,
       "quick-distance",
       "measures quickly, angles and distance",
       true,
       {},
       MeasuredValues()},
      {kSlopeDistanceCorrections,
       "slope-distance-corrections",
       "reads ppm and prism corrections",
       true,
       {},
       {Real("ppm_correction", "ppm", "atmospheric correction"),
        Real("prism_correction", "m", "prism constant")},
       nullptr,
       decode::DescribedRecord<TMC_Slope_Dist_Corr>},
      {kInstrumentNumber,
       "instrument-number",
       "reads the serial number",
       true,
       {},
       {Integer("serial_number", "the instrument's serial number")}},
      {kInstrumentName,
       "instrument-name",
       "reads the instrument name",
       true,
       {},
       {Text("name", "the instrument's name")}},
      {kSetDateTime,
       "set-date-time",
       "sets the instrument clock",
       true,
       {Value("date_time", T::kDateTime, "", "the new date and time of day")},
       {}},
      {kDateTime,
       "date-time",
       "reads the instrument clock",
       true,
       {},
       {Value("date_time", T::kDateTime, "", "the date and time of day")},
       nullptr,
       decode::DescribedRecord<DATIME>},
      {kSoftwareVersion,
       "software-version",
       "reads the firmware release",
       true,
       {},
       {Integer("release", "release number"),
        Integer("version", "version within the release"),
        Integer("subversion", "subversion within the version")},
       nullptr,
       decode::DescribedRecord<SoftwareVersion>},
      {kDeviceConfig,
       "device-config",
       "reads the instrument class and type",
       true,
       {},
       {Integer("device_class", "the instrument's class"),
        Integer("device_type", "the instrument's type bits")},
       nullptr,
       decode::DescribedRecord<TPS_Device>},
      {kPower,
       "power",
       "reads battery level and power paths",
       true,
       {},
       {WithUnit(Integer("level", "battery capacity", 0, 100), "%"),
        Integer("first_path", "0 none, 1 internal, 2 external", 0, 2),
        Integer("second_path", "0 none, 1 internal, 2 external", 0, 2)},
       nullptr,
       decode::DescribedRecord<CSV_PowerStatus>},
      {kAtrSetting,
       "atr-setting",
       "reads the target-recognition setting",
       true,
       {},
       {Integer("setting",
                "0 normal, 1 low visibility on, 2 low visibility always on, "
                "3 short range on, 4 short range always on")}},
      {kSetAtrSetting,
       "set-atr-setting",
       "sets the target-recognition setting",
       true,
       {Integer("setting",
                "0 normal, 1 low visibility on, 2 low visibility always on, "
                "3 short range on, 4 short range always on",
                0, 4)},
       {}},
      {kObjectListSetup,
       "object-list-setup",
       "starts a listing of stored objects",
       true,
       {Integer("device", "0 internal, 1 card, 2 USB", 0),
        Integer("object_type", "0 files, 1 directories", 0)},
       {},
       PackObjectListSetup},
      {kObjectList,
       "object-list",
       "reads one entry of the object listing",
       true,
       {},
       {Text("name", "the object's name"),
        Text("modified", "when it was last changed"),
        Flag("last", "whether this is the last entry"),
        WithUnit(Integer("size", "its size", 0), "KiB"),
        Text("kind", "what the object is")}},
      {kObjectDelete,
       "object-delete",
       "deletes stored objects",
       true,
       {Integer("device", "0 internal, 1 card, 2 USB", 0),
        Integer("object_type", "0 files, 1 directories", 0),
        Text("name", "what to delete")},
       {},
       PackObjectDelete},
      {kBatteryStatus,
       "battery-status",
       "reads battery capacity and path",
       true,
       {},
       {Real("level", "%", "battery capacity"),
        Real("path", "", "1 internal, 2 external")}},
      {kCalibration,
       "calibration",
       "reads the target-recognition calibration",
       true,
       {},
       {Real("scale_hz", "", "horizontal scale"),
        Real("scale_v", "", "vertical scale"),
        Angle("rotation", "rotation of the camera"),
        Angle("zero_hz", "horizontal zero point"),
        Angle("zero_v", "vertical zero point"),
        Real("zero_x", "", "zero point x"), Real("zero_y", "", "zero point y"),
        Real("gradient_hz", "", "horizontal temperature gradient"),
        Real("gradient_v", "", "vertical temperature gradient"),
        Real("temperature", "degC", "calibration temperature")}},
      {kInterfacePort,
       "interface-port",
       "reads the port of an interface",
       true,
       {Integer("interface", "0 serial, 1 Bluetooth, 2 radio, 3 network", 0,
                3)},
       {Integer("port", "the interface's port")},
       PackInterfacePort},
      {kConfigurePort,
       "configure-port",
       "configures a port",
       true,
       {Port("port"), Integer("setting", "the port's setting")},
       {},
       PackConfigurePort},
      {kPowerOnPort,
       "power-on-port",
       "switches the power of a port",
       true,
       {Port("port"), Flag("on", "power on")},
       {},
       PackPowerOnPort},
      {kSetDeviceOnPort,
       "set-device-on-port",
       "names the device on a port",
       false,
       {},
       {}},
      {kDeviceType,
       "device-type",
       "reads the device class and type",
       true,
       {},
       {Integer("device_class", "the instrument's class"),
        Integer("device_type", "the instrument's type bits")}},
      {kSetupPortForwarding,
       "setup-port-forwarding",
       "forwards one port to another",
       true,
       {Port("from_port"), Port("to_port")},
       {},
       PackSetupForwarding},
      {kRemovePortForwarding,
       "remove-port-forwarding",
       "ends a port forwarding",
       true,
       {Port("from_port"), Port("to_port")},
       {},
       PackRemoveForwarding},
      {kSetRadio,
       "set-radio",
       "sets the radio name, channel, power",
       true,
       {Text("name", "the radio's name"), Integer("channel", "radio channel"),
        Integer("power", "transmit power")},
       {},
       PackSetRadio},
      {kEnableRemoteControl,
       "enable-remote-control",
       "enables remote control on a port",
       true,
       {Port("port"), Integer("mode", "remote-control mode")},
       {},
       PackEnableRemote,
       nullptr,
       {"1", "", "1", ""}},
      {kDisableRemoteControl,
       "disable-remote-control",
       "disables remote control on a port",
       true,
       {Port("port")},
       {},
       PackDisableRemote,
       nullptr,
       {"1", "", "0"}},
      {kAuthenticate,
       "authenticate",
       "authenticates with a password",
       true,
       {Text("password", "the password"),
        Integer("parameter", "the authentication parameter")},
       {Integer("parameter", "the parameter the instrument answers")},
       PackAuthenticate},
      {kUploadObject,
       "upload-object",
       "uploads firmware or an application",
       true,
       {Integer("object", "0 firmware, 1 application, 2 configuration", 0),
        Text("name", "the object's file name")},
       {},
       PackUploadObject},
      {kAuthenticateWithKey,
       "authenticate-with-key",
       "authenticates with password and key",
       true,
       {Text("password", "the password"),
        Integer("parameter", "the authentication parameter"),
        Integer("key", "the key", 0, 4294967295.0)},
       {Integer("parameter", "the parameter the instrument answers")},
       PackAuthenticateWithKey},
      {kAutomationActivity,
       "automation-activity",
       "reads what the automation is doing",
       true,
       {},
       {Integer("activity", "the running activity, 0 for none")}},
      {kStationId,
       "station-id",
       "reads the station's name",
       true,
       {},
       {Text("id", "the station's name")}},
      {kMotorStart,
       "motor-start",
       "starts the motor controller",
       true,
       {Integer("mode",
                "0 positioning, 1 constant speed, 2 manual positioning, "
                "3 locked on a target, 4 braking, 7 terminated",
                0, 7)},
       {},
       PackMotorStart},
      {kMotorStop,
       "motor-stop",
       "stops the motor controller",
       true,
       {Defaults(Integer("mode", "0 normal, 1 shut down", 0, 1), i(0))},
       {},
       PackMotorStop},
      {kMotorVelocity,
       "motor-velocity",
       "turns at constant speed",
       true,
       {Real("hz_speed", "rad/s", "horizontal speed"),
        Real("v_speed", "rad/s", "vertical speed")},
       {},
       PackVelocity},
      {kLockStatus,
       "lock-status",
       "reads whether the target is followed",
       true,
       {},
       {Integer("status", "0 locked out, 1 locked in, 2 predicting", 0, 2)}},
      {kLockIn, "lock-in", "starts following the target", true, {}, {}},
      {kPosition,
       "position",
       "turns the telescope to a direction",
       true,
       {Angle("hz", "horizontal angle to turn to"),
        Angle("v", "vertical angle to turn to"),
        Defaults(Integer("pos_mode", "0 normal, 1 precise", 0, 1), i(0)),
        Defaults(Integer("atr_mode", "0 position, 1 onto the target", 0, 1),
                 i(0))},
       {},
       PackPosition},
      {kChangeFace,
       "change-face",
       "turns the telescope to the other face",
       false,
       {},
       {}},
      {kSearch,
       "search",
       "searches the target around the line of sight",
       false,
       {},
       {}},
      {kFineAdjust,
       "fine-adjust",
       "fine-adjusts onto the target",
       true,
       {AtLeast(Angle("hz_range", "horizontal search range"), 0),
        AtLeast(Angle("v_range", "vertical search range"), 0)},
       {},
       PackFineAdjust},
      {kSearchArea,
       "search-area",
       "reads the target-search window",
       true,
       {},
       AreaValues(),
       nullptr,
       decode::DescribedRecord<AUT_SEARCH_AREA>},
      {kSetSearchArea,
       "set-search-area",
       "sets the target-search window",
       true,
       AreaValues(),
       {},
       PackSearchArea},
      {kPowerSearch,
       "power-search",
       "searches the target by turning",
       true,
       {Integer("direction", "which way to turn"),
        Flag("swing", "whether to swing")},
       {},
       PackPowerSearch},
      {kSetPowerSearchRange,
       "set-power-search-range",
       "sets the distance range of the power search",
       true,
       {WithUnit(Integer("minimum", "nearest distance", 0), "m"),
        WithUnit(Integer("maximum", "farthest distance", 0), "m")},
       {},
       PackPowerSearchRange},
      {kFineAdjustRetry,
       "fine-adjust-retry",
       "fine-adjusts with a visibility hint",
       true,
       {AtLeast(Angle("hz_range", "horizontal search range"), 0),
        AtLeast(Angle("v_range", "vertical search range"), 0),
        Integer("visibility", "0 normal, 1 low", 0, 1)},
       {},
       PackFineAdjustRetry},
      {kFastPosition,
       "fast-position",
       "turns the telescope fast, coarsely",
       true,
       {Angle("hz", "horizontal angle to turn to"),
        Angle("v", "vertical angle to turn to"),
        AtLeast(Angle("accuracy", "how close is close enough"), 0),
        Defaults(Integer("atr_mode", "0 position, 1 onto the target", 0, 1),
                 i(0))},
       {},
       PackFastPosition},
      {kCalibrationParameters,
       "calibration-parameters",
       "reads the automation calibration",
       true,
       {},
       {Angle("offset_hz", "horizontal offset"),
        Angle("offset_v", "vertical offset"),
        Angle("collimation", "collimation error"),
        Angle("tilt_axis", "tilting-axis error"),
        Angle("index", "vertical index error"),
        Real("temperature", "degC", "calibration temperature")}},
      {kSwitchOn,
       "switch-on",
       "starts the instrument",
       true,
       {Integer("mode", "0 local control, 1 remote control", 0)},
       {}},
      {kSetAtrState,
       "set-atr-state",
       "switches target recognition",
       true,
       {Flag("on", "target recognition on")},
       {},
       PackSetAtr},
      {kAtrState,
       "atr-state",
       "reads the target-recognition switch",
       true,
       {},
       {Flag("atr", "target recognition on")}},
      {kSetLockState,
       "set-lock-state",
       "switches lock-in",
       true,
       {Flag("on", "lock-in on")},
       {},
       PackSetLock},
      {kLockState,
       "lock-state",
       "reads the lock-in switch",
       true,
       {},
       {Flag("lock", "lock-in on")}},
      {kFirmwareUpload,
       "firmware-upload",
       "transfers a firmware image",
       false,
       {},
       {}},
      {kFileListSetup,
       "file-list-setup",
       "starts a file listing",
       true,
       {Defaults(Integer("device", "0 internal, 1 card", 0), i(0)),
        Defaults(Integer("file_type", "0 any, 170 images", 0), i(0)),
        Defaults(Text("path", "the folder to list"), std::string())},
       {},
       PackFileListSetup},
      {kFileList,
       "file-list",
       "reads one entry of the file listing",
       true,
       {Defaults(Flag("next", "the next entry rather than the first"), false)},
       {Flag("last", "whether this is the last entry"),
        Text("name", "the file's name"),
        WithUnit(Integer("size", "its size", 0, 4294967295.0), "B"),
        Bytes("mod_time", 4,
              "modification time: hour, minute, second, "
              "hundredths"),
        Bytes("mod_date", 3, "modification date: day, month, year")},
       nullptr,
       decode::DescribedRecord<FileEntry>},
      {kFileDelete,
       "file-delete",
       "deletes files",
       true,
       {Integer("device", "0 internal, 1 card", 0),
        Integer("file_type", "0 any, 170 images", 0),
        Bytes("date", 3, "delete files older than this: day, month, year"),
        Text("name", "the files to delete")},
       {Integer("deleted", "how many files were deleted", 0)}},
      {kSwitchOff,
       "switch-off",
       "switches the instrument off or to sleep",
       true,
       {Integer("mode", "0 off, 1 sleep", 0)},
       {}},
  };
}

// A reply holds its return code where a request holds its procedure number,
// and composing one takes no sequence number from the counter.
std::chrono::milliseconds CoreReplyTimeout(unsigned short number) {
  GeoComSentence probe;
  probe.CreateReply(0, static_cast<GRC_TYPE>(number), "");
  return std::chrono::milliseconds(probe.GetTimeout());
}

std::vector<Procedure> BuildCatalogue() {
  std::vector<Procedure> table;
  for (Row& row : Rows()) {
    table.push_back({row.id, row.name, row.description,
                     CoreReplyTimeout(row.id), row.known,
                     std::move(row.arguments), std::move(row.reply), row.pack,
                     row.decode, std::move(row.requestLayout)});
  }
  return table;
}

}  // namespace

const std::vector<Procedure>& Procedures() {
  static const std::vector<Procedure> table = BuildCatalogue();
  return table;
}

const Procedure* FindProcedure(unsigned short number) {
  // Each number up to the highest named, with its row's place in the table
  // counted from 1, or 0: a decoder looks up every sentence's procedure, and
  // a lookup now reads one entry here and the row it finds, where a search
  // cost more than the rest of the lookup.
  // The table held here too: Procedures is called through the library's
  // exports, a call for every lookup.
  static const std::vector<Procedure>& table = Procedures();
  static const std::vector<std::uint16_t> kByNumber = [] {
    std::vector<std::uint16_t> byNumber(table.back().id + 1u, 0);
    for (std::size_t row = 0; row < table.size(); ++row) {
      byNumber[table[row].id] = static_cast<std::uint16_t>(row + 1);
    }
    return byNumber;
  }();
  const std::uint16_t row = number < kByNumber.size() ? kByNumber[number] : 0;
  return row != 0 ? &table[row - 1u] : nullptr;
}

const Procedure* FindProcedure(std::string_view name) {
  for (const Procedure& entry : Procedures()) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

std::chrono::milliseconds ReplyTimeout(unsigned short number) {
  const Procedure* named = FindProcedure(number);
  return named != nullptr ? named->timeout : CoreReplyTimeout(number);
}

}  // namespace Core::GEOCOM::host
