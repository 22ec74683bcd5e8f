#ifndef DAZOZAZIDOREZERARO_CODEC_NUMBERPARSER_H
#define DAZOZAZIDOREZERARO_CODEC_NUMBERPARSER_H

#include <istream>
#include <locale>
#include <streambuf>
#include <string_view>

#include "codec/PerThread.h"

namespace Core::GEOCOM::codec {

namespace detail {

// Presents a field to the stream where it lies, without copying it. The
// stream only reads the characters, so they are never written through the
// pointers that the stream buffer interface asks for.
class FieldBuffer : public std::streambuf {
 public:
  void Show(std::string_view field) {
    char* const begin = const_cast<char*>(field.data());
    setg(begin, begin, begin + field.size());
  }
};

// An input stream in its default state (decimal base, skipping leading white
// space), imbued once with the classic locale so that a host's global locale
// cannot change the decimal point or add grouping. Building and imbuing a
// stream is most of the cost of reading a field, and numeric extraction
// changes none of that state, so each thread reuses one, clearing only its
// error state.
class FieldStream {
 public:
  FieldStream() : stream_(&buffer_) { stream_.imbue(std::locale::classic()); }
  FieldStream(const FieldStream&) = delete;
  FieldStream& operator=(const FieldStream&) = delete;

  template <typename Number>
  bool Extract(std::string_view field, Number& value) {
    buffer_.Show(field);
    stream_.clear();
    stream_ >> value;
    return !stream_.fail();
  }

 private:
  FieldBuffer buffer_;
  std::istream stream_;
};

}  // namespace detail

// Formatted stream extraction of one number straight into the output: leading
// white space is skipped, whatever follows the number is ignored, and a value
// beyond the type's range fails.
template <typename Number>
bool ParseNumber(std::string_view field, Number& value);

// A double as the formatted extraction reads it in the classic locale, with
// the same result and the same value left in the output, without a stream:
// the characters the extraction would take are gathered as it gathers them
// and converted by the same C-locale strtod. Most of a stream's cost is its
// machinery, not the conversion, and replies are mostly doubles.
template <>
bool ParseNumber<double>(std::string_view field, double& value);

template <typename Number>
bool ParseNumber(std::string_view field, Number& value) {
  if (detail::FieldStream* const stream = ThisThreads<detail::FieldStream>()) {
    return stream->Extract(field, value);
  }
  detail::FieldStream stream;
  return stream.Extract(field, value);
}

}  // namespace Core::GEOCOM::codec

#endif
