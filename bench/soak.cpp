// Soak: many calls through host::Session against virtual instruments that
// apply every fault kind at a rate, counting how the calls end and whether
// any result was paired with another call's reply.
//
//   dazo_soak [--calls N] [--workers N] [--rate R] [--timeout-ms N] [--seed N]
//
// Each worker talks to an instrument of its own, alternately setting the
// station to values no other call uses and reading it back. A reading is
// mis-paired when its reply carries another sequence number than its
// request, does not decode, or gives a station that no set-station the
// worker sent since the last confirmed one could have left.
#include <DazoZazIdoRezeraro/host/ArgumentChecks.h>
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Core::GEOCOM;
namespace sim = Core::GEOCOM::simulator;
using std::chrono::milliseconds;

struct Settings {
  std::uint64_t calls = 100000;
  std::uint64_t workers = 16;
  double rate = 0.05;
  std::uint64_t timeoutMs = 40;
  std::uint64_t seed = 1;
};

struct Totals {
  std::atomic<std::uint64_t> succeeded{0};
  std::atomic<std::uint64_t> timedOut{0};
  std::atomic<std::uint64_t> closed{0};
  std::atomic<std::uint64_t> invalid{0};
  std::atomic<std::uint64_t> other{0};
  std::atomic<std::uint64_t> misPaired{0};
};

template <typename Number>
bool Read(const char* text, Number& value) {
  const char* end = text + std::strlen(text);
  const auto read = std::from_chars(text, end, value);
  return read.ec == std::errc() && read.ptr == end;
}

bool ParseSettings(int argc, char** argv, Settings& settings) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const char* value = argv[i + 1];
    const bool read = name == "--calls"        ? Read(value, settings.calls)
                      : name == "--workers"    ? Read(value, settings.workers)
                      : name == "--rate"       ? Read(value, settings.rate)
                      : name == "--timeout-ms" ? Read(value, settings.timeoutMs)
                      : name == "--seed"       ? Read(value, settings.seed)
                                               : false;
    if (!read) {
      std::fprintf(stderr, "dazo_soak: bad option %s %s\n", name.c_str(),
                   value);
      return false;
    }
  }
  if (argc % 2 == 0 || settings.workers == 0 || settings.timeoutMs == 0 ||
      !(settings.rate >= 0) || settings.rate * 8 > 1) {
    std::fprintf(stderr,
                 "usage: dazo_soak [--calls N] [--workers N] [--rate R "
                 "(at most 0.125)] [--timeout-ms N] [--seed N]\n");
    return false;
  }
  return true;
}

// Whether the reply carries the sequence number its request was sent with.
bool SameSequence(const host::Reply& reply) {
  GeoComSentence request;
  int last = 0;
  return request.CreateMessageFromBuffer(
             reinterpret_cast<const unsigned char*>(reply.request.data()),
             static_cast<int>(reply.request.size()), last) &&
         request.GetSequenceID() == reply.sequence &&
         reply.sentence.GetSequenceID() == reply.sequence;
}

void Count(Totals& totals, const host::Error& error) {
  switch (error.kind) {
    case host::ErrorKind::kTimeout:
      ++totals.timedOut;
      return;
    case host::ErrorKind::kClosed:
      ++totals.closed;
      return;
    case host::ErrorKind::kInvalidReply:
      ++totals.invalid;
      return;
    default:
      ++totals.other;
  }
}

void Work(const Settings& settings, std::uint64_t worker, std::uint64_t calls,
          Totals& totals) {
  sim::LoopbackOptions options;
  options.seed = settings.seed + worker;
  for (const sim::FaultKind kind : sim::FaultKinds()) {
    options.faults.push_back({kind, settings.rate});
  }
  const milliseconds timeout(settings.timeoutMs);
  options.faultTiming = {timeout, timeout / 2, milliseconds(2)};
  sim::LoopbackInstrument instrument(options);
  host::BlockingSession session =
      host::BlockingSession::Connect(instrument.Address());
  host::CallOptions call;
  call.timeout = timeout;

  // Station eastings the instrument may hold now.
  std::set<double> possible{options.scene.station.easting};
  for (std::uint64_t i = 0; i < calls; ++i) {
    const double easting = static_cast<double>(worker * calls + i + 1);
    const bool set = i % 2 == 0;
    const host::Result<host::Reply> result =
        set ? session.TryCall(
                  host::kSetStation,
                  host::PackArguments(*host::FindProcedure(host::kSetStation),
                                      {{"easting", easting},
                                       {"northing", -easting},
                                       {"height", 0.0},
                                       {"instrument_height", 1.5}})
                      .value(),
                  call)
            : session.TryCall(host::kStation, "", call);
    if (!result) {
      Count(totals, result.error());
      if (set) possible.insert(easting);
      if (result.error().kind == host::ErrorKind::kClosed) {
        session = host::BlockingSession::Connect(instrument.Address());
      }
      continue;
    }
    ++totals.succeeded;
    TMC_Station station{};
    if (!SameSequence(*result) ||
        (!set && (!result->sentence.UnPack(station) ||
                  possible.count(station.stationEasting) == 0))) {
      ++totals.misPaired;
    }
    possible = {set ? easting : station.stationEasting};
  }
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (!ParseSettings(argc, argv, settings)) return 2;
  std::printf(
      "soak: %llu calls, %llu workers, every fault kind at %g, "
      "time-out %llu ms\n",
      static_cast<unsigned long long>(settings.calls),
      static_cast<unsigned long long>(settings.workers), settings.rate,
      static_cast<unsigned long long>(settings.timeoutMs));
  std::fflush(stdout);
  Totals totals;
  const auto started = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (std::uint64_t w = 0; w < settings.workers; ++w) {
    const std::uint64_t share = settings.calls / settings.workers +
                                (w < settings.calls % settings.workers ? 1 : 0);
    threads.emplace_back(Work, std::cref(settings), w, share, std::ref(totals));
  }
  for (std::thread& thread : threads) thread.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
          .count();
  const auto n = [](const std::atomic<std::uint64_t>& value) {
    return static_cast<unsigned long long>(value.load());
  };
  std::printf(
      "succeeded %llu, timed out %llu, failed %llu (closed %llu, invalid "
      "reply %llu, other %llu)\nmis-paired %llu\nelapsed %.1f s\n",
      n(totals.succeeded), n(totals.timedOut),
      n(totals.closed) + n(totals.invalid) + n(totals.other), n(totals.closed),
      n(totals.invalid), n(totals.other), n(totals.misPaired), seconds);
  return totals.misPaired == 0 && totals.other == 0 ? 0 : 1;
}
