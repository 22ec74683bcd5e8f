#ifndef DAZOZAZIDOREZERARO_SIMULATOR_REPLAY_H
#define DAZOZAZIDOREZERARO_SIMULATOR_REPLAY_H

#include <DazoZazIdoRezeraro/host/Result.h>

#include <istream>
#include <memory>
#include <string>

#include "Export.h"
#include "Responder.h"

/// @file
/// Replay of a field recording: a responder that answers each request
/// with the reply a capture holds for it.

namespace Core::GEOCOM::simulator {

class ReplayState;

/// Answers from a capture (host::CaptureWriter's format, or raw bytes): a
/// request seen in the capture gets the reply recorded for it, with the
/// request's sequence number; when the same request was recorded several
/// times, the replies to its first, second... occurrence answer its first,
/// second... repetition, the last one repeating. Requests the capture holds
/// no reply to, and others, get return code 5. Thread-safe.
class DAZOZAZIDOREZERARO_SIMULATOR_EXPORT ReplayResponder final
    : public Responder {
 public:
  /// Pairs the capture's requests and replies by sequence number; with
  /// timing, each reply keeps the delay recorded after its request. Fails
  /// with kInvalidArgument naming the capture and the line of a malformed
  /// record.
  static host::Result<std::shared_ptr<ReplayResponder>> Read(
      std::istream& capture, const std::string& name, bool timing = false);

  /// Reads the capture file; fails as Read does, or with kIo naming the file.
  static host::Result<std::shared_ptr<ReplayResponder>> Load(
      const std::string& path, bool timing = false);

  ~ReplayResponder() override;
  ReplayResponder(const ReplayResponder&) = delete;
  ReplayResponder& operator=(const ReplayResponder&) = delete;

  /// The recorded reply to the request, or return code 5.
  ReplyPlan Respond(const GeoComSentence& request,
                    Clock::time_point now) override;

  /// How many different requests the capture answers.
  std::size_t Size() const;

 private:
  ReplayResponder();

  std::unique_ptr<ReplayState> state_;
};

}  // namespace Core::GEOCOM::simulator

#endif
