#ifndef DAZOZAZIDOREZERARO_HOST_PLAINTEXT_H
#define DAZOZAZIDOREZERARO_HOST_PLAINTEXT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Core::GEOCOM::host {

// Whether each byte is plain text: printable ASCII other than the quote and
// the backslash, the bytes a JSON string holds as they are and of which a
// capture line's strings are nearly made.
inline constexpr std::array<bool, 256> kPlain = [] {
  std::array<bool, 256> plain{};
  for (std::size_t byte = 0x20; byte < 0x7f; ++byte) plain[byte] = true;
  plain['"'] = plain['\\'] = false;
  return plain;
}();

inline bool IsPlain(char byte) {
  return kPlain[static_cast<unsigned char>(byte)];
}

// Nonzero when one of the eight bytes in the word is not plain. Each test
// flags the high bit of a byte, and any carry or borrow that spills into the
// next byte starts at a byte that is itself flagged, so no such byte is
// missed.
inline std::uint64_t NotPlainIn(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kHighs = 0x8080808080808080;
  const auto below = [](std::uint64_t bytes, std::uint64_t limit) {
    return (bytes - limit * kOnes) & ~bytes & kHighs;
  };
  return (word & kHighs) | ((word + kOnes) & kHighs) |  // 0x7f and above
         below(word, 0x20) | below(word ^ 0x2222222222222222, 1) |
         below(word ^ 0x5c5c5c5c5c5c5c5c, 1);
}

// How many bytes from at on are plain, sixteen or eight tested at a time.
// In a word of eight, the lowest byte flagged is the first that is not
// plain: a flag that a carry or borrow raised wrongly lies above the byte
// it came from.
inline std::size_t PlainRun(const char* at, const char* end) {
  const char* const start = at;
#if defined(__SSE2__)
  // Sixteen bytes at a time where every such machine has the instructions:
  // a byte is flagged when it is below the space (bytes above 0x7f among
  // them, as signed), DEL, the quote or the backslash.
  const auto notPlainIn16 = [](const char* bytes) {
    const __m128i word =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const auto is = [&word](char byte) {
      return _mm_cmpeq_epi8(word, _mm_set1_epi8(byte));
    };
    const __m128i flags = _mm_or_si128(
        _mm_or_si128(_mm_cmplt_epi8(word, _mm_set1_epi8(0x20)), is(0x7f)),
        _mm_or_si128(is('"'), is('\\')));
    return static_cast<unsigned>(_mm_movemask_epi8(flags));
  };
  for (; end - at >= 16; at += 16) {
    if (const unsigned flags = notPlainIn16(at)) {
      return static_cast<std::size_t>(at - start) +
             static_cast<std::size_t>(__builtin_ctz(flags));
    }
  }
  // Fewer than sixteen left: the last sixteen bytes tell where the rest
  // stops being plain, as below for eight.
  if (end - start >= 16) {
    const unsigned flags = notPlainIn16(end - 16);
    return static_cast<std::size_t>(end - 16 - start) +
           (flags == 0 ? 16 : static_cast<std::size_t>(__builtin_ctz(flags)));
  }
#endif
  // The first byte lowest, whatever the machine's order.
  const auto wordAt = [](const char* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    return word;
  };
  const auto firstFlagged = [](std::uint64_t flags) {
    return static_cast<std::size_t>(__builtin_ctzll(flags)) / 8;
  };
  for (; end - at >= 8; at += 8) {
    if (const std::uint64_t flags = NotPlainIn(wordAt(at))) {
      return static_cast<std::size_t>(at - start) + firstFlagged(flags);
    }
  }
  // Fewer than eight left: the last eight bytes tell where the rest stops
  // being plain, those before at in them being plain.
  if (end - start >= 8) {
    const std::uint64_t flags = NotPlainIn(wordAt(end - 8));
    return static_cast<std::size_t>(end - 8 - start) +
           (flags == 0 ? 8 : firstFlagged(flags));
  }
  while (at != end && IsPlain(*at)) ++at;
  return static_cast<std::size_t>(at - start);
}

// The value of a lower-case hex digit of a byte's escape; -1 for any other.
inline int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  return -1;
}

// The escape that stands for a byte in the escaped form of raw bytes
// ("\\r", "\\x07", "\\\\"), written into escape; returns its length, 0
// for a byte that stands for itself (printable ASCII but the backslash).
constexpr std::size_t ByteEscape(unsigned char byte, char (&escape)[4]) {
  constexpr char kHex[] = "0123456789abcdef";
  if (byte >= 0x20 && byte <= 0x7e && byte != '\\') return 0;
  escape[0] = '\\';
  switch (byte) {
    case '\\':
      escape[1] = '\\';
      return 2;
    case '\r':
      escape[1] = 'r';
      return 2;
    case '\n':
      escape[1] = 'n';
      return 2;
    case '\t':
      escape[1] = 't';
      return 2;
    default:
      escape[1] = 'x';
      escape[2] = kHex[byte >> 4];
      escape[3] = kHex[byte & 0x0f];
      return 4;
  }
}

}  // namespace Core::GEOCOM::host

#endif
