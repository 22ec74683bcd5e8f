#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/Procedures.h>

#include <algorithm>

namespace Core::GEOCOM::host {

namespace {

struct Named {
  ProcedureId id;
  std::string_view name;
  std::string_view description;
};

std::vector<Procedure> BuildTable() {
  static constexpr Named kNamed[] = {
      {kNull, "null", "checks that the instrument answers"},
      {kGuideLight, "guide-light", "reads the guide-light intensity"},
      {kSetGuideLight, "set-guide-light", "sets the guide-light intensity"},
      {kStation, "station", "reads the station coordinates"},
      {kSetStation, "set-station", "sets the station coordinates"},
      {kAngleSwitches, "angle-switches", "reads the angle-correction switches"},
      {kStartCompensator, "start-compensator", "starts the tilt compensator"},
      {kAtmosphere, "atmosphere", "reads the atmospheric values"},
      {kStopCompensator, "stop-compensator", "stops the tilt compensator"},
      {kAngles, "angles", "measures the two angles"},
      {kSimpleMeasurement, "simple-measurement",
       "measures angles and slope distance"},
      {kInclineIndex, "incline-index", "reads the inclination index values"},
      {kQuickDistance, "quick-distance",
       "measures quickly, angles and distance"},
      {kSlopeDistanceCorrections, "slope-distance-corrections",
       "reads ppm and prism corrections"},
      {kInstrumentNumber, "instrument-number", "reads the serial number"},
      {kInstrumentName, "instrument-name", "reads the instrument name"},
      {kSetDateTime, "set-date-time", "sets the instrument clock"},
      {kDateTime, "date-time", "reads the instrument clock"},
      {kSoftwareVersion, "software-version", "reads the firmware release"},
      {kDeviceConfig, "device-config", "reads the instrument class and type"},
      {kPower, "power", "reads battery level and power paths"},
      {kAtrSetting, "atr-setting", "reads the target-recognition setting"},
      {kSetAtrSetting, "set-atr-setting",
       "sets the target-recognition setting"},
      {kObjectListSetup, "object-list-setup",
       "starts a listing of stored objects"},
      {kObjectList, "object-list", "reads one entry of the object listing"},
      {kObjectDelete, "object-delete", "deletes stored objects"},
      {kBatteryStatus, "battery-status", "reads battery capacity and path"},
      {kCalibration, "calibration", "reads the target-recognition calibration"},
      {kInterfacePort, "interface-port", "reads the port of an interface"},
      {kConfigurePort, "configure-port", "configures a port"},
      {kPowerOnPort, "power-on-port", "switches the power of a port"},
      {kSetDeviceOnPort, "set-device-on-port", "names the device on a port"},
      {kDeviceType, "device-type", "reads the device class and type"},
      {kSetupPortForwarding, "setup-port-forwarding",
       "forwards one port to another"},
      {kRemovePortForwarding, "remove-port-forwarding",
       "ends a port forwarding"},
      {kSetRadio, "set-radio", "sets the radio name, channel, power"},
      {kEnableRemoteControl, "enable-remote-control",
       "enables remote control on a port"},
      {kDisableRemoteControl, "disable-remote-control",
       "disables remote control on a port"},
      {kAuthenticate, "authenticate", "authenticates with a password"},
      {kUploadObject, "upload-object", "uploads firmware or an application"},
      {kAuthenticateWithKey, "authenticate-with-key",
       "authenticates with password and key"},
      {kAutomationActivity, "automation-activity",
       "reads what the automation is doing"},
      {kStationId, "station-id", "reads the station's name"},
      {kMotorStart, "motor-start", "starts the motor controller"},
      {kMotorStop, "motor-stop", "stops the motor controller"},
      {kMotorVelocity, "motor-velocity", "turns at constant speed"},
      {kLockStatus, "lock-status", "reads whether the target is followed"},
      {kLockIn, "lock-in", "starts following the target"},
      {kPosition, "position", "turns the telescope to a direction"},
      {kChangeFace, "change-face", "turns the telescope to the other face"},
      {kSearch, "search", "searches the target around the line of sight"},
      {kFineAdjust, "fine-adjust", "fine-adjusts onto the target"},
      {kSearchArea, "search-area", "reads the target-search window"},
      {kSetSearchArea, "set-search-area", "sets the target-search window"},
      {kPowerSearch, "power-search", "searches the target by turning"},
      {kSetPowerSearchRange, "set-power-search-range",
       "sets the distance range of the power search"},
      {kFineAdjustRetry, "fine-adjust-retry",
       "fine-adjusts with a visibility hint"},
      {kFastPosition, "fast-position", "turns the telescope fast, coarsely"},
      {kCalibrationParameters, "calibration-parameters",
       "reads the automation calibration"},
      {kSwitchOn, "switch-on", "starts the instrument"},
      {kSetAtrState, "set-atr-state", "switches target recognition"},
      {kAtrState, "atr-state", "reads the target-recognition switch"},
      {kSetLockState, "set-lock-state", "switches lock-in"},
      {kLockState, "lock-state", "reads the lock-in switch"},
      {kFirmwareUpload, "firmware-upload", "transfers a firmware image"},
      {kFileListSetup, "file-list-setup", "starts a file listing"},
      {kFileList, "file-list", "reads one entry of the file listing"},
      {kFileDelete, "file-delete", "deletes files"},
      {kSwitchOff, "switch-off", "switches the instrument off or to sleep"},
  };
  std::vector<Procedure> table;
  table.reserve(std::size(kNamed));
  for (const Named& named : kNamed) {
    table.push_back(
        {named.id, named.name, named.description, ReplyTimeout(named.id)});
  }
  return table;
}

}  // namespace

const std::vector<Procedure>& Procedures() {
  static const std::vector<Procedure> table = BuildTable();
  return table;
}

const Procedure* FindProcedure(unsigned short number) {
  const std::vector<Procedure>& table = Procedures();
  const auto found =
      std::lower_bound(table.begin(), table.end(), number,
                       [](const Procedure& entry, unsigned short wanted) {
                         return entry.id < wanted;
                       });
  return found != table.end() && found->id == number ? &*found : nullptr;
}

const Procedure* FindProcedure(std::string_view name) {
  for (const Procedure& entry : Procedures()) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

std::chrono::milliseconds ReplyTimeout(unsigned short number) {
  // A reply holds its return code where a request holds its procedure
  // number, and composing one takes no sequence number from the counter.
  GeoComSentence probe;
  probe.CreateReply(0, static_cast<GRC_TYPE>(number), "");
  return std::chrono::milliseconds(probe.GetTimeout());
}

}  // namespace Core::GEOCOM::host
