// Displacements, events and the report read back from a store.
#include <DazoZazIdoRezeraro/survey/History.h>
#include <DazoZazIdoRezeraro/survey/ResultFiles.h>
#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <sstream>

#include "ScratchDatabase.h"

namespace {

using namespace Core::GEOCOM::survey;

long Occurrences(const std::string& text, const std::string& pattern) {
  const std::regex expression(pattern);
  return std::distance(
      std::sregex_iterator(text.begin(), text.end(), expression),
      std::sregex_iterator());
}

constexpr double kDay = 86400;
constexpr double kStart = 1.7e9;

class History : public testing::Test {
 protected:
  void SetUp() override {
    database_.emplace(
        "history-test-" +
        std::string(
            ::testing::UnitTest::GetInstance()->current_test_info()->name()));
    store_ = OpenSqliteStore(database_->path());
    Target p1, p2;
    p1.id = "P1";
    p2.id = "P2<&>";
    store_->RegisterTargets({p1, p2});
  }
  void TearDown() override {
    store_.reset();
    database_.reset();
  }

  // A round a day: P1 moves 1 mm a day east and 0.5 mm a day down, P2 stays.
  // The first round stops after P1; the P2 of the third is not found.
  void MeasureDays(int days) {
    for (int day = 0; day < days; ++day) {
      const double time = kStart + day * kDay;
      const std::int64_t round =
          store_->BeginRound({"job", "sim", TimeOfSeconds(time)});
      Record(round, "P1", time + 10,
             Coordinates{100 + 0.001 * day, 200, 10 - 0.0005 * day});
      if (day == 0) {
        store_->FinishRound(round, RoundStatus::kIncomplete,
                            TimeOfSeconds(time + 15));
        continue;
      }
      Record(round, "P2<&>", time + 20, Coordinates{150, 260, 12},
             day == 2 ? Outcome::kNotFound : Outcome::kMeasured);
      store_->FinishRound(round, RoundStatus::kComplete,
                          TimeOfSeconds(time + 30));
    }
  }

  void Record(std::int64_t round, const std::string& target, double time,
              Coordinates at, Outcome outcome = Outcome::kMeasured) {
    TargetResult result;
    result.round = round;
    result.target = target;
    result.started = result.time = TimeOfSeconds(time);
    result.outcome = outcome;
    result.faces = 2;
    result.sets = 1;
    if (outcome == Outcome::kMeasured) result.coordinates = at;
    store_->RecordTarget(result);
  }

  std::optional<surveytest::ScratchDatabase> database_;
  std::unique_ptr<Store> store_;
};

TEST_F(History, DisplacementsAreFromTheFirstCompleteRound) {
  MeasureDays(10);
  const auto moved = DisplacementsInStore(*store_, "P1");
  ASSERT_EQ(moved.size(), 10u);
  EXPECT_NEAR(moved[0].east, -0.001, 1e-9);  // Round 1 is before round 2.
  EXPECT_NEAR(moved[1].east, 0, 1e-9);
  EXPECT_NEAR(moved[9].east, 0.008, 1e-9);
  EXPECT_NEAR(moved[9].height, -0.004, 1e-9);
  const auto velocity = VelocityOver(moved, 30 * kDay);
  ASSERT_TRUE(velocity);
  EXPECT_NEAR(velocity->east, 0.001, 1e-7);
  EXPECT_NEAR(velocity->height, -0.0005, 1e-7);

  const auto named = DisplacementsInStore(*store_, "P1", {}, std::int64_t{5});
  EXPECT_NEAR(named[9].east, 0.005, 1e-9);

  const auto ranged = DisplacementsInStore(
      *store_, "P1", {kStart + 3 * kDay, kStart + 5 * kDay + 10});
  ASSERT_EQ(ranged.size(), 3u);
  EXPECT_EQ(ranged.front().round, 4);
  EXPECT_EQ(ranged.back().round, 6);

  // A target not found in a round has no epoch in it.
  const auto still = DisplacementsInStore(*store_, "P2<&>");
  EXPECT_EQ(still.size(), 8u);
  for (const Displacement& d : still) EXPECT_EQ(d.spatial, 0);
  EXPECT_TRUE(DisplacementsInStore(*store_, "P9").empty());
}

TEST_F(History, ExportsCountFromTheReferenceEpoch) {
  MeasureDays(4);
  std::ostringstream csv;
  WriteCsv(*store_, {std::string("P1"), {}, {}, false}, csv);
  std::istringstream lines(csv.str());
  std::string line;
  std::getline(lines, line);
  EXPECT_NE(line.find(",d_east,d_north,d_height\r"), std::string::npos);
  // Round 2 is the first complete one: round 1 is a millimetre west of it.
  const double expected[][3] = {
      {-0.001, 0, 0.0005}, {0, 0, 0}, {0.001, 0, -0.0005}, {0.002, 0, -0.001}};
  for (const auto& row : expected) {
    ASSERT_TRUE(std::getline(lines, line));
    std::size_t cut = line.size();
    for (int column = 0; column < 3; ++column) cut = line.rfind(',', cut - 1);
    std::istringstream tail(line.substr(cut + 1));
    for (double value : row) {
      std::string cell;
      std::getline(tail, cell, ',');
      EXPECT_NEAR(std::stod(cell), value, 1e-9) << line;
    }
  }
}

TEST_F(History, EventsAreKeptAndReadInTimeOrder) {
  MeasureDays(3);
  const Event events[] = {
      {"P1", Level::Warning, Component::East, 0.0051, 0.005, kStart + 100, 2},
      {"P2<&>", Level::Alarm, Component::Velocity, 0.004, 0.003,
       kStart + 200.25, 3},
      {"P1", Level::Clear, Component::East, 0.001, 0.005, kStart + 300, 3},
  };
  for (const Event& event : events) store_->RecordEvent(event);
  std::vector<Event> read;
  store_->ReadEvents({}, [&read](const Event& event) {
    read.push_back(event);
    return true;
  });
  ASSERT_EQ(read.size(), 3u);
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(EventJson(read[i]), EventJson(events[i]));
  }
  std::vector<std::string> levels;
  store_->ReadEvents({std::string("P1"), TimeOfSeconds(kStart + 150)},
                     [&levels](const Event& event) {
                       levels.push_back(NameOf(event.level));
                       return true;
                     });
  EXPECT_EQ(levels, std::vector<std::string>{"clear"});
}

TEST_F(History, TheReportShowsEachTargetItsLimitsAndEvents) {
  MeasureDays(20);
  store_->RecordEvent({"P1", Level::Warning, Component::East, 0.0051, 0.005,
                       kStart + 7 * kDay, 7});
  Limit east;
  east.component = Component::East;
  east.targets = {"P1"};
  east.warning = 0.005;
  east.alarm = 0.015;
  const std::string html = ReportOfStore(*store_, {}, {east});
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(std::regex_search(html, std::regex(R"((src|href)=)")), false);
  EXPECT_NE(html.find("P2&lt;&amp;&gt;"), std::string::npos);
  EXPECT_EQ(html.find("P2<&>"), std::string::npos);
  // Two targets' series, the plan, and the warning and alarm drawn on both
  // sides of the east component of P1 only.
  EXPECT_EQ(Occurrences(html, "class=\"series\""), 2);
  EXPECT_NE(html.find("id=\"plan\""), std::string::npos);
  EXPECT_EQ(Occurrences(html, "stroke-dasharray=\"6 4\""), 4);
  // The last values: P1 18 mm east, 9 mm down of round 2, 1 mm a day.
  EXPECT_NE(html.find("<td class=\"n\">18.0</td><td class=\"n\">0.0</td>"
                      "<td class=\"n\">-9.0</td>"),
            std::string::npos);
  EXPECT_NE(html.find("<td class=\"n\">1.12</td>"), std::string::npos);
  EXPECT_NE(
      html.find(
          "<td>P1</td><td class=\"level\" style=\"color:#e69500\">warning"),
      std::string::npos);
  // Targets 78 m across with 18 mm the largest move: arrows 1000 times
  // their length, a 20 m bar for the ground and a 20 mm one for the arrows.
  EXPECT_NE(html.find(">20 m (plan)<"), std::string::npos);
  EXPECT_NE(html.find(">20.0 mm (arrows, exaggerated 1000×)<"),
            std::string::npos);

  const std::string since = ReportOfStore(
      *store_, {TimeOfSeconds(kStart + 10 * kDay), std::string("P1"), {}}, {});
  EXPECT_EQ(since.find("P2&lt;"), std::string::npos);
  EXPECT_NE(since.find(">10 epochs of 1 targets"), std::string::npos);
  // Still measured from the reference epoch, before the range.
  EXPECT_NE(since.find("<td class=\"n\">18.0</td>"), std::string::npos);
  EXPECT_NE(since.find("No events."), std::string::npos);
}

TEST(Report, AnyNumberOfEpochsKeepsABoundedSeriesWithTheirMean) {
  ReportOptions options;
  options.pointsPerTarget = 50;
  ReportBuilder report({}, options);
  double sum = 0;
  const int count = 100000;
  for (int i = 0; i < count; ++i) {
    const double east = 0.001 * (i % 7);
    sum += east;
    report.Add("P", Epoch{i, kStart + i * 60.0, east, 0, 0, true});
  }
  EXPECT_EQ(report.Epochs(), static_cast<std::size_t>(count));
  const std::string html = report.Html();
  const std::regex polyline("<polyline points=\"([^\"]*)\"");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(html, match, polyline));
  const std::string points = match[1];
  const auto pairs = std::count(points.begin(), points.end(), ',');
  EXPECT_LE(pairs, 100);
  EXPECT_GE(pairs, 50);
  // Every span's mean lies between the least and greatest of its epochs:
  // a band is drawn once spans merge epochs.
  EXPECT_NE(html.find("<polygon"), std::string::npos);
  EXPECT_NEAR(sum / count, 0.003, 1e-4);
}

TEST(Report, EpochsBeforeAReferenceWaitForACompleteRound) {
  ReportBuilder report({});
  report.Add("P", Epoch{1, kStart, 1, 1, 1, false});
  report.Add("P", Epoch{2, kStart + 60, 1.002, 1, 1, true});
  report.Add("P", Epoch{3, kStart + 120, 1.005, 1, 1, true});
  EXPECT_EQ(report.Epochs(), 2u);
  const std::string html = report.Html();
  EXPECT_NE(html.find("<td class=\"n\">3.0</td>"), std::string::npos);
}

TEST(Report, ALiveSeriesIsDrawnAsTheReportDrawsIt) {
  Limit limit;
  limit.component = Component::North;
  limit.warning = 0.002;
  limit.alarm = 0.004;
  ReportBuilder fromEpochs({limit});
  ReportBuilder fromDisplacements({limit});
  const Epoch reference{1, kStart, 10, 20, 5, true};
  for (int i = 0; i < 5; ++i) {
    const Epoch epoch{
        i + 1, kStart + i * 60.0, 10 + 0.001 * i, 20 - 0.0015 * i, 5, true};
    fromEpochs.Add("P", epoch);
    fromDisplacements.AddDisplacement("P",
                                      DisplacementBetween(reference, epoch));
  }
  const std::string svg = fromDisplacements.SeriesSvg("P");
  EXPECT_EQ(svg, fromEpochs.SeriesSvg("P"));
  EXPECT_NE(fromEpochs.Html().find(svg), std::string::npos);
  EXPECT_EQ(svg.rfind("<svg class=\"series\"", 0), 0u);
  EXPECT_EQ(svg.substr(svg.size() - 6), "</svg>");
  EXPECT_EQ(fromDisplacements.SeriesSvg("Q"), "");
  ASSERT_TRUE(fromDisplacements.Last("P"));
  EXPECT_NEAR(fromDisplacements.Last("P")->north, -0.006, 1e-12);
  EXPECT_FALSE(fromDisplacements.Last("Q"));
  // Without a reference epoch, the plan leaves the target out.
  EXPECT_EQ(fromDisplacements.Html().find("<circle"), std::string::npos);
}

TEST(Report, ATargetsLevelIsTheHighestItsComponentsAreAt) {
  const struct {
    std::vector<std::pair<Component, Level>> events;
    Level level;
  } cases[] = {
      {{}, Level::Clear},
      {{{Component::North, Level::Warning}}, Level::Warning},
      {{{Component::North, Level::Warning}, {Component::North, Level::Clear}},
       Level::Clear},
      {{{Component::North, Level::Alarm}, {Component::Height, Level::Warning}},
       Level::Alarm},
      {{{Component::North, Level::Alarm},
        {Component::Height, Level::Warning},
        {Component::North, Level::Clear}},
       Level::Warning},
  };
  for (const auto& c : cases) {
    ReportBuilder report({});
    double time = kStart;
    for (const auto& [component, level] : c.events) {
      Event event;
      event.target = "P";
      event.component = component;
      event.level = level;
      event.time = time += 60;
      report.AddEvent(event);
      event.target = "Q";
      event.level = Level::Alarm;
      report.AddEvent(event);
    }
    EXPECT_EQ(report.LevelOf("P"), c.level) << c.events.size();
  }
}

}  // namespace

namespace {

TEST(Report, TargetsAreOrderedAsPeopleReadThem) {
  const std::vector<std::string> ordered = {
      "A", "P1", "P2", "P02b", "P10", "P10a", "P010b", "Q", "a"};
  const Core::GEOCOM::survey::TargetOrder before;
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    EXPECT_FALSE(before(ordered[i], ordered[i])) << ordered[i];
    for (std::size_t j = i + 1; j < ordered.size(); ++j) {
      EXPECT_TRUE(before(ordered[i], ordered[j]))
          << ordered[i] << " < " << ordered[j];
      EXPECT_FALSE(before(ordered[j], ordered[i]))
          << ordered[j] << " !< " << ordered[i];
    }
  }
}

TEST(Report, TimeAxisTicksFallOnRoundTimes) {
  using Core::GEOCOM::survey::Epoch;
  using Core::GEOCOM::survey::ReportBuilder;
  // 1.7e9 s is 2023-11-14T22:13:20Z: over an hour and a half a tick every
  // quarter of an hour, on the quarter; over three days every twelve hours.
  const struct {
    double span;
    std::vector<std::string> labels;
  } cases[] = {
      {5400, {">11-14 22:15<", ">11-14 22:30<", ">11-14 23:30<"}},
      {3 * 86400.0, {">11-15 00:00<", ">11-15 12:00<", ">11-17 12:00<"}},
      {40 * 86400.0, {">2023-11-16<", ">2023-11-23<", ">2023-12-21<"}},
      {20 * 365 * 86400.0, {">2023-12-19<", ">2042-12-14<"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.span);
    ReportBuilder report({});
    report.Add("P", Epoch{1, kStart, 0, 0, 0, true});
    report.Add("P", Epoch{2, kStart + c.span, 0, 0, 0.001, true});
    const std::string html = report.Html();
    for (const std::string& label : c.labels) {
      EXPECT_NE(html.find(label), std::string::npos) << label;
    }
  }
}

}  // namespace
