// Composing a request: a packer and CreateRequest, against snprintf writing
// the same sentence. Each baseline is checked to produce the library's text.
#include <benchmark/benchmark.h>

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <cstdio>
#include <string>

namespace {

using namespace Core::GEOCOM;

// Any procedure does; angles is what a host asks most often.
constexpr unsigned short kProcedure = Core::GEOCOM::host::kAngles;
constexpr int kScalar = -123456;
constexpr double kSpeedHz = 0.123456789;
constexpr double kSpeedV = -0.987654321;
const TMC_RAW_ANGLE kRawAngle{true, 0.785398163, 1.570796327, 0.000123,
                              123456789};
const TMC_ANGLE kAngle{0.785398163,
                       1.570796327,
                       0.000003,
                       123456789,
                       TMC_Incline{0.000123, -0.000245, 0.00001, 123456790},
                       TMC_FACE_2};

unsigned short Advance(unsigned short sequence) {
  return static_cast<unsigned short>((sequence + 1) & 0x7FFF);
}

// The text snprintf writes for the scalar, the pair or the record pack.
int WriteScalar(char* out, std::size_t size, unsigned short sequence) {
  return std::snprintf(out, size, "%%R1Q,%u,%u:%d\r\n", kProcedure, sequence,
                       kScalar);
}

int WritePair(char* out, std::size_t size, unsigned short sequence) {
  return std::snprintf(out, size, "%%R1Q,%u,%u:%.6f,%.6f\r\n", kProcedure,
                       sequence, kSpeedHz, kSpeedV);
}

// Plain directives render doubles as %g does: six significant digits.
int WriteRecords(char* out, std::size_t size, unsigned short sequence) {
  const TMC_RAW_ANGLE& r = kRawAngle;
  const TMC_ANGLE& a = kAngle;
  const TMC_Incline& i = a.incline;
  return std::snprintf(
      out, size,
      "%%R1Q,%u,%u:%d,%g,%g,%g,%d,%g,%g,%g,%d,%g,%g,%g,%d,%d,"
      "%d,%g,%g,%g,%d,%g,%g,%g,%d,%g,%g,%g,%d,%d\r\n",
      kProcedure, sequence, r.flag ? 1 : 0, r.value1, r.value2, r.value3,
      r.time, a.hz, a.v, a.angleAccuracy, a.angleTime, i.crossIncline,
      i.lengthIncline, i.accuracy, i.time, static_cast<int>(a.face),
      r.flag ? 1 : 0, r.value1, r.value2, r.value3, r.time, a.hz, a.v,
      a.angleAccuracy, a.angleTime, i.crossIncline, i.lengthIncline, i.accuracy,
      i.time, static_cast<int>(a.face));
}

std::string PackScalar(const GeoComSentence& s) { return s.Pack(kScalar); }

std::string PackPair(const GeoComSentence& s) {
  return s.PackMotorSetVelocityRequest(kSpeedHz, kSpeedV);
}

std::string PackRecords(const GeoComSentence& s) {
  return s.Pack(kRawAngle, kAngle, kRawAngle, kAngle);
}

using Writer = int (*)(char*, std::size_t, unsigned short);
using Packer = std::string (*)(const GeoComSentence&);

bool SameText(Packer pack, Writer write) {
  GeoComSentence::ResetSequenceID();
  GeoComSentence sentence;
  sentence.CreateRequest(kProcedure, pack(sentence));
  char buffer[1024];
  const int length = write(buffer, sizeof buffer, 0);
  return sentence.GetStringCommand() ==
         std::string(buffer, static_cast<std::size_t>(length));
}

void ComposeWithLibrary(benchmark::State& state, Packer pack, Writer write) {
  if (!SameText(pack, write)) {
    state.SkipWithError("the snprintf baseline composes a different text");
    return;
  }
  GeoComSentence sentence;
  for (auto _ : state) {
    sentence.CreateRequest(kProcedure, pack(sentence));
    benchmark::DoNotOptimize(sentence);
  }
}

void ComposeWithSnprintf(benchmark::State& state, Writer write) {
  std::string sentence;
  unsigned short sequence = 0;
  for (auto _ : state) {
    char buffer[1024];
    const int length = write(buffer, sizeof buffer, sequence);
    sentence.assign(buffer, static_cast<std::size_t>(length));
    sequence = Advance(sequence);
    benchmark::DoNotOptimize(sentence);
  }
}

void Compose_Scalar_Library(benchmark::State& state) {
  ComposeWithLibrary(state, PackScalar, WriteScalar);
}
void Compose_Scalar_Baseline(benchmark::State& state) {
  ComposeWithSnprintf(state, WriteScalar);
}
void Compose_SixDecimalPair_Library(benchmark::State& state) {
  ComposeWithLibrary(state, PackPair, WritePair);
}
void Compose_SixDecimalPair_Baseline(benchmark::State& state) {
  ComposeWithSnprintf(state, WritePair);
}
void Compose_RecordPack28_Library(benchmark::State& state) {
  ComposeWithLibrary(state, PackRecords, WriteRecords);
}
void Compose_RecordPack28_Baseline(benchmark::State& state) {
  ComposeWithSnprintf(state, WriteRecords);
}

}  // namespace

BENCHMARK(Compose_Scalar_Library);
BENCHMARK(Compose_Scalar_Baseline);
BENCHMARK(Compose_SixDecimalPair_Library);
BENCHMARK(Compose_SixDecimalPair_Baseline);
BENCHMARK(Compose_RecordPack28_Library);
BENCHMARK(Compose_RecordPack28_Baseline);
