#ifndef DAZOZAZIDOREZERARO_HOST_PROCEDURES_H
#define DAZOZAZIDOREZERARO_HOST_PROCEDURES_H

#include <chrono>
#include <string_view>
#include <vector>

#include "Export.h"

namespace Core::GEOCOM::host {

/// Every procedure that the project knows by name: those the instrument may
/// take longer than the default to answer, and those the typed calls make.
/// This is the one place where a procedure number is written; Procedures()
/// names and describes each.
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

/// One procedure: its number, the name the tools use for it, what it does,
/// and how long the instrument may take to answer it.
struct Procedure {
  ProcedureId id;         ///< The procedure number.
  std::string_view name;  ///< Kebab-case name, e.g. "simple-measurement".
  std::string_view description;       ///< One line saying what it does.
  std::chrono::milliseconds timeout;  ///< The core's reply time-out for it.
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

}  // namespace Core::GEOCOM::host

#endif
