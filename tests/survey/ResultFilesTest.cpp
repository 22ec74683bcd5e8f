// Times in and out, and the CSV and GeoJSON a store is exported as.
#include <DazoZazIdoRezeraro/survey/ResultFiles.h>
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <sstream>

#include "ScratchDatabase.h"

namespace {

using namespace Core::GEOCOM::survey;
using std::chrono::microseconds;
using std::chrono::seconds;

TEST(Times, ReadAndWriteAsIso8601Utc) {
  struct Case {
    const char* text;
    std::int64_t micros;  // since 1970; -1: refused
  };
  const Case cases[] = {
      {"2026-03-15T10:30:00.250000Z", 1773570600250000},
      {"2026-03-15T10:30:00Z", 1773570600000000},
      {"2026-03-15T10:30:00", 1773570600000000},
      {"2026-03-15T10:30:00.5Z", 1773570600500000},
      {"2026-03-15", 1773532800000000},
      {"1970-01-01T00:00:00.000001Z", 1},
      {"2026-03-15T10:30", -1},
      {"2026-3-15", -1},
      {"2026-13-01", -1},
      {"2026-03-15T24:00:00Z", -1},
      {"2026-03-15T10:30:00+01:00", -1},
      {"2026-03-15T10:30:00.Z", -1},
      {"yesterday", -1},
      {"", -1},
  };
  for (const Case& c : cases) {
    const std::optional<TimePoint> time = ParseTime(c.text);
    if (c.micros < 0) {
      EXPECT_FALSE(time) << c.text;
      continue;
    }
    ASSERT_TRUE(time) << c.text;
    EXPECT_EQ(std::chrono::duration_cast<microseconds>(time->time_since_epoch())
                  .count(),
              c.micros)
        << c.text;
    EXPECT_EQ(ParseTime(FormatTime(*time)), time) << c.text;
  }
  EXPECT_EQ(FormatTime(TimePoint(microseconds(1773570600250000))),
            "2026-03-15T10:30:00.250000Z");
}

TEST(Exports, CsvAndGeoJsonCarryARowPerResult) {
  const surveytest::ScratchDatabase database("survey-export");
  const std::string& path = database.path();
  {
    auto store = OpenSqliteStore(path);
    const std::int64_t round = store->BeginRound({"j", "i", {}});
    TargetResult measured;
    measured.round = round;
    measured.target = "P,1";
    measured.time = TimePoint(seconds(1773570600));
    measured.faces = 2;
    measured.sets = 1;
    measured.hz = 0.5;
    measured.v = 1.5;
    measured.distance = 10.25;
    measured.coordinates = Coordinates{1.5, 2.25, -3};
    store->RecordTarget(measured);
    TargetResult hidden;
    hidden.round = round;
    hidden.target = "Q";
    hidden.time = TimePoint(seconds(1773570601));
    hidden.outcome = Outcome::kNotFound;
    hidden.hz = hidden.v = hidden.distance = std::nan("");
    hidden.message = "no prism, \"really\"";
    store->RecordTarget(hidden);
  }
  auto store = OpenSqliteStore(path, StoreMode::kReadOnly);
  std::ostringstream csv;
  EXPECT_EQ(WriteCsv(*store, {}, csv), 2u);
  const std::string header =
      "round,target,time,outcome,easting,northing,height,faces,sets,hz,v,"
      "distance,collimation,vertical_index,hz_spread,v_spread,"
      "distance_spread,flagged_sets,return_code,message,d_east,d_north,"
      "d_height\r\n";
  EXPECT_EQ(csv.str(),
            header +
                "1,\"P,1\",2026-03-15T10:30:00.000000Z,measured,1.5,2.25,-3,"
                "2,1,0.5,1.5,10.25,0,0,0,0,0,,0,,,,\r\n"
                "1,Q,2026-03-15T10:30:01.000000Z,not-found,,,,0,0,,,,0,0,0,0,"
                "0,,0,\"no prism, \"\"really\"\"\",,,\r\n");

  std::ostringstream geojson;
  EXPECT_EQ(WriteGeoJson(*store, {std::string("Q"), {}, {}, false}, geojson),
            1u);
  const std::string text = geojson.str();
  EXPECT_EQ(text.rfind("{\"type\": \"FeatureCollection\", \"features\": [", 0),
            0u);
  EXPECT_NE(text.find("\"geometry\":null"), std::string::npos) << text;
  EXPECT_NE(text.find("\"outcome\":\"not-found\""), std::string::npos);
  EXPECT_NE(text.find("\"easting\":null"), std::string::npos);
  EXPECT_NE(text.find("\"round\":1"), std::string::npos);
  EXPECT_EQ(text.find("P,1"), std::string::npos);

  std::ostringstream point;
  WriteGeoJson(*store, {std::string("P,1"), {}, {}, false}, point);
  EXPECT_NE(point.str().find("\"coordinates\":[1.5,2.25,-3.0]"),
            std::string::npos)
      << point.str();
}

}  // namespace
