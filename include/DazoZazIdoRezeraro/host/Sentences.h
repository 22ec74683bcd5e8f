#ifndef DAZOZAZIDOREZERARO_HOST_SENTENCES_H
#define DAZOZAZIDOREZERARO_HOST_SENTENCES_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <string>

#include "Export.h"

/// @file
/// Small conversions between sentences and their bytes that hosts,
/// instruments and tests all need.

namespace Core::GEOCOM::host {

/// How many sequence numbers there are: requests are numbered 0 to 32767,
/// and the numbering then starts again at 0.
inline constexpr unsigned kSequenceNumbers = 32768;

/// The bytes a sentence holds: the whole sentence when it was composed, the
/// parameter text when it was recognised.
DAZOZAZIDOREZERARO_HOST_EXPORT std::string SentenceBytes(
    const GeoComSentence& sentence);

/// The parameter text of a recognised reply: what follows its return code,
/// without the comma before it ("1.5,2" of "%R1P,0,0:0,1.5,2").
DAZOZAZIDOREZERARO_HOST_EXPORT std::string ReplyParameters(
    const GeoComSentence& reply);

/// The bytes of the reply an instrument gives: the sequence number, the
/// return code and the parameter text as the core composes it (each value
/// behind its own comma); empty when the core refuses it.
DAZOZAZIDOREZERARO_HOST_EXPORT std::string ReplyBytes(
    unsigned short sequence, unsigned short returnCode,
    const std::string& parameters);

}  // namespace Core::GEOCOM::host

#endif
