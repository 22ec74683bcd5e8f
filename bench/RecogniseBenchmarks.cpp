// Recognising received bytes: a typical reply, a request, and a mebibyte of
// noise that holds no sentence, the last against memchr looking for the
// sentence start over the same bytes.
#include <benchmark/benchmark.h>

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstring>
#include <random>
#include <string>

#include "Samples.h"

namespace {

using Core::GEOCOM::GeoComSentence;

const std::string kReply =
    samples::Reply(17, ",0.785398163,1.570796327,123.4567");
const std::string kRequest = "%R1Q,9027,41:1.500000,2.250000,0,0,0\r\n";

// Random bytes without a "%", so that no sentence can start anywhere.
std::string Noise() {
  std::string noise(1 << 20, '\0');
  std::mt19937 generator(20240315);
  std::uniform_int_distribution<int> byte(0, 255);
  for (char& c : noise) {
    const int value = byte(generator);
    c = static_cast<char>(value == '%' ? '#' : value);
  }
  return noise;
}

const std::string& NoiseBuffer() {
  static const std::string noise = Noise();
  return noise;
}

void Recognise(benchmark::State& state, const std::string& bytes,
               bool expected) {
  GeoComSentence sentence;
  const auto length = static_cast<int>(bytes.size());
  for (auto _ : state) {
    int lastByte = -1;
    const bool recognised = sentence.CreateMessageFromBuffer(
        samples::Bytes(bytes), length, lastByte);
    if (recognised != expected) {
      state.SkipWithError("unexpected recognition result");
      break;
    }
    benchmark::DoNotOptimize(lastByte);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          length);
}

void Recognise_Reply_Library(benchmark::State& state) {
  Recognise(state, kReply, true);
}
void Recognise_Request_Library(benchmark::State& state) {
  Recognise(state, kRequest, true);
}
void Recognise_Noise1MiB_Library(benchmark::State& state) {
  Recognise(state, NoiseBuffer(), false);
}

void Recognise_Noise1MiB_Baseline(benchmark::State& state) {
  const std::string& noise = NoiseBuffer();
  for (auto _ : state) {
    const void* start = std::memchr(noise.data(), '%', noise.size());
    benchmark::DoNotOptimize(start);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(noise.size()));
}

}  // namespace

BENCHMARK(Recognise_Reply_Library);
BENCHMARK(Recognise_Request_Library);
BENCHMARK(Recognise_Noise1MiB_Library);
BENCHMARK(Recognise_Noise1MiB_Baseline);
