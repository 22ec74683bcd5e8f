// A scene that is not right is refused with the file, the line and the
// field that is wrong.
#include <DazoZazIdoRezeraro/simulator/Scene.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;

struct Malformed {
  const char* name;
  const char* json;
  const char* message;
};

const Malformed kMalformed[] = {
    {"NotJson", "{\n  \"station\": {\"easting\": 1,,\n}",
     "scene.json:2: not valid JSON"},
    {"WrongType",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0},\n"
     " \"prisms\": [\n"
     "  {\"id\": \"A\", \"easting\": 1, \"northing\": 1, \"height\": 1},\n"
     "  {\"id\": \"B\", \"easting\": 1, \"northing\": 1,\n"
     "   \"height\": \"high\"}]}",
     "scene.json:5: prisms[1].height must be a number from -1e+07 to 1e+07"},
    {"MissingField",
     "{\"prisms\": [],\n \"station\": {\n  \"easting\": 0, \"height\": 0}}",
     "scene.json:2: station.northing is required"},
    {"UnknownField",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0},\n"
     " \"prisms\": [], \"noise\": {\n \"angel\": 0.1}}",
     "scene.json:3: noise.angel is not a field of the scene"},
    {"OutOfRange",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0},\n"
     " \"prisms\": [],\n \"telescope\": {\"max_speed\": 1e-12}}",
     "scene.json:3: telescope.max_speed must be a number from 0.01 to 100"},
    {"NoiseThatBreaksReplies",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0},\n"
     " \"prisms\": [],\n \"noise\": {\"angle\": 1e308}}",
     "scene.json:3: noise.angle must be a number from 0 to 0.1"},
    {"CoordinateBeyondTheGrid",
     "{\"station\": {\"easting\": 0, \"northing\": 1e300, \"height\": 0},\n"
     " \"prisms\": []}",
     "scene.json:1: station.northing must be a number from -1e+07"},
    {"NumberTooLargeForADouble",
     "{\"station\": {\"easting\": 0, \"northing\": 0,\n \"height\": 1e999}}",
     "scene.json:2: not valid JSON"},
    {"ExclusiveMinimum",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0},\n"
     " \"prisms\": [], \"atr\": {\n\"range\": 0}}",
     "scene.json:3: atr.range must be a number above 0 to 1e+06"},
    {"Orientation",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0,\n"
     " \"orientation\": 7}, \"prisms\": []}",
     "scene.json:2: station.orientation must be a number from -6.28319"},
    {"PathSpeed",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0},\n"
     " \"prisms\": [{\"id\": \"A\", \"easting\": 1, \"northing\": 1, "
     "\"height\": 1,\n \"path\": {\"points\": [{\"easting\": 2, "
     "\"northing\": 1, \"height\": 1}],\n\"speed\": 5000}}]}",
     "scene.json:4: prisms[0].path.speed must be a number above 0 to 1000"},
    {"MissingPathSpeed",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0},\n"
     " \"prisms\": [{\"id\": \"A\", \"easting\": 1, \"northing\": 1, "
     "\"height\": 1,\n \"path\": {\"points\": [{\"easting\": 2, "
     "\"northing\": 1, \"height\": 1}]}}]}",
     "scene.json:3: prisms[0].path.speed is required"},
    {"DateThatDoesNotExist",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0},\n"
     " \"prisms\": [],\n\n \"clock\": {\"start\": \"2024-02-30T00:00:00\"}}",
     "scene.json:4: clock.start must be a date and time that exists"},
    {"SameIdTwice",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0},\n"
     " \"prisms\": [{\"id\": \"A\", \"easting\": 1, \"northing\": 1, "
     "\"height\": 1},\n"
     "  {\"id\": \"A\", \"easting\": 2, \"northing\": 1, \"height\": 1}]}",
     "scene.json:3: prisms[1].id must be a name no other prism has"},
};

struct Accepted {
  const char* name;
  const char* fields;  // added to a scene with a station and no prisms
};

// The edges of each range, which must load.
const Accepted kAccepted[] = {
    {"LowestClassAbove", "\"instrument\": {\"device_class\": 500}"},
    {"HighestClass", "\"instrument\": {\"device_class\": 509}"},
    {"HighestClassBelow", "\"instrument\": {\"device_class\": 301}"},
    {"SlowestTurn", "\"telescope\": {\"max_speed\": 0.01}"},
    {"NoiseAtItsLimit", "\"noise\": {\"angle\": 0.1, \"distance\": 100}"},
    {"FullBattery", "\"battery\": {\"level\": 100}"},
    {"EmptyFile", "\"files\": [{\"name\": \"empty.txt\", \"size\": 0}]"},
};

class AcceptedScenes : public testing::TestWithParam<Accepted> {};

// Catches a valid value refused, e.g. a device class of the upper range.
TEST_P(AcceptedScenes, Load) {
  const std::string text =
      "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0}, "
      "\"prisms\": [], " +
      std::string(GetParam().fields) + "}";
  const host::Result<Scene> scene = ParseScene(text, "edge.json");
  EXPECT_TRUE(scene) << scene.error().message;
}

INSTANTIATE_TEST_SUITE_P(Edges, AcceptedScenes, testing::ValuesIn(kAccepted),
                         [](const auto& test) { return test.param.name; });

// A text nested this deep reached gigabytes when every value's path was
// kept; now it is refused before anything is built.
std::string Nested(std::size_t depth) {
  return "{\"station\":\n" + std::string(depth, '[') + std::string(depth, ']') +
         "}";
}

class Scenes : public testing::TestWithParam<Malformed> {};

// Catches a message that names the wrong line (or none), a wrong type or
// a typo taken silently, and a crash on bad input.
TEST_P(Scenes, RefusedNamingFileLineAndField) {
  const host::Result<Scene> scene = ParseScene(GetParam().json, "scene.json");
  ASSERT_FALSE(scene);
  EXPECT_EQ(scene.error().kind, host::ErrorKind::kInvalidArgument);
  EXPECT_EQ(scene.error().message.rfind(GetParam().message, 0), 0u)
      << scene.error().message;
}

// Catches a depth cap that is missing or checked only after the document
// is built (memory then grows with the square of the depth).
TEST(SceneLimits, DeepNestingRefusedNamingTheLine) {
  const host::Result<Scene> scene = ParseScene(Nested(100000), "deep.json");
  ASSERT_FALSE(scene);
  EXPECT_EQ(scene.error().message,
            "deep.json:2: values are nested more than 32 deep");
  EXPECT_TRUE(ParseScene(Nested(kMaxSceneDepth - 1), "d.json")
                  .error()
                  .message.find("station must be an object") !=
              std::string::npos);
}

// Catches a loader quadratic in the number of values (a line counted from
// the start for each): 100 000 prisms then take minutes, past the test's
// time-out.
TEST(SceneLimits, HundredThousandPrismsLoad) {
  std::string text =
      "{\"station\": {\"easting\": 0, \"northing\": 0, "
      "\"height\": 0}, \"prisms\": [\n";
  for (int i = 0; i < 100000; ++i) {
    text += std::string(i == 0 ? "" : ",\n") + "{\"id\": \"P" +
            std::to_string(i) + "\", \"easting\": " + std::to_string(i) +
            ", \"northing\": 1, \"height\": 2}";
  }
  const host::Result<Scene> scene = ParseScene(text + "]}", "many.json");
  ASSERT_TRUE(scene) << scene.error().message;
  EXPECT_EQ(scene->prisms.size(), 100000u);
  EXPECT_EQ(scene->prisms.back().position.easting, 99999);
  // The last prism's line is still found when it is wrong.
  EXPECT_EQ(ParseScene(text + ", 5]}", "many.json").error().message,
            "many.json:100001: prisms[100000] must be an object");
}

// Catches a file read whole before its size is checked: /dev/zero never
// ends and a regular file beyond the cap is refused unread.
TEST(SceneLimits, OversizedInputRefusedAtOnce) {
  const host::Result<Scene> zero = LoadScene("/dev/zero");
  ASSERT_FALSE(zero);
  EXPECT_EQ(zero.error().message,
            "/dev/zero:1: the scene is larger than 67108864 bytes");
  const std::string big = testing::TempDir() + "big-scene.json";
  std::filesystem::resize_file((std::ofstream(big), big), kMaxSceneBytes + 1);
  EXPECT_EQ(LoadScene(big).error().kind, host::ErrorKind::kInvalidArgument);
  std::filesystem::remove(big);
  EXPECT_FALSE(ParseScene(std::string(kMaxSceneBytes + 1, ' '), "s.json"));
}

// The process's peak resident memory in bytes, from /proc.
std::size_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::stoul(line.substr(6)) * 1024;
    }
  }
  return 0;
}

// Catches a loader that sets aside room for the largest scene whatever the
// file holds: the peak, reset to the present use, may rise by little.
TEST(SceneLimits, SmallSceneCostsWhatItHolds) {
  const std::string path = testing::TempDir() + "small-scene.json";
  std::ofstream(path)
      << R"({"station": {"easting": 0, "northing": 0, "height": 0},)"
      << R"( "prisms": [{"id": "A", "easting": 10, "northing": 20,)"
      << R"( "height": 1}, {"id": "B", "easting": -5, "northing": 7,)"
      << R"( "height": 2}]})";
  std::ofstream resetPeak("/proc/self/clear_refs");
  resetPeak << "5" << std::flush;
  ASSERT_TRUE(resetPeak.good()) << "cannot reset the peak";
  const std::size_t before = PeakResidentBytes();
  const host::Result<Scene> scene = LoadScene(path);
  const std::size_t after = PeakResidentBytes();
  std::filesystem::remove(path);
  ASSERT_TRUE(scene) << scene.error().message;
  EXPECT_EQ(scene->prisms.size(), 2u);
  EXPECT_LT(after - before, std::size_t{10} << 20);
}

// Catches the range checks of a point moved while the instrument runs
// differing from those of a file.
TEST(SceneLimits, MovedPointCheckedAsInAFile) {
  EXPECT_TRUE(CheckPoint({kCoordinateLimit, -kCoordinateLimit, 0}, "P1"));
  for (const double bad : {std::nan(""), HUGE_VAL, 1.0000001e7}) {
    EXPECT_EQ(CheckPoint({0, 0, bad}, "prism P1").error().message,
              "prism P1 must have coordinates from -10000000 to 10000000");
    EXPECT_FALSE(CheckPoint({bad, 0, 0}, "P1"));
    EXPECT_FALSE(CheckPoint({0, -bad, 0}, "P1"));
  }
}

INSTANTIATE_TEST_SUITE_P(Malformed, Scenes, testing::ValuesIn(kMalformed),
                         [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace simtest
