#ifndef DAZOZAZIDOREZERARO_SIMULATOR_RESPONDER_H
#define DAZOZAZIDOREZERARO_SIMULATOR_RESPONDER_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "Export.h"

/// @file
/// The in-process answerer: a request goes in, a plan of what to write and
/// when comes out. Motion time, faults and replayed timing are all plans;
/// a Server carries them out on a line, a test inspects them directly.

namespace Core::GEOCOM::simulator {

/// The clock every answer is timed by.
using Clock = std::chrono::steady_clock;

/// One write of a plan.
struct ReplyStep {
  /// How long after the previous step (or after the request, for the
  /// first) the bytes are written.
  Clock::duration delay{0};
  std::string bytes;        ///< What is written; may be empty.
  bool disconnect = false;  ///< Close the connection after the bytes.
};

/// What to write in answer to one request, in order, and what it means by
/// name, so that logs and views need not read the bytes again.
struct ReplyPlan {
  std::vector<ReplyStep> steps;  ///< The writes; none when nothing is sent.
  std::string fault;  ///< The fault applied (its name), empty for none.
  /// The request's arguments as the catalogue read them; nullopt when they
  /// were not read (an unknown procedure, refused arguments).
  std::optional<host::Fields> arguments;
  /// The return code of the reply written; nullopt when no whole reply is
  /// written, or a fault changed its code.
  std::optional<unsigned short> returnCode;
  /// The values of the reply written, by name; nullopt when it carries
  /// none a host would read (no reply, a failing code, a fault).
  std::optional<host::Fields> values;
};

/// Answers requests without doing any I/O of its own.
class DAZOZAZIDOREZERARO_SIMULATOR_EXPORT Responder {
 public:
  virtual ~Responder();
  /// The plan answering the request, recognised in received bytes (as
  /// host::SentenceStream gives it), which arrived at now; the request's
  /// effects on the responder's state take place at now.
  virtual ReplyPlan Respond(const GeoComSentence& request,
                            Clock::time_point now) = 0;
};

}  // namespace Core::GEOCOM::simulator

#endif
