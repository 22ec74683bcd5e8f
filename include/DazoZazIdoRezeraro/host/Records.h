#ifndef DAZOZAZIDOREZERARO_HOST_RECORDS_H
#define DAZOZAZIDOREZERARO_HOST_RECORDS_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <chrono>
#include <string>

/// @file
/// The records that calls return, free of any I/O: what the catalogue, the
/// named fields and capture decoding share with the sessions without
/// reading a line of Asio.

namespace Core::GEOCOM::host {

/// A reply paired with its request, or, when the call failed, what is known
/// of it: the diagnostics always say what happened.
struct Reply {
  GeoComSentence sentence;  ///< The recognised reply, ready for the decoders.
  std::string request;      ///< The request's bytes as written.
  std::string bytes;        ///< The reply's bytes as received.
  unsigned short procedure = 0;   ///< The procedure called.
  unsigned short sequence = 0;    ///< The sequence number both carry.
  unsigned short returnCode = 0;  ///< The reply's return code.
  /// From the request's first byte written to the reply's last byte read.
  std::chrono::microseconds roundTrip{0};
  /// One line for people naming the procedure, the peer and the cause when
  /// the call failed; empty when it succeeded.
  std::string diagnostics;
};

/// The firmware release, as the instrument reports it.
struct SoftwareVersion {
  unsigned short release = 0;     ///< Release number.
  unsigned short version = 0;     ///< Version within the release.
  unsigned short subversion = 0;  ///< Subversion within the version.
};

/// One entry of a file listing.
struct FileEntry {
  bool last = false;  ///< Whether this is the listing's last entry.
  FTR_DIRINFO info;   ///< Name, size and modification time of the file.
};

}  // namespace Core::GEOCOM::host

#endif
