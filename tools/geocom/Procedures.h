#ifndef GEOCOM_TOOL_PROCEDURES_H
#define GEOCOM_TOOL_PROCEDURES_H

// Procedure numbers of the commands that the tool knows, shared by the host
// side (command table) and the simulated instrument.
namespace geocom {

enum Procedure : unsigned short {
  kNull = 0,
  kGuideLight = 1058,
  kSetGuideLight = 1059,
  kStation = 2009,
  kSetStation = 2010,
  kAngleSwitches = 2014,
  kAtmosphere = 2029,
  kAngles = 2107,
  kSimpleMeasurement = 2108,
  kSlopeDistanceCorrections = 2126,
  kSetDateTime = 5007,
  kDateTime = 5008,
  kInstrumentNumber = 5003,
  kInstrumentName = 5004,
  kSoftwareVersion = 5034,
  kDeviceConfig = 5035,
  kPower = 5039,
  kMotorStart = 6001,
  kMotorStop = 6002,
  kMotorVelocity = 6004,
  kLockStatus = 6021,
  kLockIn = 9013,
  kPosition = 9027,
  kFineAdjust = 9037,
  kSearchArea = 9042,
  kSetSearchArea = 9043,
  kSetAtrState = 18005,
  kAtrState = 18006,
  kSetLockState = 18007,
  kLockState = 18008,
  kFileListSetup = 23306,
  kFileList = 23307,
  kFileDelete = 23309,
};

}  // namespace geocom

#endif
