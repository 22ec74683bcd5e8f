#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstring>

namespace Core::GEOCOM {

namespace {

constexpr unsigned char kCarriageReturn = '\r';
constexpr unsigned char kLineFeed = '\n';
constexpr char kRequestPrefix[] = "%R1Q,";
constexpr char kReplyPrefix[] = "%R1P,0,";
constexpr unsigned char kPrefixStart = '%';
constexpr int kRequestPrefixLength = sizeof(kRequestPrefix) - 1;
constexpr int kReplyPrefixLength = sizeof(kReplyPrefix) - 1;

// A reply cut off by the end of the buffer is accepted, when the host armed
// it, only if the buffer is at least this long ...
constexpr int kUnterminatedMinimumLength = 64;
// ... and the last "." collected lies more than this many bytes before the
// buffer's end, so that a number still being received is not cut short.
constexpr int kUnterminatedMinimumPointDistance = 7;

enum State { kSeek, kFirstNumber, kSecondNumber, kParameters };

bool IsDigit(unsigned char byte) { return byte >= '0' && byte <= '9'; }

// Numbers wrap modulo 65536 instead of failing.
void AccumulateDigit(unsigned short& number, unsigned char digit) {
  number = static_cast<unsigned short>(number * 10 + (digit - '0'));
}

bool PrefixAt(const unsigned char* buffer, int length, int position,
              const char* prefix, int prefixLength) {
  return length - position >= prefixLength &&
         std::memcmp(buffer + position, prefix,
                     static_cast<std::size_t>(prefixLength)) == 0;
}

// In the seek state only a "%" can start a sentence, so the bytes in front of
// the next one change nothing and are passed over at once. Without a "%" the
// scan goes on at the buffer's last byte, where the unterminated-reply rule
// still looks at it as it would have after a walk byte by byte.
int NextPossiblePrefix(const unsigned char* buffer, int length, int position) {
  const void* percent =
      std::memchr(buffer + position, kPrefixStart,
                  static_cast<std::size_t>(length - position));
  return percent != nullptr
             ? static_cast<int>(static_cast<const unsigned char*>(percent) -
                                buffer)
             : length - 1;
}

// The LF after the terminating CR is optional and belongs to the sentence.
int TerminatorEnd(const unsigned char* buffer, int length, int crPosition) {
  const int next = crPosition + 1;
  return next < length && buffer[next] == kLineFeed ? next : crPosition;
}

std::string BytesBetween(const unsigned char* buffer, int first, int end) {
  return std::string(reinterpret_cast<const char*>(buffer + first),
                     static_cast<std::size_t>(end - first));
}

}  // namespace

bool GeoComSentence::CreateMessageFromBuffer(const unsigned char* buffer,
                                             int length, int& lastByteIndex) {
  if (CreateResponseFromBuffer(buffer, length, lastByteIndex)) {
    return true;
  }
  return CreateRequestFromBuffer(buffer, length, lastByteIndex);
}

bool GeoComSentence::CreateRequestFromBuffer(const unsigned char* buffer,
                                             int length, int& lastByteIndex) {
  State state = kSeek;
  unsigned short procedure = 0;
  unsigned short sequence = 0;
  bool digitSeen = false;
  int textStart = 0;
  int sentenceEnd = -1;
  int position = 0;

  for (; position < length; ++position) {
    if (state == kSeek) {
      position = NextPossiblePrefix(buffer, length, position);
    }
    const unsigned char byte = buffer[position];
    if (state == kSeek) {
      if (PrefixAt(buffer, length, position, kRequestPrefix,
                   kRequestPrefixLength)) {
        position += kRequestPrefixLength - 1;
        procedure = 0;
        digitSeen = false;
        state = kFirstNumber;
      }
    } else if (state == kFirstNumber) {
      if (IsDigit(byte)) {
        AccumulateDigit(procedure, byte);
        digitSeen = true;
      } else if (byte == ',' && digitSeen) {
        sequence = 0;
        digitSeen = false;
        state = kSecondNumber;
      } else if (byte == ':' && digitSeen) {
        // A request without a sequence number.
        sequence = 0;
        textStart = position + 1;
        state = kParameters;
      } else {
        state = kSeek;
      }
    } else if (state == kSecondNumber) {
      if (IsDigit(byte)) {
        AccumulateDigit(sequence, byte);
        digitSeen = true;
      } else if (byte == ':' && digitSeen) {
        textStart = position + 1;
        state = kParameters;
      } else if (byte == kCarriageReturn && digitSeen) {
        // A request without a colon and without parameters.
        textStart = position;
        sentenceEnd = TerminatorEnd(buffer, length, position);
        break;
      } else {
        state = kSeek;
      }
    } else if (byte == kCarriageReturn) {
      sentenceEnd = TerminatorEnd(buffer, length, position);
      break;
    }
  }

  const bool done = sentenceEnd >= 0;
  // Collected before the object changes, so that exhausted memory leaves it
  // as it was.
  std::string parameters =
      done ? BytesBetween(buffer, textStart, position) : std::string();
  Reset();
  if (!done) {
    return false;
  }
  type = TYPE_REQUEST;
  geocomID = procedure;
  seqID = sequence;
  command = std::move(parameters);
  lastByteIndex = sentenceEnd;
  return true;
}

bool GeoComSentence::CreateResponseFromBuffer(const unsigned char* buffer,
                                              int length, int& lastByteIndex) {
  State state = kSeek;
  unsigned short sequence = 0;
  unsigned short returnCode = 0;
  bool digitSeen = false;
  int textStart = 0;
  int textEnd = 0;
  int lastPoint = 0;
  int sentenceEnd = -1;
  bool unterminated = false;

  for (int position = 0; position < length; ++position) {
    if (state == kSeek) {
      position = NextPossiblePrefix(buffer, length, position);
    }
    const unsigned char byte = buffer[position];
    if (state == kSeek) {
      if (PrefixAt(buffer, length, position, kReplyPrefix,
                   kReplyPrefixLength)) {
        position += kReplyPrefixLength - 1;
        sequence = 0;
        digitSeen = false;
        state = kFirstNumber;
      }
    } else if (state == kFirstNumber) {
      if (IsDigit(byte)) {
        AccumulateDigit(sequence, byte);
        digitSeen = true;
      } else if (byte == ':' && digitSeen) {
        returnCode = 0;
        digitSeen = false;
        state = kSecondNumber;
      } else {
        state = kSeek;
      }
    } else if (state == kSecondNumber) {
      if (IsDigit(byte)) {
        AccumulateDigit(returnCode, byte);
        digitSeen = true;
      } else if (byte == ',' && digitSeen) {
        // The text keeps the comma that separates it from the return code.
        textStart = position;
        state = kParameters;
      } else if (byte == kCarriageReturn && digitSeen) {
        sentenceEnd = TerminatorEnd(buffer, length, position);
        break;
      } else {
        state = kSeek;
      }
    } else if (byte == kCarriageReturn) {
      textEnd = position;
      sentenceEnd = TerminatorEnd(buffer, length, position);
      break;
    } else if (acceptUnterminatedReply && byte == '.') {
      lastPoint = position;
    }

    if (acceptUnterminatedReply && position == length - 1 &&
        position >= kUnterminatedMinimumLength - 1 &&
        position - lastPoint > kUnterminatedMinimumPointDistance) {
      unterminated = true;
      sentenceEnd = position;
      if (state == kParameters) {
        textEnd = length;
      }
    }
  }

  const bool done = sentenceEnd >= 0;
  std::string parameters = textEnd > textStart
                               ? BytesBetween(buffer, textStart, textEnd)
                               : std::string();
  Reset();
  if (!done) {
    return false;
  }
  type = TYPE_RESPONSE;
  geocomID = returnCode;
  seqID = sequence;
  command = std::move(parameters);
  if (unterminated) {
    acceptUnterminatedReply = false;
  }
  lastByteIndex = sentenceEnd;
  return true;
}

}  // namespace Core::GEOCOM
