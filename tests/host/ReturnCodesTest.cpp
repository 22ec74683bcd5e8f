#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/ReturnCodes.h>
#include <gtest/gtest.h>

#include <boost/asio/error.hpp>

#include "ScriptedPeer.h"

namespace {

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;
using namespace std::chrono_literals;
using Steps = std::vector<ScriptedPeer::Step>;

struct DescribedCode {
  unsigned short code;
  const char* text;
};

// Every code the core's GRC_TYPE or the virtual instrument gives a meaning
// has a name; any other code is its number alone.
TEST(ReturnCodes, DescribesNamedCodesAndNumbersTheRest) {
  const DescribedCode rows[] = {
      {GRC_OK, "0 ok: the procedure succeeded"},
      {GRC_UNDEFINED, "1 undefined: an unknown error"},
      {GRC_IVPARAM, "2 invalid-parameter: a parameter was invalid"},
      {GRC_IVRESULT,
       "3 invalid-result: the result is invalid (e.g. the instrument is in "
       "the wrong state)"},
      {GRC_FATAL, "4 fatal: a fatal error"},
      {GRC_NOT_IMPL,
       "5 not-implemented: the instrument does not implement the procedure"},
      {GRC_TIME_OUT, "6 time-out: the procedure timed out on the instrument"},
      {8710, "8710 no-target: no prism in the beam"},
      {7, "7"},
      {8709, "8709"},
      {8711, "8711"},
      {65535, "65535"},
  };
  for (const DescribedCode& row : rows) {
    EXPECT_EQ(DescribeReturnCode(row.code), row.text);
  }
  EXPECT_EQ(ReturnCodeNames().size(), 8u);
  EXPECT_EQ(FindReturnCode(12), nullptr);
}

TEST(ReturnCodes, NamesAreUniqueAndCodesAscend) {
  const std::vector<ReturnCodeName>& names = ReturnCodeNames();
  for (std::size_t i = 1; i < names.size(); ++i) {
    EXPECT_LT(names[i - 1].code, names[i].code);
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(names[i].name, names[j].name);
  }
}

TEST(ReturnCodes, TheSessionNamesTheCodeItWasAnswered) {
  ScriptedPeer peer([](const GeoComSentence& request) {
    return Steps{{0ms, ScriptedPeer::ReplyTo(request, kNoTargetReturnCode)}};
  });
  BlockingSession session = BlockingSession::Connect(peer.Address());
  const Result<Reply> reply = session.TryCall(kSimpleMeasurement, "100,1");
  ASSERT_FALSE(reply);
  EXPECT_EQ(reply.error().kind, ErrorKind::kReturnCode);
  EXPECT_NE(reply.error().message.find(
                "answered return code 8710 no-target: no prism in the beam"),
            std::string::npos)
      << reply.error().message;
}

}  // namespace

TEST(ErrorKinds, SortAsiosErrorsAndKeepTheSessionsOwn) {
  const std::pair<boost::system::error_code, ErrorKind> kinds[] = {
      {make_error_code(ErrorKind::kTimeout), ErrorKind::kTimeout},
      {make_error_code(ErrorKind::kReturnCode), ErrorKind::kReturnCode},
      {boost::asio::error::operation_aborted, ErrorKind::kCancelled},
      {boost::asio::error::eof, ErrorKind::kClosed},
      {boost::asio::error::connection_reset, ErrorKind::kIo},
      {boost::asio::error::broken_pipe, ErrorKind::kIo},
  };
  for (const auto& [code, kind] : kinds) {
    EXPECT_EQ(KindOf(code), kind) << code.message();
    EXPECT_EQ(ToError(code, "why").kind, kind) << code.message();
  }
  // Without diagnostics of its own, an error says what the code says.
  EXPECT_EQ(ToError(boost::asio::error::eof, "").message,
            boost::system::error_code(boost::asio::error::eof).message());
  EXPECT_EQ(ToError(boost::asio::error::eof, "why").message, "why");
}
