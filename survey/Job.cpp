#include <DazoZazIdoRezeraro/survey/Job.h>

#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <set>

#include <DazoZazIdoRezeraro/survey/Reduction.h>

#include "CheckedJson.h"

namespace Core::GEOCOM::survey {
namespace {

using host::json_text::json;

constexpr double kPi = 3.14159265358979323846;
constexpr double kCoordinateLimit = 1e7;
constexpr std::size_t kMaxJobBytes = 16u << 20;
constexpr std::size_t kMaxJobDepth = 32;
const host::json_text::DocumentKind kJob{"job", "key"};

// Reads the keys of a job, each from its path; the first wrong one is
// refused naming the file, the line and the key.
class JobReader : public host::json_text::CheckedJsonReader {
 public:
  JobReader(std::string name, std::string_view text)
      : CheckedJsonReader(std::move(name), text, kJob) {}

  void Coordinate(const json& object, const std::string& path, const char* key,
                  double& value) {
    Number(object, path, key, value, -kCoordinateLimit, kCoordinateLimit, true,
           true);
  }

  void Text(const json& object, const std::string& path, const char* key,
            std::string& value, bool required) {
    std::string text;
    if (!String(object, path, key, text, required)) return;
    if (text.empty()) Fail(Join(path, key), "must be a text that is not empty");
    value = text;
  }

  void Faces(const json& object, const std::string& path, int& faces) {
    const json* member = Member(object, path, "faces", false);
    if (member == nullptr) return;
    if (!member->is_number_integer() || (member->get<std::int64_t>() != 1 &&
                                         member->get<std::int64_t>() != 2)) {
      Fail(Join(path, "faces"), "must be 1 or 2");
    }
    faces = static_cast<int>(member->get<std::int64_t>());
  }

  void ReadTolerances(const json& object, const std::string& path,
                      Tolerances& tolerances) {
    const json* member = Member(object, path, "tolerances", false);
    if (member == nullptr) return;
    const std::string at = Join(path, "tolerances");
    Object(*member, at, {"face", "set_angle", "set_distance"});
    Number(*member, at, "face", tolerances.faceDifference, 0, 0.1, false);
    Number(*member, at, "set_angle", tolerances.setAngle, 0, 0.1, false);
    Number(*member, at, "set_distance", tolerances.setDistance, 0, 1, false);
  }

  // What watches the results: limits, the hook, the reference epoch and
  // the axes displacements are projected on.
  void ReadMonitoring(const json& root, Job& job) {
    if (const json* limits = Member(root, "", "limits", false)) {
      try {
        job.limits = LimitsFromJson(limits->dump());
      } catch (const LimitError& error) {
        const std::string message = error.what();
        const std::size_t cut = message.find(": ");
        Fail(message.substr(0, cut), message.substr(cut + 2));
      }
    }
    if (const json* hook = Member(root, "", "hook", false)) {
      try {
        job.hook = HookFromJson(hook->dump());
      } catch (const HookError& error) {
        Fail("hook", std::string(error.what()).substr(6));
      }
    }
    double seconds = 0;
    if (Number(root, "", "hook_timeout", seconds, 0, 3600, false)) {
      job.hookTimeout = std::chrono::milliseconds(std::llround(seconds * 1000));
    }
    if (const json* round = Member(root, "", "reference_round", false)) {
      if (!round->is_number_integer() || round->get<std::int64_t>() < 1) {
        Fail("reference_round", "must be a round number, 1 or more");
      }
      job.referenceRound = round->get<std::int64_t>();
    }
    Number(root, "", "velocity_window", job.velocityWindow, 0, 3660 * 86400.0,
           false);
    if (const json* axes = Member(root, "", "axes", false)) {
      if (!axes->is_object()) Fail("axes", "must be an object of target ids");
      for (const auto& member : axes->items()) {
        const std::string at = "axes." + member.key();
        Object(member.value(), at, {"bearing", "elevation"});
        Axis axis;
        Number(member.value(), at, "bearing", axis.bearing, -2 * kPi, 2 * kPi,
               true, true);
        Number(member.value(), at, "elevation", axis.elevation, -kPi / 2,
               kPi / 2);
        job.axes[member.key()] = axis;
      }
    }
  }

  Job Read(const json& root, const std::string& fileName) {
    Job job;
    RoundPlan& plan = job.plan;
    Object(root, "",
           {"name",
            "instrument",
            "baud",
            "station",
            "targets",
            "faces",
            "sets",
            "order",
            "tolerances",
            "fine_adjust_range",
            "search",
            "atmosphere",
            "distance_wait",
            "stop_on_instrument_error",
            "store",
            "interval",
            "limits",
            "hook",
            "hook_timeout",
            "reference_round",
            "velocity_window",
            "axes"});
    job.name = std::filesystem::path(fileName).stem().string();
    Text(root, "", "name", job.name, false);
    Text(root, "", "instrument", job.instrument, true);
    double baud = job.baud;
    if (Number(root, "", "baud", baud, 300, 4000000)) {
      job.baud = static_cast<unsigned>(baud);
    }
    Text(root, "", "store", job.store, true);
    double interval = 0;
    if (Number(root, "", "interval", interval, 0, 366 * 86400.0)) {
      job.interval = interval;
    }

    ReadMonitoring(root, job);

    const json& station = *Member(root, "", "station", true);
    Object(
        station, "station",
        {"easting", "northing", "height", "instrument_height", "orientation"});
    Coordinate(station, "station", "easting", plan.station.easting);
    Coordinate(station, "station", "northing", plan.station.northing);
    Coordinate(station, "station", "height", plan.station.height);
    Number(station, "station", "instrument_height",
           plan.station.instrumentHeight, -100, 100);
    Number(station, "station", "orientation", plan.station.orientation,
           -2 * kPi, 2 * kPi);

    int faces = 2;
    Faces(root, "", faces);
    Tolerances tolerances;
    ReadTolerances(root, "", tolerances);
    double sets = 1;
    if (Number(root, "", "sets", sets, 1, 20)) {
      if (sets != std::floor(sets)) Fail("sets", "must be a whole number");
      plan.sets = static_cast<int>(sets);
    }
    if (const json* order = Member(root, "", "order", false)) {
      if (*order == "target-by-target") {
        plan.order = SetOrder::kTargetByTarget;
      } else if (*order == "faces-in-turn") {
        plan.order = SetOrder::kFacesInTurn;
      } else {
        Fail("order", "must be \"target-by-target\" or \"faces-in-turn\"");
      }
    }
    Number(root, "", "fine_adjust_range", plan.fineAdjustRange, 0, 0.5, false);
    if (const json* search = Member(root, "", "search", false)) {
      Object(*search, "search", {"hz_range", "v_range"});
      SearchWindow window;
      Number(*search, "search", "hz_range", window.hzRange, 0, 2 * kPi, false,
             true);
      Number(*search, "search", "v_range", window.vRange, 0, kPi, false, true);
      plan.search = window;
    }
    if (const json* air = Member(root, "", "atmosphere", false)) {
      Object(*air, "atmosphere", {"ppm", "pressure", "temperature"});
      const bool ppm = Number(*air, "atmosphere", "ppm", plan.ppm, -1000, 1000);
      double pressure = 0, temperature = 0;
      const bool measured =
          Number(*air, "atmosphere", "pressure", pressure, 300, 1200);
      const bool warm =
          Number(*air, "atmosphere", "temperature", temperature, -60, 70);
      if (ppm == (measured || warm) || measured != warm) {
        Fail("atmosphere", "must hold either ppm, or pressure and temperature");
      }
      if (measured) plan.ppm = AtmosphericPpm(pressure, temperature);
    }
    double wait = 3;
    if (Number(root, "", "distance_wait", wait, 0, 600)) {
      plan.distanceWait = std::chrono::milliseconds(
          static_cast<std::int64_t>(std::llround(wait * 1000)));
    }
    if (const json* stop =
            Member(root, "", "stop_on_instrument_error", false)) {
      if (!stop->is_boolean()) {
        Fail("stop_on_instrument_error", "must be true or false");
      }
      plan.stopOnInstrumentError = stop->get<bool>();
    }

    const json& targets = *Member(root, "", "targets", true);
    if (!targets.is_array() || targets.empty()) {
      Fail("targets", "must be an array of at least one target");
    }
    std::set<std::string> ids;
    for (std::size_t i = 0; i < targets.size(); ++i) {
      const std::string path = "targets[" + std::to_string(i) + "]";
      const json& object = targets[i];
      Object(object, path,
             {"id", "easting", "northing", "height", "hz", "v",
              "prism_constant", "faces", "tolerances"});
      Target target;
      target.faces = faces;
      target.tolerances = tolerances;
      Text(object, path, "id", target.id, true);
      if (!ids.insert(target.id).second) {
        Fail(Join(path, "id"),
             "\"" + target.id + "\" is the id of an earlier target");
      }
      const bool byCoordinates = object.contains("easting") ||
                                 object.contains("northing") ||
                                 object.contains("height");
      const bool byDirection = object.contains("hz") || object.contains("v");
      if (byCoordinates == byDirection) {
        Fail(path,
             "must have either easting, northing and height, or hz and v");
      }
      if (byCoordinates) {
        Coordinates at;
        Coordinate(object, path, "easting", at.easting);
        Coordinate(object, path, "northing", at.northing);
        Coordinate(object, path, "height", at.height);
        target.coordinates = at;
      } else {
        Direction direction;
        Number(object, path, "hz", direction.hz, 0, 2 * kPi, true, true);
        Number(object, path, "v", direction.v, 0, kPi, true, true);
        target.direction = direction;
      }
      Number(object, path, "prism_constant", target.prismConstant, -1, 1);
      Faces(object, path, target.faces);
      ReadTolerances(object, path, target.tolerances);
      plan.targets.push_back(std::move(target));
    }
    // Limits and axes name targets of this job, not of another one.
    for (std::size_t i = 0; i < job.limits.size(); ++i) {
      for (const std::string& id : job.limits[i].targets) {
        if (ids.count(id) == 0) {
          Fail("limits[" + std::to_string(i) + "].targets",
               "names \"" + id + "\", which is not a target of the job");
        }
      }
    }
    for (const auto& [id, axis] : job.axes) {
      if (ids.count(id) == 0) Fail("axes." + id, "is not a target of the job");
    }
    return job;
  }
};

}  // namespace

Job ParseJob(std::string_view text, const std::string& name) {
  try {
    const json root = host::json_text::ParseDocument(text, name, kMaxJobBytes,
                                                     kMaxJobDepth, kJob);
    return JobReader(name, text).Read(root, name);
  } catch (const host::json_text::CheckedJsonError& error) {
    throw JobError(error.what());
  }
}

Job LoadJob(const std::string& path) {
  try {
    return ParseJob(host::json_text::ReadBoundedFile(path, kMaxJobBytes, kJob),
                    path);
  } catch (const host::json_text::CheckedJsonError& error) {
    throw JobError(error.what());
  }
}

}  // namespace Core::GEOCOM::survey
