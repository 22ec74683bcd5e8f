#ifndef DAZOZAZIDOREZERARO_FUZZ_FUZZCHECK_H
#define DAZOZAZIDOREZERARO_FUZZ_FUZZCHECK_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

// A broken contract aborts, which libFuzzer reports as a crash and saves the
// input that caused it.
#define FUZZ_CHECK(condition)                                                  \
  do {                                                                         \
    if (!(condition)) {                                                        \
      std::fprintf(stderr, "%s:%d: contract broken: %s\n", __FILE__, __LINE__, \
                   #condition);                                                \
      std::abort();                                                            \
    }                                                                          \
  } while (false)

// The input from `offset` on as parameter text, with CR dropped since a
// recognised text never holds one.
inline std::string ParameterText(const std::uint8_t* data, std::size_t size,
                                 std::size_t offset) {
  std::string text;
  for (std::size_t i = offset; i < size; ++i) {
    if (data[i] != '\r') {
      text.push_back(static_cast<char>(data[i]));
    }
  }
  return text;
}

// Recognises a copy of the composed bytes held in a heap block of exactly
// their length, so that any read past the end is caught; the whole buffer
// must be consumed.
inline Core::GEOCOM::GeoComSentence RecogniseComposed(
    const Core::GEOCOM::GeoComSentence& composed) {
  const unsigned char* data = nullptr;
  int length = 0;
  composed.GetBuffer(data, length);
  const auto size = static_cast<std::size_t>(length);
  auto bytes = std::make_unique<unsigned char[]>(size);
  std::memcpy(bytes.get(), data, size);

  Core::GEOCOM::GeoComSentence received;
  int lastByte = -1;
  FUZZ_CHECK(received.CreateMessageFromBuffer(bytes.get(), length, lastByte));
  FUZZ_CHECK(lastByte == length - 1);
  return received;
}

#endif
