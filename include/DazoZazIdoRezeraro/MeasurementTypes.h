#ifndef DAZOZAZIDOREZERARO_MEASUREMENTTYPES_H
#define DAZOZAZIDOREZERARO_MEASUREMENTTYPES_H

#include <cstdint>

// Records and enumerations of the measurement (TMC_), automation (AUT_,
// ATA_), motor (MOT_), application (BAP_), distance-meter (EDM_) and
// start/stop (COM_TPS_) commands. Fields are in wire order: packers render
// them and decoders read them in declaration order.
namespace Core::GEOCOM {

// Every enumeration is 32 bits wide so that any value the instrument sends or
// the host chooses passes through unchanged; the library names no enumerator.
enum AUT_ATRMODE : std::int32_t {
  AUT_POSITION = 0,
  AUT_TARGET = 1,
};

enum AUT_POSMODE : std::int32_t {
  AUT_NORMAL = 0,
  AUT_PRECISE = 1,
  AUT_FAST = 2,
};

enum AUT_AUTEVENT : std::int32_t {
  AUT_EVENT_NONE = 0,
  AUT_EVENT_POSITIONING = 1,
  AUT_EVENT_FINE_ADJUST = 2,
  AUT_EVENT_SEARCH = 3,
};

enum ATA_VISIBILITY : std::int32_t {
  ATA_VISIBILITY_NORMAL = 0,
  ATA_VISIBILITY_LOW = 1,
};

enum MOT_MODE : std::int32_t {
  MOT_POSIT = 0,
  MOT_OCONST = 1,
  MOT_MANUPOS = 2,
  MOT_LOCK = 3,
  MOT_BREAK = 4,
  MOT_TERM = 7,
};

enum MOT_STOPMODE : std::int32_t {
  MOT_NORMAL = 0,
  MOT_SHUTDOWN = 1,
};

enum MOT_LOCK_STATUS : std::int32_t {
  MOT_LOCKED_OUT = 0,
  MOT_LOCKED_IN = 1,
  MOT_PREDICTION = 2,
};

enum BAP_ATRSETTING : std::int32_t {
  BAP_ATRSET_NORMAL = 0,
  BAP_ATRSET_LOWVIS_ON = 1,
  BAP_ATRSET_LOWVIS_AON = 2,
  BAP_ATRSET_SRANGE_ON = 3,
  BAP_ATRSET_SRANGE_AON = 4,
};

enum EDM_EGLINTENSITY_TYPE : std::int32_t {
  EDM_EGLINTEN_OFF = 0,
  EDM_EGLINTEN_LOW = 1,
  EDM_EGLINTEN_MID = 2,
  EDM_EGLINTEN_HIGH = 3,
};

enum ON_OFF_TYPE : std::int32_t {
  OFF = 0,
  ON = 1,
};

enum COM_TPS_STARTUP_MODE : std::int32_t {
  COM_TPS_STARTUP_LOCAL = 0,
  COM_TPS_STARTUP_REMOTE = 1,
};

enum COM_TPS_STOP_MODE : std::int32_t {
  COM_TPS_STOP_SHUT_DOWN = 0,
  COM_TPS_STOP_SLEEP = 1,
};

enum TMC_FACE_TYPE : std::int32_t {
  TMC_FACE_1 = 0,
  TMC_FACE_2 = 1,
};

struct TMC_RAW_ANGLE {
  bool flag;
  double value1;
  double value2;
  double value3;
  std::int32_t time;
};

struct TMC_RAW_INCLINE {
  bool flag;
  double value1;
  double value2;
  double value3;
  double value4;
  std::int32_t time;
};

struct TMC_Incline {
  double crossIncline;
  double lengthIncline;
  double accuracy;
  std::int32_t time;
};

// Nine values on the wire: hz, v, angleAccuracy, angleTime, the four of the
// inclination, face.
struct TMC_ANGLE {
  double hz;
  double v;
  double angleAccuracy;
  std::int32_t angleTime;
  TMC_Incline incline;
  TMC_FACE_TYPE face;
};

struct TMC_Ang_Switch {
  ON_OFF_TYPE inclineCorrection;
  ON_OFF_TYPE standAxisCorrection;
  ON_OFF_TYPE collimationCorrection;
  ON_OFF_TYPE tiltAxisCorrection;
};

struct TMC_Atmos_Temperature {
  double lambda;
  double pressure;
  double dryTemperature;
  double wetTemperature;
};

struct TMC_Incline_Index {
  double value1;
  double value2;
};

struct TMC_Simple_Meas {
  double hz;
  double v;
  double slopeDistance;
};

struct TMC_Hz_V_Ang {
  double hz;
  double v;
};

struct TMC_Slope_Dist_Corr {
  double ppmCorrection;
  double prismCorrection;
};

struct TMC_Station {
  double stationEasting;
  double stationNorthing;
  double stationHeight;
  double instrumentHeight;
};

struct ATA_CALIB {
  double value1;
  double value2;
  double value3;
  double value4;
  double value5;
  double value6;
};

struct ATA_ZERO_COORD {
  double value1;
  double value2;
};

struct ATA_TEMP_GRAD {
  double value1;
  double value2;
};

struct AUT_CALPAR {
  double value1;
  double value2;
  double value3;
  double value4;
  double value5;
  double value6;
};

struct AUT_SEARCH_AREA {
  double centerHz;
  double centerV;
  double rangeHz;
  double rangeV;
  bool enabled;
};

}  // namespace Core::GEOCOM

#endif
