// A scene that is not right is refused with the file, the line and the
// field that is wrong.
#include <DazoZazIdoRezeraro/simulator/Scene.h>

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
     "scene.json:5: prisms[1].height must be a finite number"},
    {"MissingField",
     "{\"prisms\": [],\n \"station\": {\n  \"easting\": 0, \"height\": 0}}",
     "scene.json:2: station.northing is required"},
    {"UnknownField",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0},\n"
     " \"prisms\": [], \"noise\": {\n \"angel\": 0.1}}",
     "scene.json:3: noise.angel is not a field of the scene"},
    {"OutOfRange",
     "{\"station\": {\"easting\": 0, \"northing\": 0, \"height\": 0},\n"
     " \"prisms\": [],\n \"telescope\": {\"max_speed\": 0}}",
     "scene.json:3: telescope.max_speed must be more than 0"},
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

INSTANTIATE_TEST_SUITE_P(Malformed, Scenes, testing::ValuesIn(kMalformed),
                         [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace simtest
