#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/host/SentenceStream.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/simulator/Replay.h>

#include <algorithm>
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
    std::optional<GeoComSentence> reply;  // none until its reply is read
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

struct Open {
  std::pair<unsigned short, std::string> key;
  std::size_t slot;  // where its reply goes among the request's replies
  std::optional<double> time;
};

}  // namespace

host::Result<std::shared_ptr<ReplayResponder>> ReplayResponder::Read(
    std::istream& capture, const std::string& name, bool timing) {
  std::shared_ptr<ReplayResponder> replay(new ReplayResponder());
  host::CaptureReader reader(capture);
  // Each direction is framed on its own, since their pieces interleave; a
  // raw capture holds both in one stream, which frames them all the same.
  host::SentenceStream toInstrument, toHost, unknown;
  std::map<unsigned short, Open> open;  // requests by sequence number

  const auto take = [&](host::SentenceStream& stream,
                        std::optional<double> time) {
    host::Frame frame;
    while (stream.Next(frame)) {
      const unsigned short sequence = frame.sentence.GetSequenceID();
      if (frame.kind == host::FrameKind::kRequest) {
        // A slot in request order, filled when the reply comes.
        std::pair<unsigned short, std::string> key{
            frame.sentence.GetGeocomID(), frame.sentence.GetStringCommand()};
        std::vector<Recorded>& slots = replay->state_->replies[key].recorded;
        slots.emplace_back();
        open[sequence] = {std::move(key), slots.size() - 1, time};
      } else if (frame.kind == host::FrameKind::kReply) {
        const auto request = open.find(sequence);
        if (request == open.end()) continue;
        Recorded& recorded = replay->state_->replies[request->second.key]
                                 .recorded[request->second.slot];
        recorded.reply = frame.sentence;
        if (timing && time && request->second.time) {
          recorded.delay =
              Seconds(std::max(0.0, *time - *request->second.time));
        }
        open.erase(request);
      }
    }
  };

  for (;;) {
    host::Result<std::optional<host::CaptureRecord>> next = reader.Next();
    if (!next) {
      return host::Error(host::ErrorKind::kInvalidArgument,
                         name + ": " + next.error().message);
    }
    if (!*next) break;
    const host::CaptureRecord& record = **next;
    host::SentenceStream& stream =
        record.direction == host::Direction::kToInstrument ? toInstrument
        : record.direction == host::Direction::kToHost     ? toHost
                                                           : unknown;
    stream.Append(record.bytes);
    take(stream, record.time);
  }
  for (host::SentenceStream* stream : {&toInstrument, &toHost, &unknown}) {
    stream->Finish();
    take(*stream, std::nullopt);
  }
  for (auto entry = replay->state_->replies.begin();
       entry != replay->state_->replies.end();) {
    std::vector<Recorded>& slots = entry->second.recorded;
    slots.erase(std::remove_if(slots.begin(), slots.end(),
                               [](const Recorded& r) { return !r.reply; }),
                slots.end());
    entry =
        slots.empty() ? replay->state_->replies.erase(entry) : std::next(entry);
  }
  return replay;
}

host::Result<std::shared_ptr<ReplayResponder>> ReplayResponder::Load(
    const std::string& path, bool timing) {
  std::error_code error;
  std::ifstream in;
  if (!std::filesystem::is_directory(path, error)) {
    in.open(path, std::ios::binary);
  }
  if (!in.is_open()) {
    return host::Error(host::ErrorKind::kIo, "cannot read capture " + path);
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
  plan.steps.push_back(
      {recorded.delay,
       host::ReplyBytes(request.GetSequenceID(), recorded.reply->GetRetCode(),
                        recorded.reply->GetStringCommand()),
       false});
  return plan;
}

}  // namespace Core::GEOCOM::simulator
