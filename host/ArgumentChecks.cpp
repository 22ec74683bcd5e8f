#include <DazoZazIdoRezeraro/host/ArgumentChecks.h>

#include <cmath>

namespace Core::GEOCOM::host {

namespace {

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

}  // namespace Core::GEOCOM::host
