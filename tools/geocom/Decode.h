#ifndef GEOCOM_TOOL_DECODE_H
#define GEOCOM_TOOL_DECODE_H

#include <cstddef>
#include <ostream>

namespace geocom {

// Reads a capture of raw bytes (both directions interleaved, noise included)
// from fd in fixed-size chunks and prints one line per sentence, in order:
// kind, sequence number, procedure number or return code, command name,
// time-out and parameter text; one JSON object per line with json. A reply
// takes the name and time-out of the last request with its sequence number.
// Returns the number of sentences; throws TransportError on a read error.
std::size_t DecodeCapture(int fd, bool json, std::ostream& out);

}  // namespace geocom

#endif
