// A plan says by name what the request asked and what the reply written
// carries, so that logs and views never read the bytes again; a fault that
// changes the reply takes those names away.
#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/simulator/Faults.h>
#include <DazoZazIdoRezeraro/simulator/VirtualInstrument.h>

#include <algorithm>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;
using namespace host;

const Clock::time_point kStart{};

struct Named {
  const char* name;
  ProcedureId procedure;
  const char* parameters;
  bool argumentsRead;
  std::optional<unsigned short> returnCode;
  bool valuesRead;
};

class PlanNames : public testing::TestWithParam<Named> {};

// Catches names kept for refused arguments, for an unknown procedure, or
// for a reply whose code says it carries nothing.
TEST_P(PlanNames, FollowWhatWasReadAndWritten) {
  const Named& expected = GetParam();
  VirtualInstrument instrument(DefaultScene(), 0, kStart);
  const ReplyPlan plan = instrument.Respond(
      Request(expected.procedure, expected.parameters), kStart);
  EXPECT_EQ(plan.arguments.has_value(), expected.argumentsRead);
  EXPECT_EQ(plan.returnCode, expected.returnCode);
  EXPECT_EQ(plan.values.has_value(), expected.valuesRead);
  if (plan.returnCode) {
    EXPECT_EQ(ReplyOf(plan).GetRetCode(), *plan.returnCode);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, PlanNames,
    testing::Values(
        Named{"Answered", kInstrumentNumber, "", true, GRC_OK, true},
        Named{"NothingToCarry", kSetGuideLight, "2", true, GRC_OK, true},
        Named{"OutOfRange", kSetGuideLight, "9", false, GRC_IVPARAM, false},
        Named{"NotANumber", kSetStation, "1,x,3,4", false, GRC_IVPARAM, false},
        Named{"NotCatalogued", kSearch, "0.1,0.1,0", false, GRC_NOT_IMPL,
              false},
        Named{"WrongState", kFineAdjust, "0.01,0.01", true, GRC_IVRESULT,
              false}),
    [](const auto& test) { return std::string(test.param.name); });

// Catches a named value that differs from the one the reply carries.
TEST(PlanNames, AreTheReplysValues) {
  VirtualInstrument instrument(DefaultScene(), 0, kStart);
  const ReplyPlan set =
      instrument.Respond(Request(kSetGuideLight, "2"), kStart);
  ASSERT_TRUE(set.arguments);
  ASSERT_EQ(set.arguments->size(), 1u);
  EXPECT_EQ(set.arguments->at(0).name, "intensity");
  EXPECT_EQ(set.arguments->at(0).value, FieldValue(std::int64_t{2}));
  const ReplyPlan read = instrument.Respond(Request(kGuideLight), kStart);
  ASSERT_TRUE(read.values);
  const Fields decoded = ReplyFields(kGuideLight, ReplyOf(read)).value();
  ASSERT_EQ(read.values->size(), decoded.size());
  EXPECT_EQ(read.values->at(0).name, decoded.at(0).name);
  EXPECT_EQ(read.values->at(0).value, decoded.at(0).value);
  EXPECT_EQ(read.values->at(0).value, FieldValue(std::int64_t{2}));
}

struct Kept {
  FaultKind kind;
  bool codeAndValues;
};

class FaultedPlanNames : public testing::TestWithParam<Kept> {};

// Catches the values of a reply that was dropped, cut off or given
// another code still shown as if it had arrived, and values lost where the
// reply arrives whole.
TEST_P(FaultedPlanNames, KeepTheReplyOnlyWhenItArrivesWhole) {
  VirtualInstrument instrument(DefaultScene(), 0, kStart);
  FaultInjector faults(instrument, 1);
  faults.Inject(kInstrumentNumber, GetParam().kind);
  const ReplyPlan plan = faults.Respond(Request(kInstrumentNumber), kStart);
  EXPECT_EQ(plan.fault, FaultName(GetParam().kind));
  EXPECT_TRUE(plan.arguments);
  EXPECT_EQ(plan.returnCode.has_value(), GetParam().codeAndValues);
  EXPECT_EQ(plan.values.has_value(), GetParam().codeAndValues);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultedPlanNames,
    testing::Values(Kept{FaultKind::kDrop, false}, Kept{FaultKind::kLate, true},
                    Kept{FaultKind::kSplit, true},
                    Kept{FaultKind::kNoise, true},
                    Kept{FaultKind::kCorrupt, false},
                    Kept{FaultKind::kDuplicate, true},
                    Kept{FaultKind::kWrongSequence, true},
                    Kept{FaultKind::kDisconnect, false}),
    [](const auto& test) {
      std::string name = FaultName(test.param.kind);
      name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
      return name;
    });

}  // namespace
}  // namespace simtest
