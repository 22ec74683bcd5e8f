#include <DazoZazIdoRezeraro/survey/History.h>
#include <DazoZazIdoRezeraro/survey/ResultFiles.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

namespace Core::GEOCOM::survey {
namespace {

// The shortest text that reads back as the same double; empty for NaN.
std::string Number(double value) {
  if (!std::isfinite(value)) return "";
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end.ptr);
}

std::string Sets(const std::vector<int>& sets) {
  std::string text;
  for (int set : sets) {
    if (!text.empty()) text += ' ';
    text += std::to_string(set);
  }
  return text;
}

std::string CsvField(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvLine(const std::vector<std::string>& values) {
  std::string line;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) line += ',';
    line += CsvField(values[i]);
  }
  return line + "\r\n";
}

// Each target's reference coordinates, from which the d_ columns count.
std::map<std::string, Coordinates> References(Store& store) {
  const std::set<std::int64_t> complete = CompleteRounds(store);
  std::map<std::string, Coordinates> references;
  for (const Target& target : store.Targets()) {
    if (const auto epoch = ReferenceInStore(store, target.id, complete)) {
      references[target.id] =
          Coordinates{epoch->easting, epoch->northing, epoch->height};
    }
  }
  return references;
}

std::optional<Coordinates> ReferenceOf(
    const std::map<std::string, Coordinates>& references,
    const std::string& target) {
  const auto found = references.find(target);
  if (found == references.end()) return std::nullopt;
  return found->second;
}

}  // namespace

const std::vector<std::string>& ResultColumns() {
  static const std::vector<std::string> columns = {"round",
                                                   "target",
                                                   "time",
                                                   "outcome",
                                                   "easting",
                                                   "northing",
                                                   "height",
                                                   "faces",
                                                   "sets",
                                                   "hz",
                                                   "v",
                                                   "distance",
                                                   "collimation",
                                                   "vertical_index",
                                                   "hz_spread",
                                                   "v_spread",
                                                   "distance_spread",
                                                   "flagged_sets",
                                                   "return_code",
                                                   "message",
                                                   "d_east",
                                                   "d_north",
                                                   "d_height"};
  return columns;
}

std::string FormatTime(TimePoint time) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                          time.time_since_epoch())
                          .count();
  const std::time_t seconds = static_cast<std::time_t>(
      micros >= 0 ? micros / 1000000 : (micros - 999999) / 1000000);
  const long fraction = static_cast<long>(micros - seconds * 1000000LL);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06ldZ",
                parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                parts.tm_hour, parts.tm_min, parts.tm_sec, fraction);
  return text;
}

std::optional<TimePoint> ParseTime(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int used = 0;
  std::tm parts{};
  long micros = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) !=
          3 ||
      used != 10) {
    return std::nullopt;
  }
  std::string rest = text.substr(10);
  if (!rest.empty()) {
    int more = 0;
    if (std::sscanf(rest.c_str(), "T%2d:%2d:%2d%n", &hour, &minute, &second,
                    &more) != 3 ||
        more != 9) {
      return std::nullopt;
    }
    rest = rest.substr(9);
    if (!rest.empty() && rest[0] == '.') {
      std::size_t digits = 1;
      while (digits < rest.size() && digits <= 6 &&
             std::isdigit(static_cast<unsigned char>(rest[digits]))) {
        micros = micros * 10 + (rest[digits] - '0');
        ++digits;
      }
      if (digits == 1) return std::nullopt;
      for (std::size_t pad = digits; pad <= 6; ++pad) micros *= 10;
      rest = rest.substr(digits);
    }
    if (rest == "Z") rest.clear();
    if (!rest.empty()) return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 60) {
    return std::nullopt;
  }
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  const std::time_t seconds = timegm(&parts);
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(
      std::chrono::seconds(seconds) + std::chrono::microseconds(micros)));
}

std::vector<std::string> ResultRow(
    const TargetResult& result, const std::optional<Coordinates>& reference) {
  const auto& at = result.coordinates;
  const double nan = std::nan("");
  const bool moved = at && reference;
  return {std::to_string(result.round),
          result.target,
          FormatTime(result.time),
          std::string(OutcomeName(result.outcome)),
          Number(at ? at->easting : nan),
          Number(at ? at->northing : nan),
          Number(at ? at->height : nan),
          std::to_string(result.faces),
          std::to_string(result.sets),
          Number(result.hz),
          Number(result.v),
          Number(result.distance),
          Number(result.collimation),
          Number(result.verticalIndex),
          Number(result.hzSpread),
          Number(result.vSpread),
          Number(result.distanceSpread),
          Sets(result.flaggedSets),
          std::to_string(result.returnCode),
          result.message,
          Number(moved ? at->easting - reference->easting : nan),
          Number(moved ? at->northing - reference->northing : nan),
          Number(moved ? at->height - reference->height : nan)};
}

std::size_t WriteCsv(Store& store, const ResultQuery& query,
                     std::ostream& out) {
  out << CsvLine(ResultColumns());
  std::size_t rows = 0;
  const auto references = References(store);
  store.ReadResults(query, [&](const TargetResult& result) {
    out << CsvLine(ResultRow(result, ReferenceOf(references, result.target)));
    ++rows;
    return static_cast<bool>(out);
  });
  return rows;
}

std::size_t WriteGeoJson(Store& store, const ResultQuery& query,
                         std::ostream& out) {
  out << "{\"type\": \"FeatureCollection\", \"features\": [";
  std::size_t features = 0;
  const std::vector<std::string>& columns = ResultColumns();
  const auto references = References(store);
  store.ReadResults(query, [&](const TargetResult& result) {
    nlohmann::json feature = {{"type", "Feature"}};
    if (result.coordinates) {
      feature["geometry"] = {
          {"type", "Point"},
          {"coordinates",
           {result.coordinates->easting, result.coordinates->northing,
            result.coordinates->height}}};
    } else {
      feature["geometry"] = nullptr;
    }
    const std::vector<std::string> row =
        ResultRow(result, ReferenceOf(references, result.target));
    nlohmann::json properties = nlohmann::json::object();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      properties[columns[i]] = row[i];
    }
    // Numbers stay numbers for GIS tools; a value not measured is null.
    for (const char* numeric :
         {"easting", "northing", "height", "hz", "v", "distance", "collimation",
          "vertical_index", "hz_spread", "v_spread", "distance_spread",
          "d_east", "d_north", "d_height"}) {
      const std::string& text = properties[numeric].get_ref<std::string&>();
      properties[numeric] =
          text.empty() ? nlohmann::json(nullptr)
                       : nlohmann::json(std::strtod(text.c_str(), nullptr));
    }
    for (const char* integer : {"round", "faces", "sets", "return_code"}) {
      properties[integer] = std::stoll(properties[integer].get<std::string>());
    }
    feature["properties"] = std::move(properties);
    out << (features == 0 ? "\n" : ",\n") << feature.dump();
    ++features;
    return static_cast<bool>(out);
  });
  out << "\n]}\n";
  return features;
}

}  // namespace Core::GEOCOM::survey
