#include <DazoZazIdoRezeraro/host/ArgumentChecks.h>
#include <DazoZazIdoRezeraro/simulator/Scene.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "CheckedJson.h"

namespace Core::GEOCOM::simulator {

// The text of examples/scenes/default.json, compiled in.
extern const char* const kDefaultSceneJson;

namespace {

using json = nlohmann::json;

constexpr double kPi = 3.14159265358979323846;
// Bounds that keep every reply decodable and every motion physical: a
// turn across half the circle takes at most five minutes, noise stays
// well inside what a measurement can carry.
constexpr double kMinTurnSpeed = 0.01;
constexpr double kMaxTurnSpeed = 100;
constexpr double kMaxAngleNoise = 0.1;
constexpr double kMaxDistanceNoise = 100;
constexpr double kMaxRange = 1e6;
constexpr double kMaxPrismSpeed = 1000;
// A metre a day creeps; a scene faster than that wants a path.
constexpr double kMaxDrift = 1;
constexpr double kMaxInstrumentError = 0.01;
constexpr double kMaxTimeScale = 1e9;

// Reads the fields of a scene, each from its path; the first wrong one is
// refused naming the text, the line and the field.
class SceneReader : public host::json_text::CheckedJsonReader {
 public:
  SceneReader(std::string name, std::string_view text)
      : CheckedJsonReader(std::move(name), text, {"scene", "field"}) {}

  // A coordinate: finite and within kCoordinateLimit.
  void Coordinate(const json& object, const std::string& path, const char* key,
                  double& value, bool required) {
    Number(object, path, key, value, -kCoordinateLimit, kCoordinateLimit, true,
           required);
  }

  template <typename Whole>
  void Int(const json& object, const std::string& path, const char* key,
           Whole& value, std::int64_t minimum, std::int64_t maximum) {
    std::int64_t read = 0;
    if (Integer(object, path, key, read, minimum, maximum)) {
      value = static_cast<Whole>(read);
    }
  }

  // A text that can travel inside a quoted parameter.
  void Text(const json& object, const std::string& path, const char* key,
            std::string& value, bool required = false) {
    std::string text;
    if (!String(object, path, key, text, required)) return;
    if (!host::CheckName(key, text)) {
      Fail(Join(path, key), "must not hold a double quote, CR or LF");
    }
    value = text;
  }

  void DateTime(const json& object, const std::string& path, const char* key,
                DATIME& value) {
    std::string text;
    Text(object, path, key, text);
    if (text.empty()) return;
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char end = 0;
    const bool read =
        std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%c", &year, &month,
                    &day, &hour, &minute, &second, &end) == 6;
    const DATIME parsed{
        static_cast<std::uint16_t>(year),   static_cast<unsigned char>(month),
        static_cast<unsigned char>(day),    static_cast<unsigned char>(hour),
        static_cast<unsigned char>(minute), static_cast<unsigned char>(second)};
    if (!read || text.size() != 19 || month > 12 || day > 31 || hour > 23 ||
        minute > 59 || second > 59 || !host::CheckDateTime(parsed)) {
      Fail(Join(path, key),
           "must be a date and time that exists, as 2024-03-15T10:30:00");
    }
    value = parsed;
  }

  Point ReadPoint(const json& value, const std::string& path,
                  std::initializer_list<const char*> allowed) {
    const json& object = Object(value, path, allowed);
    Point point;
    Coordinate(object, path, "easting", point.easting, true);
    Coordinate(object, path, "northing", point.northing, true);
    Coordinate(object, path, "height", point.height, true);
    return point;
  }

  Scene Read(const json& root) {
    Scene scene;
    Object(root, "",
           {"station", "prisms", "noise", "telescope", "atr", "edm",
            "atmosphere", "battery", "clock", "instrument", "files",
            "instrument_errors", "time_scale"});
    ReadStation(*Member(root, "", "station", true), scene.station);
    ReadPrisms(*Member(root, "", "prisms", true), scene.prisms);
    if (const json* noise = Member(root, "", "noise", false)) {
      Object(*noise, "noise", {"angle", "distance"});
      Number(*noise, "noise", "angle", scene.noise.angle, 0, kMaxAngleNoise);
      Number(*noise, "noise", "distance", scene.noise.distance, 0,
             kMaxDistanceNoise);
    }
    if (const json* telescope = Member(root, "", "telescope", false)) {
      ReadTelescope(*telescope, scene.telescope);
    }
    if (const json* atr = Member(root, "", "atr", false)) {
      Object(*atr, "atr", {"field_of_view", "range"});
      Number(*atr, "atr", "field_of_view", scene.atr.fieldOfView, 0, kPi / 2,
             false);
      Number(*atr, "atr", "range", scene.atr.range, 0, kMaxRange, false);
    }
    if (const json* edm = Member(root, "", "edm", false)) ReadEdm(*edm, scene);
    if (const json* atmosphere = Member(root, "", "atmosphere", false)) {
      ReadAtmosphere(*atmosphere, scene.atmosphere);
    }
    if (const json* battery = Member(root, "", "battery", false)) {
      ReadBattery(*battery, scene.battery);
    }
    if (const json* clock = Member(root, "", "clock", false)) {
      Object(*clock, "clock", {"start"});
      DateTime(*clock, "clock", "start", scene.clockStart);
    }
    if (const json* instrument = Member(root, "", "instrument", false)) {
      ReadInstrument(*instrument, scene.instrument);
    }
    if (const json* files = Member(root, "", "files", false)) {
      ReadFiles(*files, scene.files);
    }
    if (const json* errors = Member(root, "", "instrument_errors", false)) {
      const std::string path = "instrument_errors";
      Object(*errors, path, {"collimation", "vertical_index"});
      Number(*errors, path, "collimation", scene.instrumentErrors.collimation,
             -kMaxInstrumentError, kMaxInstrumentError);
      Number(*errors, path, "vertical_index",
             scene.instrumentErrors.verticalIndex, -kMaxInstrumentError,
             kMaxInstrumentError);
    }
    Number(root, "", "time_scale", scene.timeScale, 0, kMaxTimeScale, false);
    return scene;
  }

 private:
  void ReadStation(const json& value, Station& station) {
    const std::string path = "station";
    Object(value, path,
           {"id", "easting", "northing", "height", "instrument_height",
            "orientation"});
    Text(value, path, "id", station.id);
    Coordinate(value, path, "easting", station.easting, true);
    Coordinate(value, path, "northing", station.northing, true);
    Coordinate(value, path, "height", station.height, true);
    Number(value, path, "instrument_height", station.instrumentHeight, -100,
           100);
    Number(value, path, "orientation", station.orientation, -2 * kPi, 2 * kPi);
  }

  void ReadPrisms(const json& value, std::vector<Prism>& prisms) {
    if (!value.is_array()) Fail("prisms", "must be an array");
    std::set<std::string> ids;
    for (std::size_t i = 0; i < value.size(); ++i) {
      const std::string path = "prisms[" + std::to_string(i) + "]";
      const json& object = value[i];
      Prism prism;
      prism.position = ReadPoint(object, path,
                                 {"id", "easting", "northing", "height", "path",
                                  "drift", "hidden", "hidden_probability"});
      Text(object, path, "id", prism.id, true);
      if (prism.id.empty() || !ids.insert(prism.id).second) {
        Fail(Join(path, "id"), "must be a name no other prism has");
      }
      if (const json* route = Member(object, path, "path", false)) {
        ReadPath(*route, Join(path, "path"), prism.path);
      }
      if (const json* drift = Member(object, path, "drift", false)) {
        const std::string at = Join(path, "drift");
        Object(*drift, at, {"easting", "northing", "height"});
        Number(*drift, at, "easting", prism.drift.easting, -kMaxDrift,
               kMaxDrift);
        Number(*drift, at, "northing", prism.drift.northing, -kMaxDrift,
               kMaxDrift);
        Number(*drift, at, "height", prism.drift.height, -kMaxDrift, kMaxDrift);
      }
      if (const json* hidden = Member(object, path, "hidden", false)) {
        ReadHidden(*hidden, Join(path, "hidden"), prism.hidden);
      }
      Number(object, path, "hidden_probability", prism.hiddenProbability, 0, 1);
      prisms.push_back(std::move(prism));
    }
  }

  void ReadHidden(const json& value, const std::string& path,
                  std::vector<HiddenWindow>& windows) {
    if (!value.is_array()) Fail(path, "must be an array of windows");
    for (std::size_t i = 0; i < value.size(); ++i) {
      const std::string at = path + "[" + std::to_string(i) + "]";
      const json& object = Object(value[i], at, {"from", "to"});
      HiddenWindow window;
      Member(object, at, "from", true);
      Member(object, at, "to", true);
      Number(object, at, "from", window.from, 0, kMaxTimeScale);
      Number(object, at, "to", window.to, 0, kMaxTimeScale);
      if (window.to <= window.from) Fail(Join(at, "to"), "must be after from");
      windows.push_back(window);
    }
  }

  void ReadPath(const json& value, const std::string& path, Path& route) {
    Object(value, path, {"points", "speed", "loop"});
    const json* points = Member(value, path, "points", true);
    if (!points->is_array() || points->empty()) {
      Fail(Join(path, "points"), "must be an array of at least one point");
    }
    for (std::size_t i = 0; i < points->size(); ++i) {
      route.points.push_back(ReadPoint(
          (*points)[i], Join(path, "points") + "[" + std::to_string(i) + "]",
          {"easting", "northing", "height"}));
    }
    Member(value, path, "speed", true);
    Number(value, path, "speed", route.speed, 0, kMaxPrismSpeed, false);
    Bool(value, path, "loop", route.loop);
  }

  void ReadTelescope(const json& value, TelescopeSettings& telescope) {
    const std::string path = "telescope";
    Object(value, path, {"max_speed", "hz", "v"});
    Number(value, path, "max_speed", telescope.maxSpeed, kMinTurnSpeed,
           kMaxTurnSpeed);
    Number(value, path, "hz", telescope.hz, 0, 2 * kPi);
    Number(value, path, "v", telescope.v, 0, 2 * kPi);
  }

  void ReadEdm(const json& value, Scene& scene) {
    const std::string path = "edm";
    EdmSettings& edm = scene.edm;
    Object(
        value, path,
        {"beam_divergence", "range", "measure_time", "ppm", "prism_constant"});
    Number(value, path, "beam_divergence", edm.beamDivergence, 0, kPi / 2,
           false);
    Number(value, path, "range", edm.range, 0, kMaxRange, false);
    Number(value, path, "measure_time", edm.measureTime, 0, 3600);
    Number(value, path, "ppm", edm.ppm, -1000, 1000);
    Number(value, path, "prism_constant", edm.prismConstant, -1, 1);
  }

  void ReadAtmosphere(const json& value, Atmosphere& atmosphere) {
    const std::string path = "atmosphere";
    Object(value, path,
           {"lambda", "pressure", "dry_temperature", "wet_temperature"});
    Number(value, path, "lambda", atmosphere.lambda, 1e-7, 1e-5);
    Number(value, path, "pressure", atmosphere.pressure, 0, 2000);
    Number(value, path, "dry_temperature", atmosphere.dryTemperature, -100,
           100);
    Number(value, path, "wet_temperature", atmosphere.wetTemperature, -100,
           100);
  }

  void ReadBattery(const json& value, BatterySettings& battery) {
    const std::string path = "battery";
    Object(value, path,
           {"level", "drain_per_request", "drain_per_hour", "external"});
    Number(value, path, "level", battery.level, 0, 100);
    Number(value, path, "drain_per_request", battery.drainPerRequest, 0, 100);
    Number(value, path, "drain_per_hour", battery.drainPerHour, 0, 360000);
    Bool(value, path, "external", battery.external);
  }

  void ReadInstrument(const json& value, InstrumentInfo& info) {
    const std::string path = "instrument";
    Object(
        value, path,
        {"name", "serial_number", "software", "device_class", "device_type"});
    Text(value, path, "name", info.name);
    Int(value, path, "serial_number", info.serialNumber,
        std::numeric_limits<std::int32_t>::min(),
        std::numeric_limits<std::int32_t>::max());
    if (const json* software = Member(value, path, "software", false)) {
      const std::string at = Join(path, "software");
      Object(*software, at, {"release", "version", "subversion"});
      Int(*software, at, "release", info.release, 0, 65535);
      Int(*software, at, "version", info.version, 0, 65535);
      Int(*software, at, "subversion", info.subversion, 0, 65535);
    }
    // The ranges the core's decoder accepts.
    Int(value, path, "device_class", info.deviceClass, 0, 509);
    if (info.deviceClass > 301 && info.deviceClass < 500) {
      Fail(Join(path, "device_class"), "must be from 0 to 301 or 500 to 509");
    }
    Int(value, path, "device_type", info.deviceType, 0, 32767);
  }

  void ReadFiles(const json& value, std::vector<StoredFile>& files) {
    if (!value.is_array()) Fail("files", "must be an array");
    for (std::size_t i = 0; i < value.size(); ++i) {
      const std::string path = "files[" + std::to_string(i) + "]";
      const json& object = Object(
          value[i], path, {"name", "size", "modified", "device", "type"});
      StoredFile file;
      Text(object, path, "name", file.name, true);
      if (file.name.empty()) Fail(Join(path, "name"), "must not be empty");
      Int(object, path, "size", file.size, 0,
          std::numeric_limits<std::uint32_t>::max());
      DateTime(object, path, "modified", file.modified);
      std::string device = "internal";
      Text(object, path, "device", device);
      if (device != "internal" && device != "card") {
        Fail(Join(path, "device"), "must be \"internal\" or \"card\"");
      }
      file.device = device == "card" ? FTR_DEVICE_CARD : FTR_DEVICE_INTERNAL;
      std::int32_t type = FTR_FILE_UNKNOWN;
      Int(object, path, "type", type, 0,
          std::numeric_limits<std::int32_t>::max());
      file.type = static_cast<FTR_FILETYPE>(type);
      files.push_back(std::move(file));
    }
  }
};

}  // namespace

host::Result<Scene> ParseScene(std::string_view text, const std::string& name) {
  try {
    const json root = host::json_text::ParseDocument(
        text, name, kMaxSceneBytes, kMaxSceneDepth, {"scene", "field"});
    return SceneReader(name, text).Read(root);
  } catch (const host::json_text::CheckedJsonError& error) {
    return host::Error(host::ErrorKind::kInvalidArgument, error.what());
  }
}

host::Result<host::Done> CheckPoint(const Point& point,
                                    const std::string& what) {
  for (const double coordinate :
       {point.easting, point.northing, point.height}) {
    if (!(std::abs(coordinate) <= kCoordinateLimit)) {
      return host::Error(
          host::ErrorKind::kInvalidArgument,
          what + " must have coordinates from -" +
              std::to_string(static_cast<long>(kCoordinateLimit)) + " to " +
              std::to_string(static_cast<long>(kCoordinateLimit)));
    }
  }
  return host::Done{};
}

host::Result<Scene> LoadScene(const std::string& path) {
  std::string text;
  try {
    text = host::json_text::ReadBoundedFile(path, kMaxSceneBytes,
                                            {"scene", "field"});
  } catch (const host::json_text::CheckedJsonError& error) {
    return host::Error(error.unreadable() ? host::ErrorKind::kIo
                                          : host::ErrorKind::kInvalidArgument,
                       error.what());
  }
  return ParseScene(text, path);
}

Scene DefaultScene() {
  static const Scene scene =
      ParseScene(kDefaultSceneJson, "default scene").value();
  return scene;
}

}  // namespace Core::GEOCOM::simulator
