// geocom demo: a host session against the virtual instrument over loopback
// TCP, through host::Session and the typed calls, showing every sentence
// and comparing what the instrument measures with the scene's geometry.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Calls.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/SentenceStream.h>
#include <DazoZazIdoRezeraro/host/Text.h>
#include <DazoZazIdoRezeraro/simulator/Geometry.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>

#include "ExitStatus.h"
#include "Output.h"
#include "Subcommands.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM;
using namespace Core::GEOCOM::host;
namespace sim = Core::GEOCOM::simulator;
namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

// Agreement of a measurement with the geometry: exact angles and distances
// for a prism standing still, what a prism moves during one exchange for
// one followed.
constexpr double kAngleTolerance = 1e-9;
constexpr double kDistanceTolerance = 1e-6;
constexpr double kFollowTolerance = 1e-3;
constexpr auto kFollowFor = std::chrono::seconds(3);
constexpr auto kFollowEvery = std::chrono::milliseconds(500);

// The bytes that passed on the demo's connection since the last look.
struct Wire {
  std::string sent;
  std::string received;
};

// A TCP transport that keeps a copy of everything it passes.
class RecordingTransport final : public StreamTransport<tcp::socket> {
 public:
  RecordingTransport(tcp::socket socket, std::string name,
                     std::shared_ptr<Wire> wire)
      : StreamTransport(std::move(socket), std::move(name)),
        wire_(std::move(wire)) {}

  void AsyncReadSome(asio::mutable_buffer buffer,
                     ReadHandler handler) override {
    StreamTransport::AsyncReadSome(
        buffer,
        [buffer, wire = wire_, handler = std::move(handler)](
            const boost::system::error_code& error, std::size_t read) mutable {
          wire->received.append(static_cast<const char*>(buffer.data()), read);
          std::move(handler)(error, read);
        });
  }

  void AsyncWrite(asio::const_buffer buffer, WriteHandler handler) override {
    wire_->sent.append(static_cast<const char*>(buffer.data()), buffer.size());
    StreamTransport::AsyncWrite(buffer, std::move(handler));
  }

 private:
  std::shared_ptr<Wire> wire_;
};

class Demo {
 public:
  Demo() : wire_(std::make_shared<Wire>()), session_(Connect()) {}

  int Run() {
    Identify();
    const sim::Point p1 = Prism("P1");
    AimAtStandingPrism(p1);
    FollowMovingPrism();
    RecoverFromDroppedReply();
    Print(std::to_string(exchanges_) + " exchanges, " +
          (failures_ == 0 ? std::string("all")
                          : std::to_string(exchanges_ - failures_)) +
          " as expected\n");
    return failures_ == 0 ? kExitOk : kExitFailure;
  }

 private:
  BlockingSession Connect() {
    Print("virtual instrument listening on " + instrument_.Address() +
          " (default scene)\n\n");
    const std::string& address = instrument_.Address();
    const std::size_t colon = address.rfind(':');
    return BlockingSession::Make([&](Session::executor_type executor) {
      tcp::socket socket(executor);
      socket.connect(
          {asio::ip::make_address(address.substr(0, colon)),
           static_cast<unsigned short>(std::stoi(address.substr(colon + 1)))});
      SessionOptions options;
      // Once timed out, a call is sent again: that is how the demo recovers
      // from the reply the instrument drops.
      options.retries = 1;
      return Session(std::make_unique<RecordingTransport>(std::move(socket),
                                                          address, wire_),
                     options);
    });
  }

  sim::Point Prism(const char* id) {
    return *instrument_.Instrument().PrismAt(id, Clock::now());
  }

  const sim::Scene& scene() { return instrument_.Instrument().scene(); }

  // Makes one typed call, printing the sentences that passed, the round
  // trip and the outcome. Returns the result.
  template <typename Call>
  auto Exchange(const std::string& title, ProcedureId procedure, Call call) {
    Print(title + "\n");
    const Clock::time_point started = Clock::now();
    auto result = call();
    const double elapsedMs =
        std::chrono::duration<double, std::milli>(Clock::now() - started)
            .count();
    PrintSentences(wire_->sent, "request  ", "again    ");
    PrintSentences(wire_->received, "reply    ", "reply    ");
    wire_->sent.clear();
    wire_->received.clear();
    Print("  round trip " + FormatFixed(elapsedMs, 2) + " ms of " +
          std::to_string(ReplyTimeout(procedure).count()) + " ms\n");
    ++exchanges_;
    if (!result) {
      Print("  FAILED: " + result.error().message + "\n");
      ++failures_;
    }
    // Shown as it happens; a reader that has gone ends the demo here.
    FlushOutput();
    return result;
  }

  void PrintSentences(const std::string& bytes, const char* first,
                      const char* later) {
    SentenceStream stream;
    stream.Append(bytes);
    stream.Finish();
    Frame frame;
    bool any = false;
    while (stream.Next(frame)) {
      const bool sentence =
          frame.kind == FrameKind::kRequest || frame.kind == FrameKind::kReply;
      Print(std::string("  ") +
            (!sentence ? "other    "
             : any     ? later
                       : first) +
            EscapeBytes(frame.bytes) + "\n");
      any = any || sentence;
    }
  }

  // Prints a measured value next to the expected one; counts a mismatch
  // against the last exchange.
  void Compare(const char* what, double measured, double expected,
               double tolerance, const char* unit) {
    const bool agrees = std::fabs(measured - expected) <= tolerance;
    Print(std::string("  ") + what + " " + FormatFixed(measured, 9) + " " +
          unit + ", geometry " + FormatFixed(expected, 9) + " " + unit +
          (agrees
               ? ""
               : "  FAILED: differs by more than " + FormatDouble(tolerance)) +
          "\n");
    if (!agrees) ++failures_;
  }

  void Expect(bool agrees, const std::string& what) {
    Print("  " + what + (agrees ? "" : "  FAILED") + "\n");
    if (!agrees) ++failures_;
  }

  void Identify() {
    const sim::InstrumentInfo& info = scene().instrument;
    if (auto name = Exchange("instrument-name", kInstrumentName,
                             [&] { return GetInstrumentName(session_); })) {
      Expect(*name == info.name, "name = " + *name);
    }
    if (auto number = Exchange("instrument-number", kInstrumentNumber,
                               [&] { return GetInstrumentNumber(session_); })) {
      Expect(*number == info.serialNumber,
             "serial-number = " + std::to_string(*number));
    }
    if (auto power =
            Exchange("power", kPower, [&] { return GetPower(session_); })) {
      Expect(power->level > 0,
             "battery level = " + std::to_string(power->level) + " %");
    }
    if (auto station = Exchange("station", kStation,
                                [&] { return GetStation(session_); })) {
      const sim::Station& expected = scene().station;
      Compare("easting", station->stationEasting, expected.easting,
              kDistanceTolerance, "m");
      Compare("northing", station->stationNorthing, expected.northing,
              kDistanceTolerance, "m");
      Compare("height", station->stationHeight, expected.height,
              kDistanceTolerance, "m");
      Compare("instrument height", station->instrumentHeight,
              expected.instrumentHeight, kDistanceTolerance, "m");
    }
    Exchange("set-atr-state on", kSetAtrState,
             [&] { return SetAtrState(session_, true); });
  }

  // Positions roughly onto the prism, as a host aiming at design
  // coordinates would, then lets target recognition find its centre.
  void AimAtStandingPrism(const sim::Point& prism) {
    const sim::Sight sight = sim::SightTo(scene().station, prism);
    const double roughHz = sight.direction.hz + 0.004;
    const double roughV = sight.direction.v - 0.003;
    Exchange("position near P1: hz " + FormatFixed(roughHz, 6) + " v " +
                 FormatFixed(roughV, 6),
             kPosition, [&] { return Position(session_, roughHz, roughV); });
    Exchange("fine-adjust", kFineAdjust,
             [&] { return FineAdjust(session_, 0.01, 0.01); });
    if (auto angles =
            Exchange("angles", kAngles, [&] { return GetAngles(session_); })) {
      Compare("hz", angles->hz, sight.direction.hz, kAngleTolerance, "rad");
      Compare("v ", angles->v, sight.direction.v, kAngleTolerance, "rad");
    }
    if (auto measured = Exchange("simple-measurement", kSimpleMeasurement, [&] {
          return GetSimpleMeasurement(session_);
        })) {
      Compare("hz", measured->hz, sight.direction.hz, kAngleTolerance, "rad");
      Compare("v ", measured->v, sight.direction.v, kAngleTolerance, "rad");
      Compare("slope distance", measured->slopeDistance, sight.slopeDistance,
              kDistanceTolerance, "m");
    }
  }

  // Locks onto the prism walking its path and reads the angles while the
  // telescope follows it.
  void FollowMovingPrism() {
    const sim::Sight start = sim::SightTo(scene().station, Prism("P2"));
    Exchange("position onto the moving prism P2", kPosition, [&] {
      return Position(session_, start.direction.hz, start.direction.v);
    });
    Exchange("set-lock-state on", kSetLockState,
             [&] { return SetLockState(session_, true); });
    Exchange("lock-in", kLockIn, [&] { return LockIn(session_); });
    const Clock::time_point until = Clock::now() + kFollowFor;
    while (Clock::now() < until) {
      std::this_thread::sleep_for(kFollowEvery);
      const sim::Sight before = sim::SightTo(scene().station, Prism("P2"));
      if (auto angles = Exchange("angles while following P2", kAngles,
                                 [&] { return GetAngles(session_); })) {
        Compare("hz", angles->hz, before.direction.hz, kFollowTolerance, "rad");
        Compare("v ", angles->v, before.direction.v, kFollowTolerance, "rad");
      }
    }
    if (auto status = Exchange("lock-status", kLockStatus,
                               [&] { return GetLockStatus(session_); })) {
      Expect(*status == MOT_LOCKED_IN, "still locked in");
    }
  }

  void RecoverFromDroppedReply() {
    instrument_.Faults().Inject(kAngles, sim::FaultKind::kDrop);
    const std::uint64_t timeoutsBefore = session_.Counts().timeouts;
    Print("the instrument will drop its next reply to angles\n");
    if (Exchange("angles, first reply dropped", kAngles,
                 [&] { return GetAngles(session_); })) {
      Expect(session_.Counts().timeouts == timeoutsBefore + 1,
             "timed out once, sent again, answered");
    }
  }

  sim::LoopbackInstrument instrument_;
  std::shared_ptr<Wire> wire_;
  BlockingSession session_;
  int exchanges_ = 0;
  int failures_ = 0;
};

}  // namespace

Runner AddDemo(CLI::App& app) {
  CLI::App* command = app.add_subcommand(
      "demo",
      "Run a host session against the virtual instrument with the default "
      "scene over loopback TCP: read the station, aim at a prism, measure "
      "it and compare with the scene's geometry, follow a moving prism, "
      "recover from a dropped reply.");
  command->footer(ExitStatusHelp({kExitOk, kExitFailure}));
  return [] {
    Demo demo;
    return demo.Run();
  };
}

}  // namespace geocom
