// The live view's JSON API and feed: each endpoint's success, and bad input
// refused with a 4xx and a message, changing nothing.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;
namespace http = boost::beast::http;
namespace websocket = boost::beast::websocket;
using tcp = boost::asio::ip::tcp;
using json = nlohmann::json;

struct Answer {
  unsigned status;
  json body;
  bool keepAlive;  // whether the view goes on reading the connection
  std::string type;
};

tcp::socket Connect(boost::asio::io_context& io, const std::string& address) {
  const std::size_t colon = address.rfind(':');
  tcp::socket socket(io);
  socket.connect(
      {boost::asio::ip::make_address(address.substr(0, colon)),
       static_cast<unsigned short>(std::stoi(address.substr(colon + 1)))});
  return socket;
}

std::string WithAddress(std::string text, const std::string& address) {
  const std::string port = address.substr(address.rfind(':') + 1);
  for (std::size_t at; (at = text.find("{port}")) != std::string::npos;) {
    text.replace(at, 6, port);
  }
  for (std::size_t at; (at = text.find("{}")) != std::string::npos;) {
    text.replace(at, 2, address);
  }
  return text;
}

// Asks as the view's own page does: its Host, and a JSON body for a request
// that changes something. The headers, "Name: value" lines in which "{}"
// stands for the view's address and "{port}" for its port, replace those; a
// name without a value leaves the header out.
Answer Ask(const std::string& address, http::verb method,
           const std::string& target, const std::string& body = "",
           const std::string& headers = "") {
  boost::asio::io_context io;
  tcp::socket socket = Connect(io, address);
  http::request<http::string_body> request(method, target, 11);
  request.set(http::field::host, address);
  if (method != http::verb::get) {
    request.set(http::field::content_type, "application/json");
  }
  std::istringstream lines(WithAddress(headers, address));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t colon = line.find(':');
    const std::string name = line.substr(0, colon);
    if (colon + 2 > line.size()) {
      request.erase(name);
    } else {
      request.set(name, line.substr(colon + 2));
    }
  }
  request.body() = body;
  request.prepare_payload();
  http::write(socket, request);
  boost::beast::flat_buffer buffer;
  http::response<http::string_body> response;
  http::read(socket, buffer, response);
  return {response.result_int(), json::parse(response.body(), nullptr, false),
          response.keep_alive(),
          std::string(response[http::field::content_type])};
}

// Options of an instrument whose live view listens on a loopback port.
LoopbackOptions WithView() {
  LoopbackOptions options;
  options.http = "127.0.0.1:0";
  return options;
}

struct Refusal {
  const char* name;
  http::verb method;
  const char* target;
  std::string body;
  unsigned status;
  const char* message;
  const char* headers = "";
};

constexpr auto kPut = http::verb::put;
constexpr auto kPost = http::verb::post;
constexpr auto kGet = http::verb::get;
constexpr const char* kStranger = "steered from its own page only";
constexpr const char* kNotJson = "must be sent as application/json";
constexpr const char* kNotServed = "not served as";
constexpr const char* kRebinding = "Host: evil.example:{port}";

const Refusal kRefusals[] = {
    {"UnknownPrism", kPut, "/api/prisms/P9", R"({"easting": 1})", 404,
     "there is no prism P9"},
    {"BadEscapeInTheId", kPut, "/api/prisms/P%4", R"({"easting": 1})", 400,
     "bad %-escape"},
    {"CoordinateBeyondTheGrid", kPut, "/api/prisms/P1", R"({"easting": 1e300})",
     400, "prism P1 must have coordinates from -10000000 to 10000000"},
    {"NotFiniteCoordinate", kPut, "/api/prisms/P1", R"({"northing": 1e999})",
     400, "the body must be a JSON object"},
    {"CoordinateNotANumber", kPut, "/api/prisms/P1", R"({"height": "high"})",
     400, "height must be a number"},
    {"UnknownCoordinate", kPut, "/api/prisms/P1", R"({"x": 1})", 400,
     "x is not a coordinate"},
    {"OversizedBody", kPut, "/api/prisms/P1", std::string(20000, ' '), 413,
     "the body is larger than 16384 bytes"},
    {"UnknownFault", kPut, "/api/faults", R"({"fire": 0.1})", 400,
     "fire is not a fault kind"},
    {"RatesAboveOne", kPut, "/api/faults", R"({"drop": 0.6, "late": 0.6})", 400,
     "the fault rates add up to more than 1"},
    {"WrongMethod", kGet, "/api/pause", "", 405, "use POST"},
    {"FileOutsideThePage", kGet, "/../CMakeLists.txt", "", 404, "no such page"},
    // A page of any site may send these without asking the browser.
    {"CrossSiteTextPlainPost", kPost, "/api/pause", "x", 403, kStranger,
     "Origin: http://evil.example\nContent-Type: text/plain"},
    {"CrossSiteFormPost", kPost, "/api/reset", "a=b", 403, kStranger,
     "Origin: http://evil.example\n"
     "Content-Type: application/x-www-form-urlencoded"},
    {"CrossSiteJsonByReferer", kPut, "/api/faults", R"({"drop": 1})", 403,
     kStranger, "Referer: http://evil.example/{}/"},
    {"RefererOfALookalikeHost", kPost, "/api/pause", "", 403, kStranger,
     "Referer: http://{}.evil.example/"},
    {"SandboxedPage", kPost, "/api/pause", "", 403, kStranger, "Origin: null"},
    {"OwnPageTextPlain", kPost, "/api/pause", "x", 403, kNotJson,
     "Origin: http://{}\nContent-Type: text/plain"},
    {"ProgramWithoutContentType", kPost, "/api/pause", "", 403, kNotJson,
     "Content-Type:"},
    {"JsonLookalikeType", kPost, "/api/pause", "", 403, kNotJson,
     "Content-Type: application/jsonx"},
    // A site whose name now points at this address (DNS rebinding).
    {"RebindingHostPost", kPost, "/api/pause", "", 403,
     "not served as 'evil.example:{port}'",
     "Host: evil.example:{port}\nOrigin: http://evil.example:{port}"},
    {"RebindingHostRead", kGet, "/api/traffic", "", 403, kNotServed,
     kRebinding},
    {"RebindingHostPage", kGet, "/", "", 403, kNotServed, kRebinding},
    {"OwnAddressOtherPort", kGet, "/api/state", "", 403, kNotServed,
     "Host: 127.0.0.1:1"},
    {"NoHost", kGet, "/api/state", "", 403, kNotServed, "Host:"},
    // The JSON reader takes one object, each key once, and nothing else.
    {"TrailingBytesAfterNul", kPut, "/api/prisms/P1",
     std::string("{\"easting\": 12.5}\0junk", 22), 400, "nothing after it"},
    {"TrailingText", kPut, "/api/prisms/P1", R"({"easting": 12.5} junk)", 400,
     "the body must be a JSON object"},
    {"SecondObject", kPut, "/api/faults", R"({"drop": 0.1}{"late": 0.1})", 400,
     "the body must be a JSON object"},
    {"DuplicateCoordinate", kPut, "/api/prisms/P1",
     R"({"easting": 12.5, "northing": 1, "easting": 13})", 400,
     "easting is given twice"},
    {"DuplicateFaultKind", kPut, "/api/faults", R"({"drop": 0.1, "drop": 0.2})",
     400, "drop is given twice"},
};

class ApiRefuses : public testing::TestWithParam<Refusal> {};

// Catches a check missing from an endpoint, a wrong status, and a change
// made before the input was found bad.
TEST_P(ApiRefuses, WithAMessageChangingNothing) {
  const Refusal& refusal = GetParam();
  LoopbackInstrument instrument(WithView());
  const std::string before =
      Ask(instrument.HttpAddress(), http::verb::get, "/api/state").body.dump();
  const Answer answer = Ask(instrument.HttpAddress(), refusal.method,
                            refusal.target, refusal.body, refusal.headers);
  EXPECT_EQ(answer.status, refusal.status);
  // A body left unread, or a stranger's request, ends the connection.
  EXPECT_EQ(answer.keepAlive, answer.status != 413 && answer.status != 403);
  EXPECT_NE(answer.body.value("error", "")
                .find(WithAddress(refusal.message, instrument.HttpAddress())),
            std::string::npos)
      << answer.body.dump();
  json after =
      Ask(instrument.HttpAddress(), http::verb::get, "/api/state").body;
  json was = json::parse(before);
  // Time moves the clock, the battery and the walking prism; nothing else.
  for (json* state : {&was, &after}) {
    for (const char* moving : {"clock", "battery", "calls"}) {
      state->erase(moving);
    }
    (*state)["prisms"][1].erase("easting");
  }
  EXPECT_EQ(after, was);
}

INSTANTIATE_TEST_SUITE_P(LiveView, ApiRefuses, testing::ValuesIn(kRefusals),
                         [](const auto& test) { return test.param.name; });

struct OwnPage {
  const char* name;
  const char* headers;
};

class OwnPageSteers : public testing::TestWithParam<OwnPage> {};

// Catches a guard stricter than the page and programs need: each way the
// view's own page or a program asks is served.
TEST_P(OwnPageSteers, ThroughEveryNameOfTheView) {
  LoopbackOptions options = WithView();
  options.liveView.remoteNames = {"survey.local"};
  LoopbackInstrument instrument(options);
  const Answer answer = Ask(instrument.HttpAddress(), http::verb::post,
                            "/api/pause", "", GetParam().headers);
  EXPECT_EQ(answer.status, 200u) << answer.body.dump();
  EXPECT_TRUE(instrument.Control().Paused());
}

INSTANTIATE_TEST_SUITE_P(
    LiveView, OwnPageSteers,
    testing::Values(
        OwnPage{"ProgramWithoutOrigin", ""},
        OwnPage{"PageByOrigin", "Origin: http://{}"},
        OwnPage{"PageByReferer", "Referer: http://{}/"},
        OwnPage{"Localhost",
                "Host: localhost:{port}\nOrigin: http://localhost:{port}"},
        OwnPage{
            "NameGiven",
            "Host: Survey.local:{port}\nOrigin: http://Survey.local:{port}"},
        OwnPage{"JsonWithCharset",
                "Content-Type: Application/JSON; charset=utf-8"}),
    [](const auto& test) { return test.param.name; });

// Catches a page file served as another type, or to a method that only
// reads the API.
TEST(LiveViewApi, ServesThePageFilesByTypeToGetOnly) {
  LoopbackInstrument instrument(WithView());
  const struct {
    http::verb method;
    const char* target;
    unsigned status;
    const char* type;
  } rows[] = {
      {kGet, "/", 200, "text/html; charset=utf-8"},
      {kGet, "/live-view.js", 200, "text/javascript; charset=utf-8"},
      {kGet, "/page.css", 200, "text/css; charset=utf-8"},
      {kPost, "/", 405, "application/json"},
  };
  for (const auto& row : rows) {
    const Answer answer = Ask(instrument.HttpAddress(), row.method, row.target);
    EXPECT_EQ(answer.status, row.status) << row.target;
    EXPECT_EQ(answer.type, row.type) << row.target;
  }
}

// Catches a move that a measurement does not see, rates not applied,
// pause, resume and reset that do nothing, and a feed that accepts pages
// of another origin.
TEST(LiveViewApi, EachEndpointDoesWhatItSays) {
  LoopbackInstrument instrument(WithView());
  const std::string& address = instrument.HttpAddress();

  Answer moved = Ask(address, http::verb::put, "/api/prisms/%50%31",
                     R"({"easting": 12.5, "northing": -3})");
  ASSERT_EQ(moved.status, 200u) << moved.body.dump();
  const Point now = *instrument.Instrument().PrismAt("P1", Clock::now());
  EXPECT_EQ(now.easting, 12.5);
  EXPECT_EQ(now.northing, -3);
  EXPECT_EQ(now.height, DefaultScene().prisms[0].position.height);
  EXPECT_EQ(moved.body["prisms"][0]["easting"], 12.5);

  Answer rates =
      Ask(address, http::verb::put, "/api/faults", R"({"wrong_sequence": 1})");
  ASSERT_EQ(rates.status, 200u);
  // A fault has one name, as the exchanges and the command line spell it.
  EXPECT_EQ(rates.body["fault_rates"]["wrong-sequence"], 1.0);
  host::BlockingSession session =
      host::BlockingSession::Connect(instrument.Address());
  EXPECT_TRUE(session.TryCall(host::kInstrumentNumber, ""));
  // The exchange is logged once its last write has ended, which may be
  // after the host has its reply.
  for (int i = 0; i < 100 && instrument.Control().Counts().calls == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(instrument.Control().Counts().faults["wrong-sequence"], 1u);
  const Answer traffic = Ask(address, http::verb::get, "/api/traffic");
  ASSERT_EQ(traffic.body.size(), 1u);
  EXPECT_EQ(traffic.body[0]["name"], "instrument-number");
  EXPECT_EQ(traffic.body[0]["values"]["serial_number"],
            DefaultScene().instrument.serialNumber);
  EXPECT_EQ(traffic.body[0]["fault"], "wrong-sequence");
  EXPECT_EQ(traffic.body[0]["return_code_name"], "ok");
  EXPECT_EQ(traffic.body[0]["return_code_meaning"], "the procedure succeeded");

  EXPECT_EQ(Ask(address, http::verb::post, "/api/pause").body["paused"], true);
  host::CallOptions brief;
  brief.timeout = std::chrono::milliseconds(200);
  EXPECT_FALSE(session.TryCall(host::kInstrumentNumber, "", brief));
  EXPECT_EQ(Ask(address, http::verb::post, "/api/resume").body["paused"],
            false);
  EXPECT_EQ(Ask(address, http::verb::post, "/api/reset").status, 200u);
  EXPECT_EQ(instrument.Instrument().PrismAt("P1", Clock::now())->easting,
            DefaultScene().prisms[0].position.easting);
}

struct Origin {
  const char* name;
  const char* origin;  // nullptr: none sent, as by a program
  bool accepted;
  const char* host = "{}";  // the Host asked for
};

class Feed : public testing::TestWithParam<Origin> {};

TEST_P(Feed, ServesItsOwnOriginOnly) {
  LoopbackInstrument instrument(WithView());
  const std::string& address = instrument.HttpAddress();
  boost::asio::io_context io;
  websocket::stream<tcp::socket> feed(Connect(io, address));
  const std::string origin = GetParam().origin == nullptr
                                 ? ""
                                 : WithAddress(GetParam().origin, address);
  feed.set_option(
      websocket::stream_base::decorator([&](websocket::request_type& request) {
        if (!origin.empty()) request.set(http::field::origin, origin);
      }));
  boost::system::error_code error;
  websocket::response_type answer;
  feed.handshake(answer, WithAddress(GetParam().host, address), "/feed", error);
  ASSERT_EQ(!error, GetParam().accepted) << error.message();
  if (!GetParam().accepted) {
    // Refused, and the connection ends there.
    EXPECT_EQ(answer.result(), http::status::forbidden);
    EXPECT_FALSE(answer.keep_alive());
    return;
  }
  boost::beast::flat_buffer buffer;
  feed.read(buffer);
  const json message =
      json::parse(boost::beast::buffers_to_string(buffer.data()));
  EXPECT_EQ(message["type"], "state");
}

INSTANTIATE_TEST_SUITE_P(
    LiveView, Feed,
    testing::Values(Origin{"SameOrigin", "http://{}", true},
                    Origin{"NoOrigin", nullptr, true},
                    Origin{"Localhost", "http://localhost:{port}", true,
                           "localhost:{port}"},
                    Origin{"OtherOrigin", "http://evil.example", false},
                    Origin{"RebindingHost", "http://evil.example:{port}", false,
                           "evil.example:{port}"}),
    [](const auto& test) { return test.param.name; });

// Catches a live view that listens beyond loopback unless allowed.
TEST(LiveViewApi, RemoteAddressRefusedUnlessAllowed) {
  boost::asio::io_context io;
  VirtualInstrument instrument(DefaultScene());
  FaultInjector faults(instrument, 0);
  InstrumentControl control(instrument, faults);
  LiveView view(io, control);
  const host::Result<std::string> refused = view.Listen("0.0.0.0:0");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, host::ErrorKind::kInvalidArgument);
  LiveViewOptions remote;
  remote.allowRemote = true;
  LiveView allowed(io, control, remote);
  EXPECT_TRUE(allowed.Listen("0.0.0.0:0"));
}

// Catches more on the page that is not served or shadows the view's own
// API, a greeting lost or sent after what it broadcasts, and a message
// published from another thread that never reaches the feed.
TEST(LiveViewApi, MoreOnThePageIsServedBesideTheInstrument) {
  boost::asio::io_context io;
  VirtualInstrument instrument(DefaultScene());
  FaultInjector faults(instrument, 0);
  InstrumentControl control(instrument, faults);
  LiveView view(io, control);
  view.Extend(
      {[](const PageRequest& request) -> std::optional<PageAnswer> {
         if (request.path == "/api/none") return std::nullopt;
         return PageAnswer{200, json{{"more", request.path}}.dump(), {}};
       },
       [] {
         return std::vector<std::string>{R"({"type":"first"})",
                                         R"({"type":"second"})"};
       }});
  const host::Result<std::string> bound = view.Listen("127.0.0.1:0");
  ASSERT_TRUE(bound);
  std::thread loop([&io] { io.run(); });
  struct Case {
    const char* target;
    unsigned status;
    const char* key;
  };
  for (const Case& row :
       {Case{"/api/state", 200, "prisms"}, Case{"/api/extra", 200, "more"},
        Case{"/api/none", 404, "error"}}) {
    const Answer answer = Ask(*bound, http::verb::get, row.target);
    EXPECT_EQ(answer.status, row.status) << row.target;
    EXPECT_TRUE(answer.body.contains(row.key)) << answer.body.dump();
  }

  boost::asio::io_context client;
  websocket::stream<tcp::socket> feed(Connect(client, *bound));
  feed.handshake(*bound, "/feed");
  const auto next = [&feed] {
    boost::beast::flat_buffer buffer;
    feed.read(buffer);
    return json::parse(boost::beast::buffers_to_string(buffer.data()));
  };
  EXPECT_EQ(next()["type"], "first");
  EXPECT_EQ(next()["type"], "second");
  EXPECT_EQ(next()["type"], "state");
  view.Publish(std::make_shared<const std::string>(R"({"type":"published"})"));
  json message;
  for (int i = 0; i < 100 && message["type"] != "published"; ++i) {
    message = next();
  }
  EXPECT_EQ(message["type"], "published");
  view.Stop();
  io.stop();
  loop.join();
}

}  // namespace
}  // namespace simtest
