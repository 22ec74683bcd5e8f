#include <DazoZazIdoRezeraro/host/Requests.h>

#include <cmath>

namespace Core::GEOCOM::host {

namespace {

// Packers neither read nor change the object they are called on.
const GeoComSentence& Packer() {
  static const GeoComSentence packer;
  return packer;
}

Error Invalid(const std::string& message) {
  return Error(ErrorKind::kInvalidArgument, message);
}

bool IsLeapYear(unsigned year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30,
                                       31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The first failed check of several, or success.
Result<std::string> Checked(std::initializer_list<Result<Done>> checks,
                            std::string parameters) {
  for (const Result<Done>& check : checks) {
    if (!check) return check.error();
  }
  return parameters;
}

}  // namespace

Result<Done> CheckFinite(const char* what, double value) {
  if (std::isfinite(value)) return Done{};
  return Invalid(std::string(what) + " must be a finite number, not " +
                 (std::isnan(value) ? "nan" : "infinite"));
}

Result<Done> CheckName(const char* what, const std::string& text) {
  if (text.find_first_of("\"\r\n") == std::string::npos) return Done{};
  return Invalid(std::string(what) + " must not hold a double quote, CR or LF");
}

Result<Done> CheckDateTime(const DATIME& dateTime) {
  const unsigned year = dateTime.year;
  const unsigned month = dateTime.month;
  if (year < 1 || month < 1 || month > 12 || dateTime.day < 1 ||
      dateTime.day > DaysInMonth(year, month)) {
    return Invalid("the date " + std::to_string(year) + "-" +
                   std::to_string(month) + "-" + std::to_string(dateTime.day) +
                   " does not exist");
  }
  if (dateTime.hour > 23 || dateTime.minute > 59 || dateTime.second > 59) {
    return Invalid("the time " + std::to_string(dateTime.hour) + ":" +
                   std::to_string(dateTime.minute) + ":" +
                   std::to_string(dateTime.second) + " does not exist");
  }
  return Done{};
}

Result<std::string> AnglesParameters(std::int32_t inclineMode) {
  return Packer().Pack(inclineMode);
}

Result<std::string> SimpleMeasurementParameters(std::int32_t waitMs,
                                                std::int32_t inclineMode) {
  if (waitMs < 0) return Invalid("the wait must not be negative");
  return Packer().Pack(waitMs) + "," + Packer().Pack(inclineMode);
}

Result<std::string> SetDateTimeParameters(const DATIME& dateTime) {
  return Checked({CheckDateTime(dateTime)},
                 Packer().PackRequestSetDateTime(dateTime));
}

Result<std::string> SetStationParameters(const TMC_Station& station) {
  const GeoComSentence& p = Packer();
  return Checked({CheckFinite("easting", station.stationEasting),
                  CheckFinite("northing", station.stationNorthing),
                  CheckFinite("height", station.stationHeight),
                  CheckFinite("instrument height", station.instrumentHeight)},
                 p.Pack(station.stationEasting) + "," +
                     p.Pack(station.stationNorthing) + "," +
                     p.Pack(station.stationHeight) + "," +
                     p.Pack(station.instrumentHeight));
}

Result<std::string> PositionParameters(double hz, double v, AUT_POSMODE posMode,
                                       AUT_ATRMODE atrMode) {
  return Checked(
      {CheckFinite("hz", hz), CheckFinite("v", v)},
      Packer().PackDevicePositionRequest(hz, v, posMode, atrMode, false));
}

Result<std::string> FineAdjustParameters(double hzRange, double vRange) {
  return Checked(
      {CheckFinite("hz range", hzRange), CheckFinite("v range", vRange)},
      Packer().PackFineAdjustRequest(hzRange, vRange, false));
}

Result<std::string> SetSearchAreaParameters(const AUT_SEARCH_AREA& area) {
  return Checked({CheckFinite("centre hz", area.centerHz),
                  CheckFinite("centre v", area.centerV),
                  CheckFinite("hz range", area.rangeHz),
                  CheckFinite("v range", area.rangeV)},
                 Packer().PackSetSearchAreaRequest(area.centerHz, area.centerV,
                                                   area.rangeHz, area.rangeV,
                                                   area.enabled));
}

Result<std::string> MotorStartParameters(MOT_MODE mode) {
  return Packer().Pack(mode);
}

Result<std::string> MotorStopParameters(MOT_STOPMODE mode) {
  return Packer().Pack(mode);
}

Result<std::string> MotorVelocityParameters(double hzSpeed, double vSpeed) {
  return Checked(
      {CheckFinite("hz speed", hzSpeed), CheckFinite("v speed", vSpeed)},
      Packer().PackMotorSetVelocityRequest(hzSpeed, vSpeed));
}

Result<std::string> SwitchParameters(bool on) { return Packer().Pack(on); }

Result<std::string> GuideLightParameters(EDM_EGLINTENSITY_TYPE intensity) {
  if (intensity < EDM_EGLINTEN_OFF || intensity > EDM_EGLINTEN_HIGH) {
    return Invalid("the guide-light intensity must be 0 to 3, not " +
                   std::to_string(intensity));
  }
  return Packer().PackGuideLightRequest(intensity);
}

Result<std::string> FileListSetupParameters(FTR_DEVICETYPE device,
                                            FTR_FILETYPE fileType,
                                            const std::string& path) {
  return Checked({CheckName("the path", path)},
                 Packer().PackFtrSetupList(device, fileType, path));
}

Result<std::string> FileListParameters(bool next) {
  return Packer().Pack(next);
}

Result<std::string> FileDeleteParameters(FTR_DEVICETYPE device,
                                         FTR_FILETYPE fileType,
                                         const FTR_MODDATE& date,
                                         const std::string& name) {
  return Checked({CheckName("the file name", name)},
                 Packer().PackFtrDelete(device, fileType, date, name));
}

}  // namespace Core::GEOCOM::host
