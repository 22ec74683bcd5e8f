#ifndef DAZOZAZIDOREZERARO_MEASUREMENTTYPES_H
#define DAZOZAZIDOREZERARO_MEASUREMENTTYPES_H

/// \file
/// Records and enumerations of the measurement (TMC_), automation (AUT_,
/// ATA_), motor (MOT_), application (BAP_), distance-meter (EDM_) and
/// start/stop (COM_TPS_) commands. Fields are in wire order: packers render
/// them and decoders read them in declaration order.
///
/// Every enumeration is 32 bits wide so that any value the instrument sends or
/// the host chooses passes through unchanged; the enumerators name the usual
/// values.

#include <cstdint>

namespace Core::GEOCOM {

/// Whether a positioning command aims at a point or at a target.
enum AUT_ATRMODE : std::int32_t {
  AUT_POSITION = 0,  ///< Position on the angles alone.
  AUT_TARGET = 1,    ///< Position with target recognition.
};

/// How precisely the motors position.
enum AUT_POSMODE : std::int32_t {
  AUT_NORMAL = 0,   ///< Normal precision.
  AUT_PRECISE = 1,  ///< Precise positioning.
  AUT_FAST = 2,     ///< Fast positioning.
};

/// The automation activity an instrument reports.
enum AUT_AUTEVENT : std::int32_t {
  AUT_EVENT_NONE = 0,         ///< No activity.
  AUT_EVENT_POSITIONING = 1,  ///< Positioning.
  AUT_EVENT_FINE_ADJUST = 2,  ///< Fine adjustment onto a target.
  AUT_EVENT_SEARCH = 3,       ///< Target search.
};

/// Visibility conditions for a fine adjustment.
enum ATA_VISIBILITY : std::int32_t {
  ATA_VISIBILITY_NORMAL = 0,  ///< Normal visibility.
  ATA_VISIBILITY_LOW = 1,     ///< Low visibility.
};

/// Operating modes of the motors.
enum MOT_MODE : std::int32_t {
  MOT_POSIT = 0,    ///< Positioning.
  MOT_OCONST = 1,   ///< Constant speed.
  MOT_MANUPOS = 2,  ///< Manual positioning.
  MOT_LOCK = 3,     ///< Locked on a target.
  MOT_BREAK = 4,    ///< Braking.
  MOT_TERM = 7,     ///< Terminated.
};

/// How the motors stop.
enum MOT_STOPMODE : std::int32_t {
  MOT_NORMAL = 0,    ///< A normal stop.
  MOT_SHUTDOWN = 1,  ///< Stop and shut the motors down.
};

/// Lock-in state of target tracking.
enum MOT_LOCK_STATUS : std::int32_t {
  MOT_LOCKED_OUT = 0,  ///< Not locked on a target.
  MOT_LOCKED_IN = 1,   ///< Locked on a target.
  MOT_PREDICTION = 2,  ///< Target lost; its motion is being predicted.
};

/// Target-recognition settings of the application layer.
enum BAP_ATRSETTING : std::int32_t {
  BAP_ATRSET_NORMAL = 0,      ///< Normal recognition.
  BAP_ATRSET_LOWVIS_ON = 1,   ///< Low visibility on.
  BAP_ATRSET_LOWVIS_AON = 2,  ///< Low visibility always on.
  BAP_ATRSET_SRANGE_ON = 3,   ///< Short range on.
  BAP_ATRSET_SRANGE_AON = 4,  ///< Short range always on.
};

/// Intensities of the guide light.
enum EDM_EGLINTENSITY_TYPE : std::int32_t {
  EDM_EGLINTEN_OFF = 0,   ///< Off.
  EDM_EGLINTEN_LOW = 1,   ///< Low.
  EDM_EGLINTEN_MID = 2,   ///< Medium.
  EDM_EGLINTEN_HIGH = 3,  ///< High.
};

/// A switch; decoders of this type accept only 0 and 1.
enum ON_OFF_TYPE : std::int32_t {
  OFF = 0,  ///< Off.
  ON = 1,   ///< On.
};

/// How the instrument starts.
enum COM_TPS_STARTUP_MODE : std::int32_t {
  COM_TPS_STARTUP_LOCAL = 0,   ///< Under local control.
  COM_TPS_STARTUP_REMOTE = 1,  ///< Under remote control.
};

/// How the instrument stops.
enum COM_TPS_STOP_MODE : std::int32_t {
  COM_TPS_STOP_SHUT_DOWN = 0,  ///< Power off.
  COM_TPS_STOP_SLEEP = 1,      ///< Sleep.
};

/// The telescope face.
enum TMC_FACE_TYPE : std::int32_t {
  TMC_FACE_1 = 0,  ///< Face one.
  TMC_FACE_2 = 1,  ///< Face two.
};

/// A raw angle measurement: five values on the wire.
struct TMC_RAW_ANGLE {
  bool flag;          ///< Validity flag, 1 or 0 on the wire.
  double value1;      ///< First value.
  double value2;      ///< Second value.
  double value3;      ///< Third value.
  std::int32_t time;  ///< Time of the measurement.
};

/// A raw inclination measurement: six values on the wire.
struct TMC_RAW_INCLINE {
  bool flag;          ///< Validity flag, 1 or 0 on the wire.
  double value1;      ///< First value.
  double value2;      ///< Second value.
  double value3;      ///< Third value.
  double value4;      ///< Fourth value.
  std::int32_t time;  ///< Time of the measurement.
};

/// An inclination measurement: four values on the wire.
struct TMC_Incline {
  double crossIncline;   ///< Inclination across the line of sight.
  double lengthIncline;  ///< Inclination along the line of sight.
  double accuracy;       ///< Accuracy of the inclination.
  std::int32_t time;     ///< Time of the measurement.
};

/// An angle measurement. Nine values on the wire: hz, v, angleAccuracy,
/// angleTime, the four of the inclination, face.
struct TMC_ANGLE {
  double hz;               ///< Horizontal angle.
  double v;                ///< Vertical angle.
  double angleAccuracy;    ///< Accuracy of the angles.
  std::int32_t angleTime;  ///< Time of the angle measurement.
  TMC_Incline incline;     ///< Inclination at the time of the measurement.
  TMC_FACE_TYPE face;      ///< Face; a signed 16-bit value on the wire.
};

/// Which angle corrections are switched on; each 0 or 1 on the wire.
struct TMC_Ang_Switch {
  ON_OFF_TYPE inclineCorrection;      ///< Inclination correction.
  ON_OFF_TYPE standAxisCorrection;    ///< Standing-axis correction.
  ON_OFF_TYPE collimationCorrection;  ///< Collimation correction.
  ON_OFF_TYPE tiltAxisCorrection;     ///< Tilting-axis correction.
};

/// Atmospheric data for distance corrections.
struct TMC_Atmos_Temperature {
  double lambda;          ///< Carrier wavelength of the distance meter.
  double pressure;        ///< Air pressure.
  double dryTemperature;  ///< Dry-bulb temperature.
  double wetTemperature;  ///< Wet-bulb temperature.
};

/// The two values of an inclination index reply.
struct TMC_Incline_Index {
  double value1;  ///< First value.
  double value2;  ///< Second value.
};

/// An angle pair with a slope distance.
struct TMC_Simple_Meas {
  double hz;             ///< Horizontal angle.
  double v;              ///< Vertical angle.
  double slopeDistance;  ///< Slope distance.
};

/// An angle pair.
struct TMC_Hz_V_Ang {
  double hz;  ///< Horizontal angle.
  double v;   ///< Vertical angle.
};

/// Corrections applied to slope distances.
struct TMC_Slope_Dist_Corr {
  double ppmCorrection;    ///< Scale correction in parts per million.
  double prismCorrection;  ///< Prism constant.
};

/// The instrument's station.
struct TMC_Station {
  double stationEasting;    ///< Easting of the station.
  double stationNorthing;   ///< Northing of the station.
  double stationHeight;     ///< Height of the station.
  double instrumentHeight;  ///< Height of the instrument above the station.
};

/// The six calibration values of target recognition.
struct ATA_CALIB {
  double value1;  ///< First value.
  double value2;  ///< Second value.
  double value3;  ///< Third value.
  double value4;  ///< Fourth value.
  double value5;  ///< Fifth value.
  double value6;  ///< Sixth value.
};

/// The zero point of target recognition.
struct ATA_ZERO_COORD {
  double value1;  ///< First coordinate.
  double value2;  ///< Second coordinate.
};

/// The temperature gradients of target recognition.
struct ATA_TEMP_GRAD {
  double value1;  ///< First gradient.
  double value2;  ///< Second gradient.
};

/// The six calibration parameters of automation.
struct AUT_CALPAR {
  double value1;  ///< First value.
  double value2;  ///< Second value.
  double value3;  ///< Third value.
  double value4;  ///< Fourth value.
  double value5;  ///< Fifth value.
  double value6;  ///< Sixth value.
};

/// The window a target search covers.
struct AUT_SEARCH_AREA {
  double centerHz;  ///< Horizontal angle of the centre.
  double centerV;   ///< Vertical angle of the centre.
  double rangeHz;   ///< Horizontal extent.
  double rangeV;    ///< Vertical extent.
  bool enabled;     ///< Whether the window is in use; 1 on the wire.
};

}  // namespace Core::GEOCOM

#endif
