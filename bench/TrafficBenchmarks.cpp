// The traffic tools against baselines measured in the same run: a round trip
// through the recording relay against the same round trip straight to the
// peer, and decoding a capture with typed values against counting its lines.
#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <DazoZazIdoRezeraro/host/TrafficDecoder.h>
#include "DecodeFormat.h"
#include "Relay.h"
#include "RelayCapture.h"

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace Core::GEOCOM::host;

std::string TemporaryPath(const char* name) {
  return (std::filesystem::temp_directory_path() /
          ("geocom-bench-" + std::to_string(::getpid()) + "-" + name))
      .string();
}

// A loopback peer that sends back whatever it receives, one thread per
// connection, and a relay in front of it that records into a file.
class Loopback {
 public:
  Loopback()
      : echo_(io_, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)),
        capturePath_(TemporaryPath("relay.jsonl")),
        capture_(capturePath_) {
    geocom::InstrumentLine instrument;
    instrument.tcp = Endpoint{"127.0.0.1", echo_.local_endpoint().port()};
    relay_ = std::make_unique<geocom::Relay>(relayIo_, Endpoint{"127.0.0.1", 0},
                                             instrument);
    relay_->Start(capture_);
    echoThread_ = std::thread([this] { Echo(); });
    relayThread_ = std::thread([this] { relayIo_.run(); });
  }

  ~Loopback() {
    asio::post(relayIo_, [this] { relay_->Stop(); });
    relayThread_.join();
    // A last connection wakes the echo thread from its accept.
    stopping_ = true;
    tcp::socket wake(io_);
    boost::system::error_code ignored;
    wake.connect(echo_.local_endpoint(), ignored);
    echoThread_.join();
    std::filesystem::remove(capturePath_);
  }

  unsigned short EchoPort() const { return echo_.local_endpoint().port(); }
  unsigned short RelayPort() const { return relay_->Local().port; }

 private:
  void Echo() {
    for (;;) {
      auto peer = std::make_shared<tcp::socket>(io_);
      boost::system::error_code error;
      echo_.accept(*peer, error);
      if (error || stopping_) return;
      peer->set_option(tcp::no_delay(true), error);
      std::thread([peer] {
        std::array<char, 4096> buffer{};
        boost::system::error_code failure;
        for (;;) {
          const std::size_t count =
              peer->read_some(asio::buffer(buffer), failure);
          if (failure) return;
          asio::write(*peer, asio::buffer(buffer.data(), count), failure);
          if (failure) return;
        }
      }).detach();
    }
  }

  asio::io_context io_;
  tcp::acceptor echo_;
  asio::io_context relayIo_;
  std::string capturePath_;
  geocom::RelayCapture capture_;
  std::unique_ptr<geocom::Relay> relay_;
  std::atomic<bool> stopping_{false};
  std::thread echoThread_;
  std::thread relayThread_;
};

Loopback& SharedLoopback() {
  static Loopback loopback;
  return loopback;
}

// One sentence out and the same back, as a host's request and its reply.
void RoundTrips(benchmark::State& state, unsigned short port) {
  asio::io_context io;
  tcp::socket socket(io);
  socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
  socket.set_option(tcp::no_delay(true));
  const std::string sentence = "%R1Q," + std::to_string(kAngles) + ",1:1\r\n";
  std::string back(sentence.size(), '\0');
  for (auto _ : state) {
    asio::write(socket, asio::buffer(sentence));
    asio::read(socket, asio::buffer(back));
  }
  if (back != sentence) state.SkipWithError("the echo differs");
}

void Relay_RoundTrip_Baseline(benchmark::State& state) {
  RoundTrips(state, SharedLoopback().EchoPort());
}
BENCHMARK(Relay_RoundTrip_Baseline)->UseRealTime();

void Relay_RoundTrip_Library(benchmark::State& state) {
  RoundTrips(state, SharedLoopback().RelayPort());
}
BENCHMARK(Relay_RoundTrip_Library)->UseRealTime();

constexpr unsigned kSentences = 100000;

// A recorded session of kSentences requests and replies, each with values
// that decode to named fields.
// A file removed when the program ends.
struct TemporaryFile {
  std::string path;
  ~TemporaryFile() { std::filesystem::remove(path); }
};

const std::string& CaptureFile() {
  static const TemporaryFile capture{[] {
    const std::string file = TemporaryPath("decode.jsonl");
    std::ofstream out(file, std::ios::binary);
    CaptureWriter writer(out);
    const struct {
      ProcedureId procedure;
      const char* arguments;
      const char* values;
    } kExchanges[] = {
        {kAngles, "1", ",0.7853981634,1.570796327"},
        {kStation, "", ",1000.5,2000.25,100,1.6"},
        {kSetStation, "1000.500000,2000.250000,100.000000,1.600000", ""},
        {kInstrumentNumber, "", ",412237"},
    };
    for (unsigned i = 0; i < kSentences / 2; ++i) {
      const auto& exchange = kExchanges[i % 4];
      const std::string sequence = std::to_string(i % 32768);
      const double time = i * 0.01;
      CaptureRecord request;
      request.time = time;
      request.direction = CaptureDirection::kToInstrument;
      request.bytes = "%R1Q," + std::to_string(exchange.procedure) + "," +
                      sequence + ":" + exchange.arguments + "\r\n";
      writer.Write(request);
      CaptureRecord reply;
      reply.time = time + 0.004;
      reply.direction = CaptureDirection::kToHost;
      reply.bytes = "%R1P,0," + sequence + ":0" + exchange.values + "\r\n";
      writer.Write(reply);
    }
    return file;
  }()};
  return capture.path;
}

void Traffic_Decode100k_Library(benchmark::State& state) {
  std::size_t output = 0;
  for (auto _ : state) {
    std::ifstream in(CaptureFile(), std::ios::binary);
    CaptureReader reader(in);
    std::size_t typed = 0;
    TrafficDecoder decoder([&](TrafficRecord&& record) {
      if (record.fields) ++typed;
      output += geocom::FormatJson(record).size();
    });
    for (;;) {
      auto next = reader.Next();
      if (!next || !*next) break;
      decoder.Add(**next);
    }
    decoder.Finish();
    if (typed != kSentences) state.SkipWithError("not every sentence decoded");
  }
  benchmark::DoNotOptimize(output);
  state.counters["sentences"] = kSentences;
}
BENCHMARK(Traffic_Decode100k_Library)->Unit(benchmark::kMillisecond);

// What wc -l does: read the file in large pieces and count newlines.
void Traffic_Decode100k_Baseline(benchmark::State& state) {
  std::size_t lines = 0;
  for (auto _ : state) {
    lines = 0;
    std::FILE* file = std::fopen(CaptureFile().c_str(), "rb");
    std::array<char, 65536> buffer{};
    for (;;) {
      const std::size_t count =
          std::fread(buffer.data(), 1, buffer.size(), file);
      if (count == 0) break;
      const char* at = buffer.data();
      const char* end = at + count;
      while ((at = static_cast<const char*>(std::memchr(
                  at, '\n', static_cast<std::size_t>(end - at)))) != nullptr) {
        ++lines;
        ++at;
      }
    }
    std::fclose(file);
  }
  if (lines != kSentences + 1) state.SkipWithError("wrong line count");
  state.counters["sentences"] = kSentences;
}
BENCHMARK(Traffic_Decode100k_Baseline)->Unit(benchmark::kMillisecond);

// CPU time, user and system, that the waited-for children have used.
double ChildrenCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) +
           static_cast<double>(time.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs the program on the capture with its output thrown away, timed by the
// CPU time the process used: what a person sees as the command's cost,
// whatever else the machine runs.
void RunOnCapture(benchmark::State& state, std::vector<std::string> arguments) {
  arguments.push_back(CaptureFile());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null",
                                     O_WRONLY, 0);
  for (auto _ : state) {
    const double before = ChildrenCpuSeconds();
    pid_t child = 0;
    int status = 0;
    if (::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(),
                       environ) != 0 ||
        ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      state.SkipWithError("the program failed");
      break;
    }
    state.SetIterationTime(ChildrenCpuSeconds() - before);
  }
  ::posix_spawn_file_actions_destroy(&actions);
  state.counters["sentences"] = kSentences;
}

// geocom decode --json against wc -l, both as whole processes on the same
// file.
void Traffic_DecodeJsonProcess_Library(benchmark::State& state) {
  RunOnCapture(state, {GEOCOM_PROGRAM, "decode", "--json"});
}
BENCHMARK(Traffic_DecodeJsonProcess_Library)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void Traffic_DecodeJsonProcess_Baseline(benchmark::State& state) {
  RunOnCapture(state, {"wc", "-l"});
}
BENCHMARK(Traffic_DecodeJsonProcess_Baseline)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
