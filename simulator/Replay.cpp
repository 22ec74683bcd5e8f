#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/TrafficDecoder.h>
#include <DazoZazIdoRezeraro/simulator/Replay.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "Telescope.h"

namespace Core::GEOCOM::simulator {

// Replies keyed by the request's procedure number and parameter text.
class ReplayState {
 public:
  struct Recorded {
    std::optional<std::string> reply;  // its parameter text, once read
    unsigned short returnCode = 0;
    Clock::duration delay{0};
  };
  struct Replies {
    std::vector<Recorded> recorded;
    std::size_t next = 0;
  };

  std::mutex mutex;
  std::map<std::pair<unsigned short, std::string>, Replies> replies;
};

namespace {

using Recorded = ReplayState::Recorded;

// Where a request's reply goes: the slot of its occurrence among the
// requests with its procedure and parameter text.
struct Slot {
  std::pair<unsigned short, std::string> key;
  std::size_t index;
  std::optional<double> time;
};

}  // namespace

host::Result<std::shared_ptr<ReplayResponder>> ReplayResponder::Read(
    std::istream& capture, const std::string& name, bool timing) {
  std::shared_ptr<ReplayResponder> replay(new ReplayResponder());
  auto& replies = replay->state_->replies;
  // Requests waiting for their replies, by the decoder's exchange number;
  // the decoder pairs by connection, direction and sequence number.
  std::map<std::uint64_t, Slot> open;
  host::TrafficDecoder decoder([&](host::TrafficRecord&& record) {
    switch (record.kind) {
      case host::TrafficKind::kRequest: {
        std::pair<unsigned short, std::string> key{*record.procedure,
                                                   record.parameters};
        std::vector<Recorded>& slots = replies[key].recorded;
        slots.emplace_back();
        open[record.exchange] = {std::move(key), slots.size() - 1, record.time};
        return;
      }
      case host::TrafficKind::kReply: {
        const auto request = open.find(record.exchange);
        if (request == open.end()) return;
        Recorded& recorded =
            replies[request->second.key].recorded[request->second.index];
        recorded.reply.emplace();
        recorded.returnCode = record.returnCode;
        *recorded.reply = record.parameters;
        if (timing && record.time && request->second.time) {
          recorded.delay =
              Seconds(std::max(0.0, *record.time - *request->second.time));
        }
        open.erase(request);
        return;
      }
      case host::TrafficKind::kTimeout:
        // Still answerable by a late reply, which finds its slot by the
        // exchange number; forgotten only when the capture ends.
      case host::TrafficKind::kUnmatchedReply:
      case host::TrafficKind::kUnrecognised:
      case host::TrafficKind::kNoise:
      case host::TrafficKind::kDropped:
      case host::TrafficKind::kLongLine:
        return;
    }
  });
  host::CaptureReader reader(capture);
  for (;;) {
    host::Result<std::optional<host::CaptureRecord>> next = reader.Next();
    if (!next) {
      return host::Error(host::ErrorKind::kInvalidArgument,
                         name + ": " + next.error().message);
    }
    if (!*next) break;
    decoder.Add(**next);
  }
  decoder.Finish();
  for (auto entry = replies.begin(); entry != replies.end();) {
    std::vector<Recorded>& slots = entry->second.recorded;
    slots.erase(std::remove_if(slots.begin(), slots.end(),
                               [](const Recorded& r) { return !r.reply; }),
                slots.end());
    entry = slots.empty() ? replies.erase(entry) : std::next(entry);
  }
  return replay;
}

host::Result<std::shared_ptr<ReplayResponder>> ReplayResponder::Load(
    const std::string& path, bool timing) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    return host::Error(host::ErrorKind::kIo,
                       "cannot read capture " + path + ": it is a directory");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    return host::Error(host::ErrorKind::kIo, "cannot read capture " + path +
                                                 ": " + std::strerror(errno));
  }
  return Read(in, path, timing);
}

ReplayResponder::ReplayResponder() : state_(std::make_unique<ReplayState>()) {}

ReplayResponder::~ReplayResponder() = default;

std::size_t ReplayResponder::Size() const {
  const std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->replies.size();
}

ReplyPlan ReplayResponder::Respond(const GeoComSentence& request,
                                   Clock::time_point) {
  ReplyPlan plan;
  const std::lock_guard<std::mutex> lock(state_->mutex);
  const auto found =
      state_->replies.find({request.GetGeocomID(), request.GetStringCommand()});
  if (found == state_->replies.end()) {
    plan.steps.push_back(
        {Clock::duration{0},
         host::ReplyBytes(request.GetSequenceID(), GRC_NOT_IMPL, ""), false});
    return plan;
  }
  ReplayState::Replies& replies = found->second;
  const Recorded& recorded = replies.recorded[replies.next];
  if (replies.next + 1 < replies.recorded.size()) ++replies.next;
  plan.steps.push_back({recorded.delay,
                        host::ReplyBytes(request.GetSequenceID(),
                                         recorded.returnCode, *recorded.reply),
                        false});
  return plan;
}

}  // namespace Core::GEOCOM::simulator
