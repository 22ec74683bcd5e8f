// The virtual instrument reads every request and composes every reply by
// the catalogue: what holds for one procedure is checked over all of them.
// That requests and replies round-trip through the catalogue's own codec
// is the host's table test.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Text.h>
#include <DazoZazIdoRezeraro/simulator/VirtualInstrument.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;
using namespace host;

const Clock::time_point kStart{};

bool Narrowed(const ValueSpec& argument) {
  switch (argument.type) {
    case ValueType::kInteger:
      return argument.minimum > -2147483648.0 ||
             argument.maximum < 2147483647.0;
    case ValueType::kReal:
      return argument.minimum > std::numeric_limits<double>::lowest() ||
             argument.maximum < std::numeric_limits<double>::max();
    default:
      return false;
  }
}

// A value of the argument's type within its range.
FieldValue Sample(const ValueSpec& argument) {
  if (argument.fallback) return *argument.fallback;
  const double inRange = std::clamp(1.0, argument.minimum, argument.maximum);
  switch (argument.type) {
    case ValueType::kInteger:
      return static_cast<std::int64_t>(inRange);
    case ValueType::kReal:
      return inRange / 4;
    case ValueType::kBoolean:
      return true;
    case ValueType::kText:
      return std::string("a.b");
    case ValueType::kDateTime:
      return std::string("2024-03-15T10:30:00");
    case ValueType::kBytes: {
      std::string bytes = "1";
      for (unsigned i = 1; i < argument.byteCount; ++i) bytes += ".1";
      return bytes;
    }
  }
  return std::int64_t{0};
}

Fields Samples(const Procedure& procedure) {
  Fields fields;
  for (const ValueSpec& argument : procedure.arguments) {
    fields.push_back({std::string(argument.name), Sample(argument)});
  }
  return fields;
}

// The parameter text of the arguments written as they are, unchecked: the
// catalogue's reply composer, given the arguments as the reply's values.
std::string Unchecked(const Procedure& procedure, const Fields& fields) {
  Procedure asReply = procedure;
  asReply.reply = procedure.arguments;
  std::string text = ComposeReply(asReply, fields).value();
  if (!text.empty()) text.erase(0, 1);
  if (procedure.requestLayout.empty()) return text;
  // The fixed fields go where the packer writes them (the arguments around
  // them are single numbers).
  std::istringstream arguments(text);
  std::string placed;
  for (const std::string_view fixed : procedure.requestLayout) {
    std::string field(fixed);
    if (fixed.empty()) std::getline(arguments, field, ',');
    placed += (placed.empty() ? "" : ",") + field;
  }
  return placed;
}

// Aimed at the prism P1 with target recognition and lock on, so that most
// procedures find what they need.
VirtualInstrument Prepared() {
  Scene scene = DefaultScene();
  const Sight p1 = SightTo(scene.station, scene.prisms.at(0).position);
  scene.telescope.hz = p1.direction.hz;
  scene.telescope.v = p1.direction.v;
  return VirtualInstrument(scene, 0, kStart);
}

template <typename Check>
void ForEachAnswered(Check check) {
  for (const Procedure& procedure : Procedures()) {
    if (!procedure.known) continue;
    SCOPED_TRACE(std::string(procedure.name));
    check(procedure);
  }
}

// Catches a handler that composes a value of another type or name than the
// catalogue lists, leaves one out, or answers a known procedure as unknown.
TEST(CatalogueAnswers, EveryReplyReadsBackStrictly) {
  int withValues = 0;
  ForEachAnswered([&withValues](const Procedure& procedure) {
    VirtualInstrument instrument = Prepared();
    Ask(instrument, kStart, kSetAtrState, "1");
    Ask(instrument, kStart, kSetLockState, "1");
    Ask(instrument, kStart, kFileListSetup);
    Ask(instrument, kStart, kObjectListSetup, "0,0");
    const std::string arguments = Unchecked(procedure, Samples(procedure));
    ASSERT_TRUE(ReadArguments(procedure, arguments));
    const ReplyPlan plan =
        instrument.Respond(Request(procedure.id, arguments), kStart);
    const GeoComSentence reply = ReplyOf(plan);
    const unsigned short code = reply.GetRetCode();
    EXPECT_NE(code, GRC_FATAL) << "a reply the catalogue refuses";
    EXPECT_NE(code, GRC_NOT_IMPL);
    if (code != GRC_OK) return;
    const Result<Fields> values = DecodeReply(procedure, reply);
    ASSERT_TRUE(values) << values.error().message;
    EXPECT_EQ(values->size(), procedure.reply.size());
    // The names the plan carries are the reply's, none more.
    ASSERT_TRUE(plan.values);
    ASSERT_EQ(plan.values->size(), procedure.reply.size());
    for (std::size_t i = 0; i < procedure.reply.size(); ++i) {
      EXPECT_EQ(plan.values->at(i).name, procedure.reply[i].name);
    }
    if (!values->empty()) ++withValues;
  });
  // Every procedure whose reply carries values answers in this set-up.
  const auto carrying = std::count_if(
      Procedures().begin(), Procedures().end(), [](const Procedure& procedure) {
        return procedure.known && !procedure.reply.empty();
      });
  EXPECT_EQ(withValues, carrying);
}

// Catches a range the reading of a request does not check: each value just
// outside an argument's range is refused, naming the argument, and the
// instrument answers GRC_IVPARAM with nothing changed.
TEST(CatalogueAnswers, OutOfRangeArgumentsAreRefusedByName) {
  int refused = 0;
  ForEachAnswered([&refused](const Procedure& procedure) {
    for (std::size_t i = 0; i < procedure.arguments.size(); ++i) {
      const ValueSpec& argument = procedure.arguments[i];
      if (!Narrowed(argument)) continue;
      const double step = argument.type == ValueType::kInteger ? 1 : 0.25;
      for (const double outside :
           {argument.minimum - step, argument.maximum + step}) {
        if (!std::isfinite(outside) || outside < -2147483648.0 ||
            outside > 4294967295.0) {
          continue;
        }
        SCOPED_TRACE(std::string(argument.name) + " = " +
                     FormatDouble(outside));
        Fields fields = Samples(procedure);
        if (argument.type == ValueType::kInteger) {
          fields[i].value = static_cast<std::int64_t>(outside);
        } else {
          fields[i].value = outside;
        }
        const std::string text = Unchecked(procedure, fields);
        const Result<Fields> read = ReadArguments(procedure, text);
        ASSERT_FALSE(read);
        EXPECT_EQ(read.error().kind, ErrorKind::kInvalidArgument);
        EXPECT_NE(read.error().message.find(argument.name), std::string::npos)
            << read.error().message;
        VirtualInstrument instrument = Prepared();
        EXPECT_EQ(Ask(instrument, kStart, procedure.id, text).GetRetCode(),
                  GRC_IVPARAM);
        ++refused;
      }
    }
  });
  EXPECT_GE(refused, 20) << "fewer ranges than the catalogue has";
}

// Catches a date that does not exist reaching the instrument's clock.
TEST(CatalogueAnswers, ImpossibleDatesAreRefused) {
  VirtualInstrument instrument = Prepared();
  const std::string before =
      Ask(instrument, kStart, kDateTime).GetStringCommand();
  EXPECT_EQ(
      Ask(instrument, kStart, kSetDateTime, "2023,'02','1d','00','00','00'")
          .GetRetCode(),
      GRC_IVPARAM);
  EXPECT_EQ(Ask(instrument, kStart, kDateTime).GetStringCommand(), before);
}

}  // namespace
}  // namespace simtest
