// One whole exchange on the host's side: pack and compose the request,
// recognise the instrument's 20-field angle reply and decode it. Its cost is
// set against the time that the request and reply bytes take on a
// 115200-baud serial line at 10 bits per byte (counter line_ns).
#include <benchmark/benchmark.h>

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <string>

#include "Samples.h"

namespace {

using namespace Core::GEOCOM;

// Any procedure does; angles is what a host asks most often.
constexpr unsigned short kProcedure = Core::GEOCOM::host::kAngles;
constexpr double kBaud = 115200.0;
constexpr double kBitsPerByte = 10.0;

void Exchange_Angles_Library(benchmark::State& state) {
  const std::string reply = samples::Reply(0, samples::kAngleParameters);
  const auto replyLength = static_cast<int>(reply.size());
  GeoComSentence request;
  GeoComSentence received;
  int requestLength = 0;
  for (auto _ : state) {
    request.CreateRequest(kProcedure, request.Pack(1));
    const unsigned char* requestBytes = nullptr;
    request.GetBuffer(requestBytes, requestLength);
    benchmark::DoNotOptimize(requestBytes);

    int lastByte = 0;
    received.CreateMessageFromBuffer(samples::Bytes(reply), replyLength,
                                     lastByte);
    TMC_ANGLE angle;
    TMC_RAW_INCLINE rawIncline;
    TMC_RAW_ANGLE rawAngle;
    const bool decoded = received.UnPack(angle, rawIncline, rawAngle);
    benchmark::DoNotOptimize(decoded);
    benchmark::DoNotOptimize(angle);
    benchmark::DoNotOptimize(rawIncline);
    benchmark::DoNotOptimize(rawAngle);
  }
  const double bytes = requestLength + replyLength;
  state.counters["bytes"] = bytes;
  state.counters["line_ns"] = bytes * kBitsPerByte / kBaud * 1e9;
}

}  // namespace

BENCHMARK(Exchange_Angles_Library);
