#include <DazoZazIdoRezeraro/simulator/LiveView.h>
#include <DazoZazIdoRezeraro/simulator/PageServer.h>

#include <algorithm>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

#include "LiveViewJson.h"

namespace Core::GEOCOM::simulator {

namespace asio = boost::asio;
using boost::system::error_code;

namespace {

// Exchanges kept between two states; beyond, a browser misses some (the
// traffic log still has them).
constexpr std::size_t kMaxPendingExchanges = 2000;
// The latest exchanges of a batch that are sent, and how many are encoded
// between two turns of the event loop.
constexpr std::size_t kMaxSentExchanges = 50;
constexpr std::size_t kExchangesPerSlice = 8;

// A path segment with its %XX escapes decoded; nullopt for a bad escape.
std::optional<std::string> Unescaped(std::string_view segment) {
  std::string text;
  for (std::size_t i = 0; i < segment.size(); ++i) {
    if (segment[i] != '%') {
      text += segment[i];
      continue;
    }
    unsigned value = 0;
    if (i + 2 >= segment.size() ||
        std::sscanf(std::string(segment.substr(i + 1, 2)).c_str(), "%2x",
                    &value) != 1 ||
        !std::isxdigit(static_cast<unsigned char>(segment[i + 1])) ||
        !std::isxdigit(static_cast<unsigned char>(segment[i + 2]))) {
      return std::nullopt;
    }
    text += static_cast<char>(value);
    i += 2;
  }
  return text;
}

PageAnswer Answer(unsigned status, std::string json) {
  return {status, std::move(json), {}};
}

PageAnswer Refuse(unsigned status, const std::string& message) {
  return Answer(status, ErrorJson(message));
}

PageServerOptions PageOptionsOf(const LiveViewOptions& options) {
  PageServerOptions server;
  server.allowRemote = options.allowRemote;
  server.remoteNames = options.remoteNames;
  server.maxBodyBytes = options.maxBodyBytes;
  server.maxQueuedMessages = options.maxQueuedMessages;
  server.idleTimeout = options.idleTimeout;
  return server;
}

}  // namespace

class LiveViewState : public std::enable_shared_from_this<LiveViewState> {
 public:
  LiveViewState(asio::io_context& io, InstrumentControl& controlGiven,
                const LiveViewOptions& given)
      : control(controlGiven),
        options(given),
        server(io, PageOptionsOf(given),
               {[this](const PageRequest& request) { return Handle(request); },
                [this] {
                  SendState();
                  return more.greeting ? more.greeting()
                                       : std::vector<std::string>();
                }}),
        stateTimer(server.Executor()) {}

  void Start();
  void Tick();
  void StopNow();
  void SendState();
  void EncodeFrom(std::size_t index);
  std::optional<PageAnswer> Handle(const PageRequest& request);
  PageAnswer State() {
    return Answer(200, StateJson(control.State(), control));
  }

  InstrumentControl& control;
  const LiveViewOptions options;
  PageHandlers more;
  PageServer server;
  asio::steady_timer stateTimer;
  std::optional<std::uint64_t> subscription;
  std::mutex pendingMutex;
  std::vector<LoggedExchange> pending;  // since the last state sent
  std::vector<LoggedExchange> batch;    // being encoded
  std::string encoded;                  // the batch's message so far
  bool encoding = false;
  bool stopped = false;
};

std::optional<PageAnswer> LiveViewState::Handle(const PageRequest& request) {
  const std::string& path = request.path;
  const bool get = request.method == "GET";
  const auto wrongMethod = [](const char* allowed) {
    PageAnswer answer = Refuse(405, std::string("use ") + allowed);
    answer.allow = allowed;
    return answer;
  };
  if (path == "/api/state") {
    if (!get) return wrongMethod("GET");
    return State();
  }
  if (path == "/api/traffic") {
    if (!get) return wrongMethod("GET");
    std::string body = "[";
    for (const LoggedExchange& logged : control.Traffic()) {
      if (body.size() > 1) body += ",";
      body += ExchangeJson(logged);
    }
    return Answer(200, body + "]");
  }
  const std::string prisms = "/api/prisms/";
  if (path.compare(0, prisms.size(), prisms) == 0) {
    if (request.method != "PUT") return wrongMethod("PUT");
    const std::optional<std::string> unescaped =
        Unescaped(std::string_view(path).substr(prisms.size()));
    if (!unescaped) return Refuse(400, "the prism's id has a bad %-escape");
    const std::string& id = *unescaped;
    const InstrumentView view = control.State();
    const auto found =
        std::find_if(view.prisms.begin(), view.prisms.end(),
                     [&](const PrismView& prism) { return prism.id == id; });
    if (found == view.prisms.end()) {
      return Refuse(404, "there is no prism " + id);
    }
    const host::Result<Point> position =
        ReadPosition(request.body, found->position);
    if (!position) return Refuse(400, position.error().message);
    const host::Result<host::Done> moved = control.MovePrism(id, *position);
    if (!moved) return Refuse(400, moved.error().message);
    SendState();
    return State();
  }
  if (path == "/api/faults") {
    if (request.method != "PUT") return wrongMethod("PUT");
    host::Result<FaultRates> rates = ReadRates(request.body);
    if (rates) {
      const host::Result<host::Done> set =
          control.SetFaultRates(std::move(*rates));
      if (!set) rates = set.error();
    }
    if (!rates) return Refuse(400, rates.error().message);
    SendState();
    return State();
  }
  if (path == "/api/pause" || path == "/api/resume" || path == "/api/reset") {
    if (request.method != "POST") return wrongMethod("POST");
    if (path == "/api/pause") control.Pause();
    if (path == "/api/resume") control.Resume();
    if (path == "/api/reset") control.Reset();
    SendState();
    return State();
  }
  if (more.api) return more.api(request);
  return std::nullopt;
}

void LiveViewState::SendState() {
  if (encoding) return;  // the state follows the exchanges being encoded
  {
    const std::lock_guard<std::mutex> lock(pendingMutex);
    batch.swap(pending);
    pending.clear();
  }
  if (!server.Watched()) return;
  if (batch.empty()) {
    server.Broadcast(std::make_shared<const std::string>(
        StateJson(control.State(), control)));
    return;
  }
  // A person reads the latest of a busy instrument's exchanges at most.
  const std::size_t skipped =
      batch.size() > kMaxSentExchanges ? batch.size() - kMaxSentExchanges : 0;
  encoded = R"({"type":"exchanges","skipped":)" + std::to_string(skipped) +
            R"(,"exchanges":[)";
  encoding = true;
  EncodeFrom(skipped);
}

// Encodes a slice and lets the instrument's own handlers run before the
// next, so that a long batch never holds its loop.
void LiveViewState::EncodeFrom(std::size_t index) {
  const std::size_t end = std::min(batch.size(), index + kExchangesPerSlice);
  for (; index < end; ++index) {
    if (encoded.back() != '[') encoded += ",";
    encoded += ExchangeJson(batch[index]);
  }
  if (index < batch.size()) {
    asio::post(server.Executor(), [self = shared_from_this(), index] {
      if (!self->stopped) self->EncodeFrom(index);
    });
    return;
  }
  encoding = false;
  server.Broadcast(std::make_shared<const std::string>(encoded + "]}"));
  server.Broadcast(
      std::make_shared<const std::string>(StateJson(control.State(), control)));
}

void LiveViewState::Start() {
  // Exchanges are only kept here, and sent with the next state: encoding
  // and writing them one by one would cost the instrument's own loop time
  // for each of its calls.
  subscription = control.Subscribe(
      [weak = std::weak_ptr<LiveViewState>(shared_from_this())](
          const LoggedExchange& logged) {
        const auto self = weak.lock();
        if (!self) return;
        const std::lock_guard<std::mutex> lock(self->pendingMutex);
        if (self->pending.size() < kMaxPendingExchanges) {
          self->pending.push_back(logged);
        }
      });
  Tick();
}

void LiveViewState::Tick() {
  stateTimer.expires_after(options.statePeriod);
  stateTimer.async_wait([self = shared_from_this()](const error_code& error) {
    if (error || self->stopped) return;
    self->SendState();
    self->Tick();
  });
}

void LiveViewState::StopNow() {
  stopped = true;
  if (subscription) control.Unsubscribe(*subscription);
  subscription.reset();
  stateTimer.cancel();
  server.Close();
}

LiveView::LiveView(asio::io_context& io, InstrumentControl& control,
                   LiveViewOptions options)
    : impl_(std::make_shared<LiveViewState>(io, control, options)) {}

LiveView::~LiveView() { impl_->StopNow(); }

host::Result<std::string> LiveView::Listen(std::string_view address) {
  host::Result<std::string> bound = impl_->server.Listen(address);
  if (bound) impl_->Start();
  return bound;
}

void LiveView::Extend(PageHandlers more) { impl_->more = std::move(more); }

void LiveView::Publish(std::shared_ptr<const std::string> message) {
  asio::dispatch(impl_->server.Executor(),
                 [impl = impl_, message = std::move(message)] {
                   if (!impl->stopped) impl->server.Broadcast(message);
                 });
}

asio::any_io_executor LiveView::Executor() const {
  return impl_->server.Executor();
}

void LiveView::Stop() {
  asio::dispatch(impl_->server.Executor(), [impl = impl_] { impl->StopNow(); });
}

}  // namespace Core::GEOCOM::simulator
