#ifndef DAZOZAZIDOREZERARO_SIMULATOR_SCENE_H
#define DAZOZAZIDOREZERARO_SIMULATOR_SCENE_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/Result.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Export.h"

/// @file
/// What a virtual instrument sees and is: the station it stands on, the
/// prisms around it, how it turns, measures and drains its battery, its
/// clock, its name and its files. Metres, radians, seconds; docs/scene.md
/// describes the JSON form field by field.

namespace Core::GEOCOM::simulator {

/// A point in grid coordinates.
struct Point {
  double easting = 0;   ///< Metres east.
  double northing = 0;  ///< Metres north.
  double height = 0;    ///< Metres up.
};

/// Where the instrument stands and how its horizontal circle is oriented.
struct Station {
  std::string id = "STN1";      ///< The name the station-id call reads.
  double easting = 0;           ///< Metres east.
  double northing = 0;          ///< Metres north.
  double height = 0;            ///< Height of the ground mark, metres.
  double instrumentHeight = 0;  ///< Tilting axis above the mark, metres.
  /// The grid bearing of horizontal angle 0, radians clockwise from north.
  double orientation = 0;
};

/// A path a prism walks along from its own position, at constant speed.
struct Path {
  std::vector<Point> points;  ///< The corners after the prism's position.
  double speed = 0;           ///< Metres per second along the path.
  /// Back to the prism's position and round again; otherwise the prism
  /// stops at the last point.
  bool loop = false;
};

/// A time during which a prism cannot be seen (a truck parked in front).
struct HiddenWindow {
  double from = 0;  ///< Seconds since the instrument started.
  double to = 0;    ///< Seconds since the instrument started, after from.
};

/// How long one draw of a prism's hidden_probability holds, seconds: a
/// prism hidden at one look stays hidden while a host measures it.
inline constexpr double kHiddenDrawSeconds = 5;

/// A reflector the instrument can aim at and measure to.
struct Prism {
  std::string id;  ///< Its name, unique in the scene.
  Point position;  ///< Where it is at the instrument's start.
  Path path;       ///< How it moves; no points means it stands still.
  /// Slow movement on top of the path, metres per day of scene time (see
  /// Scene::timeScale): a slope creeping, a wall leaning.
  Point drift;
  std::vector<HiddenWindow> hidden;  ///< When it cannot be seen.
  /// The chance that it cannot be seen, drawn afresh every
  /// kHiddenDrawSeconds.
  double hiddenProbability = 0;
};

/// How the instrument's circles misread the line of sight: face I and face
/// II readings differ by these, and their mean does not.
struct InstrumentErrors {
  /// The line of sight's departure from square to the tilting axis,
  /// radians: hz reads c / sin(v) too much in face I, too little in face II.
  double collimation = 0;
  /// The zenith angle reads this much too much in either face, radians.
  double verticalIndex = 0;
};

/// Standard deviations of the Gaussian noise added to measurements.
struct Noise {
  double angle = 0;     ///< Radians, added to each measured angle.
  double distance = 0;  ///< Metres, added to each measured distance.
};

/// How the telescope turns and where it points at the start.
struct TelescopeSettings {
  /// The turning speed of each axis, radians per second.
  double maxSpeed = 1.5707963267948966;
  double hz = 0;                  ///< Horizontal angle at the start.
  double v = 1.5707963267948966;  ///< Zenith angle at the start.
};

/// Automatic target recognition: fine adjustment, search and lock-in.
struct AtrSettings {
  /// The full opening angle of the field of view, radians: a prism within
  /// half of it from the line of sight is seen.
  double fieldOfView = 0.0262;
  double range = 1000;  ///< The farthest prism it sees, metres.
};

/// The distance meter.
struct EdmSettings {
  /// How far from the line of sight a prism may lie and still return the
  /// beam, radians.
  double beamDivergence = 0.0005;
  double range = 3000;       ///< The farthest prism it measures, metres.
  double measureTime = 0;    ///< Seconds a distance measurement takes.
  double ppm = 0;            ///< Scale correction it reports, ppm.
  double prismConstant = 0;  ///< Prism constant it reports, metres.
};

/// The atmospheric values the instrument reports.
struct Atmosphere {
  double lambda = 6.58e-07;    ///< Carrier wavelength, metres.
  double pressure = 1013.25;   ///< Air pressure, hPa.
  double dryTemperature = 20;  ///< Dry-bulb temperature, degrees Celsius.
  double wetTemperature = 14;  ///< Wet-bulb temperature, degrees Celsius.
};

/// The battery and how it drains.
struct BatterySettings {
  double level = 100;             ///< Percent at the start.
  double drainPerRequest = 0.01;  ///< Percent each request takes.
  double drainPerHour = 5;        ///< Percent an hour of running takes.
  bool external = false;          ///< Powered from an external supply.
};

/// What the instrument says it is.
struct InstrumentInfo {
  std::string name = "SIMULATED-TS";   ///< The instrument name.
  std::int32_t serialNumber = 412237;  ///< The serial number.
  unsigned short release = 3;          ///< Firmware release.
  unsigned short version = 2;          ///< Firmware version.
  unsigned short subversion = 7;       ///< Firmware subversion.
  unsigned short deviceClass = 12;     ///< Device class.
  unsigned short deviceType = 13;      ///< Device type.
};

/// A file in the instrument's memory.
struct StoredFile {
  std::string name;                             ///< File name.
  std::uint32_t size = 0;                       ///< Bytes.
  DATIME modified{2024, 1, 1, 0, 0, 0};         ///< Last modification.
  FTR_DEVICETYPE device = FTR_DEVICE_INTERNAL;  ///< Where it is stored.
  FTR_FILETYPE type = FTR_FILE_UNKNOWN;         ///< Its kind.
};

/// Everything a virtual instrument is made of.
struct Scene {
  Station station;              ///< Where the instrument stands.
  std::vector<Prism> prisms;    ///< The reflectors around it.
  Noise noise;                  ///< Measurement noise.
  TelescopeSettings telescope;  ///< Turning speed and start direction.
  AtrSettings atr;              ///< Target recognition.
  EdmSettings edm;              ///< Distance meter.
  Atmosphere atmosphere;        ///< Reported atmospheric values.
  BatterySettings battery;      ///< Battery.
  DATIME clockStart{2024, 3, 15, 10, 30, 0};  ///< The clock at the start.
  InstrumentInfo instrument;                  ///< Name, numbers and versions.
  std::vector<StoredFile> files;              ///< Files in memory.
  InstrumentErrors instrumentErrors;          ///< Collimation and index.
  /// Scene seconds per second of the instrument's clock, for drift only:
  /// 604800 runs a week of drift in a second.
  double timeScale = 1;
};

/// The largest scene text ParseScene and LoadScene read, bytes.
inline constexpr std::size_t kMaxSceneBytes = 64u << 20;
/// How deep a scene's values may be nested; a scene needs 5.
inline constexpr std::size_t kMaxSceneDepth = 32;
/// The largest coordinate a scene holds, metres either way.
inline constexpr double kCoordinateLimit = 1e7;

/// The scene used when none is given: examples/scenes/default.json.
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT Scene DefaultScene();

/// Reads a scene from its JSON text; name is what messages call the text
/// (a file name). Fails with kInvalidArgument naming the place, the line
/// and the field: "site.json:7: prisms[1].height must be a number".
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT host::Result<Scene> ParseScene(
    std::string_view json, const std::string& name);

/// Fails with kInvalidArgument, its message starting with what, unless
/// every coordinate of the point is within kCoordinateLimit: the check a
/// prism moved while the instrument runs passes, as one read from a file.
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT host::Result<host::Done> CheckPoint(
    const Point& point, const std::string& what);

/// Reads a scene from a JSON file, at most kMaxSceneBytes; fails as ParseScene
/// does, or with kIo naming the file when it cannot be read.
DAZOZAZIDOREZERARO_SIMULATOR_EXPORT host::Result<Scene> LoadScene(
    const std::string& path);

}  // namespace Core::GEOCOM::simulator

#endif
