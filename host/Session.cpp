#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Connect.h>
#include <DazoZazIdoRezeraro/host/Endpoint.h>
#include <DazoZazIdoRezeraro/host/ReturnCodes.h>
#include <DazoZazIdoRezeraro/host/SentenceStream.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/SerialPort.h>
#include <DazoZazIdoRezeraro/host/Session.h>
#include <DazoZazIdoRezeraro/host/Text.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/execution_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/system_executor.hpp>
#include <cerrno>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "Numbering.h"
#include "SessionService.h"

namespace Core::GEOCOM::host {

namespace asio = boost::asio;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

Transport::~Transport() = default;

SessionError::SessionError(Error error)
    : std::runtime_error(error.message), error_(std::move(error)) {}

namespace {

constexpr std::size_t kReadChunk = 4096;
// How long another thread's cancellation or close may wait for a read on
// the caller's thread to look up.
constexpr std::chrono::milliseconds kWakeCheck{10};

// Whether a failure is one of these; a success is told apart at once,
// without making the codes to compare it with (the usual case on every
// read and write).
template <typename... Codes>
bool IsOneOf(const error_code& error, Codes... codes) {
  return error && ((error == codes) || ...);
}

std::string ProcedureLabel(unsigned short procedure) {
  const Procedure* named = FindProcedure(procedure);
  return named != nullptr
             ? std::string(named->name) + " (" + std::to_string(procedure) + ")"
             : "procedure " + std::to_string(procedure);
}

// A call waiting its turn.
struct Pending {
  std::uint64_t id = 0;
  unsigned short procedure = 0;
  std::string parameters;
  CallOptions options;
  detail::CallCompletion completion;
  Clock::time_point queued;
  std::shared_ptr<const detail::CallWaiter> waiter;
};

// The call being made: its request as sent and how long it may wait.
struct Current {
  Pending pending;
  unsigned short sequence = 0;
  std::string requestBytes;
  Clock::time_point written;
  std::chrono::milliseconds timeout{0};
  unsigned retriesLeft = 0;
};

// A request composed ahead of its call, and the numbering it was composed
// under.
struct Prepared {
  unsigned short procedure = 0;
  std::string parameters;
  std::uint64_t numbering = 0;  // the counter's moves before it was composed
  Result<GeoComSentence> request;
};

// An outcome met during one of the strand's handlers, handed over when the
// handler is done with the session.
struct Ready {
  detail::CallCompletion completion;
  error_code error;
  // Where the reply was made for the caller, or else (a failure) the reply
  // itself.
  Reply* madeInPlace = nullptr;
  std::optional<Reply> kept;

  Reply& reply() { return madeInPlace != nullptr ? *madeInPlace : *kept; }
};

// Counts a nesting for as long as it lives.
class Nesting {
 public:
  explicit Nesting(unsigned& depth) : depth_(depth) { ++depth_; }
  ~Nesting() { --depth_; }
  Nesting(const Nesting&) = delete;
  Nesting& operator=(const Nesting&) = delete;

 private:
  unsigned& depth_;
};

Reply Failed(unsigned short procedure, std::string diagnostics) {
  Reply reply;
  reply.procedure = procedure;
  reply.diagnostics = std::move(diagnostics);
  return reply;
}

}  // namespace

class Session::Impl final : public std::enable_shared_from_this<Impl>,
                            public SessionService::Member {
 public:
  Impl(std::unique_ptr<Transport> transport, SessionOptions options)
      : executor_(transport->Executor()),
        name_(transport->Name()),
        transport_(std::move(transport)),
        strand_(asio::make_strand(executor_)),
        timer_(std::in_place, *strand_),
        deadlines_(std::in_place, *strand_),
        options_(std::move(options)) {}

  ~Impl() override {
    if (wakeDescriptor_ >= 0) ::close(wakeDescriptor_);
  }

  void Register() { SessionService::Of(executor_).Add(weak_from_this()); }

  executor_type executor() const { return executor_; }
  const std::string& name() const { return name_; }

  std::uint64_t NewCallId() { return nextId_.fetch_add(1) + 1; }

  // False once the execution context is gone: its executor must not be
  // touched any more.
  bool ContextAlive() const {
    const std::lock_guard<std::mutex> lock(lifeMutex_);
    return !contextGone_;
  }

  // Hands the call to the strand; false when the context is gone and the
  // call can never run. On a thread that runs the context with the strand
  // free (a call made from a completion), the call starts at once instead
  // of going round the context's queue; its completion is posted all the
  // same.
  //
  // A thread that has the context to itself (startHere: nobody runs it
  // meanwhile, so none of the strand's handlers can) starts the call right
  // here, without the turn of the reactor that a handler posted to an idle
  // context waits behind, unless a cancellation, a close or another call
  // waits its turn already: that one must run first. The call is taken
  // only when it can run, and left to the caller otherwise.
  bool Enqueue(Pending& pending, bool startHere) {
    // Only a deadline counts from the moment a call was queued.
    if (pending.options.deadline) pending.queued = Clock::now();
    const bool here =
        startHere && interruptions_.load() == 0 && startsPosted_.load() == 0;
    if (here) {
      // The context cannot go while this thread has it to itself.
      if (contextGone_.load()) return false;
      Admit(std::move(pending));
      return true;
    }
    std::optional<asio::strand<executor_type>> strand;
    {
      const std::lock_guard<std::mutex> lock(lifeMutex_);
      if (contextGone_) return false;
      strand = strand_;
    }
    ++startsPosted_;
    asio::dispatch(*strand, [self = shared_from_this(),
                             pending = std::move(pending)]() mutable {
      --self->startsPosted_;
      self->Admit(std::move(pending));
    });
    return true;
  }

  // Takes a call in, on the strand or on the one thread that has the
  // context to itself: it starts at once when the session is idle, and
  // waits its turn otherwise.
  void Admit(Pending&& pending) {
    InTurn([&] {
      // Possibly inside the caller's initiating function: whatever ends
      // here is posted.
      const Nesting initiating(initiating_);
      if (Idle() && queue_.empty()) {
        Start(std::move(pending));
      } else {
        queue_.push_back(std::move(pending));
      }
      ArmDeadline();
      StartNextIfIdle();
    });
  }

  void Cancel(std::uint64_t id, asio::cancellation_type type) {
    const std::lock_guard<std::mutex> lock(lifeMutex_);
    if (contextGone_) return;
    ++interruptions_;
    asio::post(*strand_, [self = shared_from_this(), id, type] {
      --self->interruptions_;
      self->InTurn([&] { self->CancelNow(id, type); });
    });
    WakeWaitHere();
  }

  void Close() {
    const std::lock_guard<std::mutex> lock(lifeMutex_);
    if (contextGone_) return;
    ++interruptions_;
    asio::post(*strand_, [self = shared_from_this()] {
      --self->interruptions_;
      self->InTurn([&] { self->CloseNow(); });
    });
    WakeWaitHere();
  }

  bool IsOpen() const {
    const std::lock_guard<std::mutex> lock(lifeMutex_);
    return !contextGone_ && !closeRequested_;
  }

  void MarkClosing() {
    const std::lock_guard<std::mutex> lock(lifeMutex_);
    closeRequested_ = true;
  }

  // The execution context is going away: its handlers will never run, and
  // the I/O objects must go before the services they belong to.
  void ContextGone() override {
    const std::lock_guard<std::mutex> lock(lifeMutex_);
    contextGone_ = true;
    // Completions hold work on their executors, which may be this context.
    queue_.clear();
    current_.reset();
    timer_.reset();
    deadlines_.reset();
    transport_.reset();
    strand_.reset();
  }

  SessionCounts Counts() const {
    const std::lock_guard<std::mutex> lock(countsMutex_);
    SessionCounts counts = counts_;
    counts.calls = callsEnded_.load();
    return counts;
  }

 private:
  // Every handler the strand runs goes through here. Outcomes met on the
  // way are handed over once the session's state is settled, each running
  // at once on its handler's executor where that allows it (no trip round
  // the event loop's queue); then a reply timer with no call left to time
  // is stopped, so that the event loop may run out of work. A handler
  // started from another's completion (the next call of a chain) keeps the
  // timer armed: its one wait serves call after call.
  template <typename Work>
  void InTurn(Work&& work) {
    {
      const Nesting turn(turnDepth_);
      work();
    }
    if (turnDepth_ == 0) Settle();
  }

  void Settle() {
    if (!handingOver_) {
      handingOver_ = true;
      // A handler may start calls; one ending at once is posted, never
      // added here, but the index copes either way.
      for (std::size_t next = 0; next < ready_.size(); ++next) {
        Ready ready = std::move(ready_[next]);
        try {
          ready.completion(ready.error, std::move(ready.reply()), true);
        } catch (...) {
          // The handler's exception leaves through the event loop as with
          // a posted handler; the outcomes behind it are handed over by a
          // later turn.
          ready_.erase(ready_.begin(),
                       ready_.begin() + static_cast<std::ptrdiff_t>(next) + 1);
          handingOver_ = false;
          HandOverLater();
          throw;
        }
      }
      ready_.clear();
      handingOver_ = false;
    }
    if (!current_ && queue_.empty()) DisarmReplyTimer();
  }

  void HandOverLater() {
    if (ready_.empty() || !strand_) return;
    asio::post(*strand_, [self = shared_from_this()] { self->InTurn([] {}); });
  }

  // Ends a wait on a caller's thread early, so that a cancellation or a
  // close posted to the strand runs. Called under lifeMutex_.
  void WakeWaitHere() {
    if (wakeDescriptor_ < 0) return;
    const std::uint64_t one = 1;
    // A counter that is full already wakes the wait just as well.
    [[maybe_unused]] const ssize_t written =
        ::write(wakeDescriptor_, &one, sizeof one);
  }

  void CloseNow() {
    closed_ = true;
    if (transport_) transport_->Close();
    if (deadlines_) deadlines_->cancel();
    if (current_) {
      Finish(ErrorKind::kClosed, "the session to " + name() + " was closed");
    }
    StartNextIfIdle();
  }

  // Once a request's first byte may have reached the instrument, its side
  // effect (a telescope turning) may be under way: only a terminal
  // cancellation, which accepts that, ends the call then. A queued call has
  // sent nothing, so any type ends it.
  void CancelNow(std::uint64_t id, asio::cancellation_type type) {
    constexpr auto kAnyType = asio::cancellation_type::terminal |
                              asio::cancellation_type::partial |
                              asio::cancellation_type::total;
    const bool sent = current_ && current_->pending.id == id;
    const auto accepted = sent ? asio::cancellation_type::terminal : kAnyType;
    if ((type & accepted) == asio::cancellation_type::none) return;
    EndCall(id, asio::error::operation_aborted, "was cancelled");
  }

  // Ends the call with the id wherever it is: waiting its turn or waiting
  // for its reply. A call that has ended already is left alone.
  void EndCall(std::uint64_t id, error_code error, const std::string& why) {
    if (current_ && current_->pending.id == id) {
      Finish(error, "the call to " +
                        ProcedureLabel(current_->pending.procedure) + " " +
                        why);
      StartNextIfIdle();
      return;
    }
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
      if (it->id != id) continue;
      Pending pending = std::move(*it);
      queue_.erase(it);
      Complete(pending, error,
               Failed(pending.procedure, "the call to " +
                                             ProcedureLabel(pending.procedure) +
                                             " " + why));
      return;
    }
  }

  // One timer serves every call's whole-call deadline: it is set to the
  // earliest one still pending.
  void ArmDeadline() {
    std::optional<Clock::time_point> earliest;
    const auto consider = [&earliest](const Pending& pending) {
      if (!pending.options.deadline) return;
      const Clock::time_point due = pending.queued + *pending.options.deadline;
      if (!earliest || due < *earliest) earliest = due;
    };
    for (const Pending& pending : queue_) consider(pending);
    if (current_) consider(current_->pending);
    if (!earliest || !deadlines_) return;
    deadlines_->expires_at(*earliest);
    deadlines_->async_wait([self = shared_from_this()](const error_code& e) {
      if (!e) self->InTurn([&] { self->EndOverdue(); });
    });
  }

  void EndOverdue() {
    const Clock::time_point now = Clock::now();
    std::vector<std::pair<std::uint64_t, std::chrono::milliseconds>> overdue;
    const auto check = [&](const Pending& pending) {
      if (pending.options.deadline &&
          pending.queued + *pending.options.deadline <= now) {
        overdue.emplace_back(pending.id, *pending.options.deadline);
      }
    };
    for (const Pending& pending : queue_) check(pending);
    if (current_) check(current_->pending);
    for (const auto& [id, bound] : overdue) {
      AddCount(&SessionCounts::timeouts);
      EndCall(id, ErrorKind::kTimeout,
              "on " + name() + " did not end within its deadline of " +
                  std::to_string(bound.count()) + " ms");
    }
    ArmDeadline();
  }

  // Whether a call may start now on an open connection.
  bool Idle() const {
    return !current_ && !writeInFlight_ && !closed_ && transport_;
  }

  // A call starts once the previous one has ended and its request has left
  // (or given up); the read goes on across calls, its bytes kept for the
  // next one.
  void StartNextIfIdle() {
    if (current_ || writeInFlight_) return;
    while (!queue_.empty()) {
      Pending pending = std::move(queue_.front());
      queue_.pop_front();
      if (closed_ || !transport_) {
        Complete(pending, ErrorKind::kClosed,
                 Failed(pending.procedure,
                        "the connection to " + name() + " is closed"));
        continue;
      }
      Start(std::move(pending));
      if (current_) return;
    }
  }

  void Start(Pending&& pending) {
    const CallOptions& options = pending.options;
    current_.emplace();
    current_->retriesLeft = options.retries.value_or(options_.retries);
    current_->timeout =
        options.timeout.value_or(ReplyTimeout(pending.procedure));
    current_->pending = std::move(pending);
    NoteRepeat(current_->pending);
    ++attempt_;
    if (options_.discardBeforeRequest) {
      transport_->DiscardInput();
      stream_.Clear();
    }
    SendRequest();
    if (current_) {
      ProcessFrames();
      StartRead();
    }
  }

  void SendRequest() {
    Current& call = *current_;
    Result<GeoComSentence> request = RequestFor(call.pending);
    if (!request) {
      Finish(ErrorKind::kInvalidArgument,
             ProcedureLabel(call.pending.procedure) + ": " +
                 request.error().message);
      return;
    }
    call.sequence = request->GetSequenceID();
    call.requestBytes = SentenceBytes(*request);
    call.written = Clock::now();
    Tap(TrafficDirection::kSent, call.requestBytes);
    // Where the stream allows it, the request is written on the spot: a
    // loopback or serial write takes it whole at once, and no completion
    // has to go round the event loop.
    std::size_t written = 0;
    const int descriptor = transport_->PollableDescriptor();
    if (descriptor >= 0) {
      error_code error;
      written =
          transport_->WriteSomeNow(asio::buffer(call.requestBytes), error);
      if (IsOneOf(error, asio::error::would_block, asio::error::try_again)) {
        error = {};
        written = 0;
      }
      if (error) {
        FailOnError("cannot write to", error);
        return;
      }
      if (written == call.requestBytes.size()) {
        const std::uint64_t attempt = attempt_;
        PrepareNext();
        if (WaitsHere(call.pending)) WaitHere(descriptor);
        if (current_ && attempt == attempt_) ArmReplyTimer();
        return;
      }
    }
    ArmReplyTimer();
    writeInFlight_ = true;
    // Every step of the write runs on the strand, and the signal stops it
    // between two steps as well as during one.
    transport_->AsyncWrite(
        asio::buffer(call.requestBytes) + written,
        asio::bind_cancellation_slot(
            stopWrite_.slot(),
            asio::bind_executor(
                *strand_, [self = shared_from_this(),
                           attempt = attempt_](const error_code& e) {
                  self->InTurn([&] { self->OnWritten(attempt, e); });
                })));
    PrepareNext();
  }

  void NoteRepeat(const Pending& started) {
    repeating_ = started.procedure == lastProcedure_ &&
                 started.parameters == lastParameters_;
    lastProcedure_ = started.procedure;
    lastParameters_ = started.parameters;
  }

  // The request for a call: the one composed ahead for it when the
  // numbering has not moved since, else a new one.
  Result<GeoComSentence> RequestFor(const Pending& pending) {
    std::optional<Prepared> prepared = std::move(prepared_);
    prepared_.reset();
    if (prepared && prepared->procedure == pending.procedure &&
        prepared->parameters == pending.parameters &&
        prepared->numbering == NumberingRestarts()) {
      return std::move(prepared->request);
    }
    return ComposeRequest(pending.procedure, pending.parameters);
  }

  // Composes the next request while the current one's reply is awaited,
  // so that composing (a good share of a call's own work) is not between a
  // reply and the request that follows it: the call queued next, or else,
  // when the current call repeats the one before it, the current one once
  // more, as a loop that polls asks for next. Only a guess that misses
  // leaves a gap in the sequence numbers: once, when a polling loop stops.
  void PrepareNext() {
    if (queue_.empty() && !repeating_) return;
    const Pending& next = queue_.empty() ? current_->pending : queue_.front();
    std::uint64_t numbering = 0;
    Result<GeoComSentence> request =
        ComposeRequest(next.procedure, next.parameters, numbering);
    prepared_.emplace(Prepared{next.procedure, next.parameters, numbering,
                               std::move(request)});
  }

  // The reply timer is armed only when no wait already armed ends as early
  // as the current request's time-out: a wait that ends earlier looks again
  // then. Calls that follow each other closely share one wait.
  void ArmReplyTimer() {
    const Current& call = *current_;
    const Clock::time_point due = call.written + call.timeout;
    if (!timer_ || (timerArmed_ && timerDue_ <= due)) return;
    timerArmed_ = true;
    timerDue_ = due;
    ++timerArming_;
    timer_->expires_at(due);
    timer_->async_wait([self = shared_from_this(),
                        arming = timerArming_](const error_code& e) {
      self->InTurn([&] { self->OnReplyTimer(arming, e); });
    });
  }

  void DisarmReplyTimer() {
    if (!timerArmed_) return;
    timerArmed_ = false;
    ++timerArming_;
    if (timer_) timer_->cancel();
  }

  void OnReplyTimer(std::uint64_t arming, const error_code& error) {
    // A wait replaced or stopped since is over already.
    if (arming != timerArming_) return;
    timerArmed_ = false;
    if (error || !current_) return;
    if (Clock::now() < current_->written + current_->timeout) {
      ArmReplyTimer();
      return;
    }
    OnTimeout();
  }

  // Whether the call's own waiting thread is the one making it, with no
  // read of the event loop's under way that would compete for the bytes.
  bool WaitsHere(const Pending& pending) const {
    return pending.waiter && !readInFlight_ &&
           pending.waiter->thread.load() == std::this_thread::get_id();
  }

  // Waits for the reply to the request just written on this thread, the
  // caller's own: in the read itself where the stream can (one system call
  // to wait and read), else with poll() and a read; the event loop would
  // take more. The wait ends by the end of the caller's current wait, the
  // call's time-out or its deadline, or when another thread cancels or
  // closes; what is not over by then goes on through the event loop, which
  // also runs that cancellation or close.
  void WaitHere(int descriptor) {
    const std::uint64_t attempt = attempt_;
    const Current& call = *current_;
    Clock::time_point until = std::min(call.pending.waiter->until.load(),
                                       call.written + call.timeout);
    if (call.pending.options.deadline) {
      until =
          std::min(until, call.pending.queued + *call.pending.options.deadline);
    }
    ProcessFrames();
    // The request was written a moment ago: its time stands for the first
    // look at the clock.
    Clock::time_point now = call.written;
    for (bool first = true;
         current_ && attempt == attempt_ && interruptions_.load() == 0;
         first = false) {
      if (!first) now = Clock::now();
      if (now >= until) return;
      const auto left =
          std::chrono::duration_cast<std::chrono::nanoseconds>(until - now);
      error_code error;
      std::size_t received = 0;
      if (readsWait_) {
        // Another thread's cancellation or close cannot wake a read, so
        // the read looks up every kWakeCheck.
        received = transport_->ReadSomeWaiting(
            asio::buffer(readBuffer_),
            std::min<std::chrono::nanoseconds>(left, kWakeCheck), error);
        if (IsOneOf(error, asio::error::operation_not_supported)) {
          readsWait_ = false;
          continue;
        }
        if (IsOneOf(error, asio::error::timed_out, asio::error::interrupted)) {
          continue;
        }
      } else {
        const PollOutcome polled = PollOnce(descriptor, left);
        if (polled == PollOutcome::kEnd) return;
        if (polled == PollOutcome::kNothing) continue;
        received = transport_->ReadSomeNow(asio::buffer(readBuffer_), error);
        if (IsOneOf(error, asio::error::would_block, asio::error::try_again)) {
          continue;
        }
      }
      Received(std::string_view(readBuffer_.data(), received));
      ProcessFrames();
      if (error) {
        if (current_ && attempt == attempt_) {
          FailOnError("cannot read from", error);
        }
        return;
      }
    }
  }

  enum class PollOutcome { kReadable, kNothing, kEnd };

  // Waits with poll() for bytes to read or for a wake from another thread
  // (which ends the wait, as does a failing poll()).
  PollOutcome PollOnce(int descriptor, std::chrono::nanoseconds left) {
    const int wake = WakeDescriptor();
    if (wake < 0) return PollOutcome::kEnd;
    const timespec bound{static_cast<time_t>(left.count() / 1000000000),
                         static_cast<long>(left.count() % 1000000000)};
    std::array<pollfd, 2> watched{{{descriptor, POLLIN, 0}, {wake, POLLIN, 0}}};
    const int ready = ::ppoll(watched.data(), watched.size(), &bound, nullptr);
    if (ready < 0 && errno != EINTR) return PollOutcome::kEnd;
    if (watched[1].revents != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t drained =
          ::read(wake, &count, sizeof count);
      return PollOutcome::kEnd;
    }
    return ready > 0 && watched[0].revents != 0 ? PollOutcome::kReadable
                                                : PollOutcome::kNothing;
  }

  // The descriptor that wakes a wait on a caller's thread, made when first
  // needed; -1 when none can be made.
  int WakeDescriptor() {
    const std::lock_guard<std::mutex> lock(lifeMutex_);
    if (wakeDescriptor_ < 0) {
      wakeDescriptor_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    return wakeDescriptor_;
  }

  void Received(std::string_view bytes) {
    Tap(TrafficDirection::kReceived, bytes);
    stream_.Append(bytes);
  }

  void StartRead() {
    if (readInFlight_ || !current_) return;
    readInFlight_ = true;
    // The read completes on the stream's own executor and enters the strand
    // from there: bound to the strand, the type-erased read handler would
    // build an executor of its own from the strand's on every read, which
    // costs more than the hop.
    transport_->AsyncReadSome(
        asio::buffer(readBuffer_),
        [self = shared_from_this()](const error_code& error,
                                    std::size_t received) {
          asio::dispatch(*self->strand_, [self, error, received] {
            self->InTurn([&] { self->OnRead(error, received); });
          });
        });
  }

  void OnWritten(std::uint64_t attempt, const error_code& error) {
    writeInFlight_ = false;
    if (error && current_ && attempt == attempt_) {
      FailOnError("cannot write to", error);
    }
    StartNextIfIdle();
  }

  void OnRead(const error_code& error, std::size_t received) {
    readInFlight_ = false;
    // Bytes read are kept even when the call has ended meanwhile: they may
    // answer a later call, or be a late reply to pass over.
    Received(std::string_view(readBuffer_.data(), received));
    if (current_) {
      ProcessFrames();
      if (current_ && error && error != asio::error::operation_aborted) {
        FailOnError("cannot read from", error);
      }
      if (!error) StartRead();
    }
    StartNextIfIdle();
  }

  void FailOnError(const char* action, const error_code& error) {
    if (PeerClosed(error)) {
      closed_ = true;
      Finish(ErrorKind::kClosed,
             name() + " closed the connection before the reply to " +
                 ProcedureLabel(current_->pending.procedure));
    } else {
      Finish(ErrorKind::kIo,
             std::string(action) + " " + name() + ": " + error.message());
    }
  }

  void OnTimeout() {
    AddCount(&SessionCounts::timeouts);
    Current& call = *current_;
    // A request still being written when its time runs out has not reached
    // the peer whole; its rest must not hold up the next call.
    if (writeInFlight_) stopWrite_.emit(asio::cancellation_type::terminal);
    if (call.retriesLeft > 0 && !writeInFlight_) {
      --call.retriesLeft;
      ++attempt_;
      SendRequest();
      // The new request may have been answered, or failed, on the spot.
      if (current_) {
        StartRead();
      } else {
        StartNextIfIdle();
      }
      return;
    }
    Finish(ErrorKind::kTimeout,
           "no reply to " + ProcedureLabel(call.pending.procedure) + " from " +
               name() + " within " + std::to_string(call.timeout.count()) +
               " ms");
    // Nothing else may come along to start the calls waiting behind it.
    StartNextIfIdle();
  }

  // Frames are read where the stream keeps them (a sentence only copies),
  // and each is dropped once read, whatever its reading does.
  void ProcessFrames() {
    struct Dropped {
      SentenceStream& stream;
      ~Dropped() { stream.Pop(); }
    };
    while (current_) {
      Frame* const front = stream_.Front();
      if (front == nullptr) break;
      const Frame& frame = *front;
      const Dropped dropped{stream_};
      switch (frame.kind) {
        case FrameKind::kReply:
          if (frame.sentence.GetSequenceID() == current_->sequence) {
            Answer(frame);
          } else {
            AddCount(&SessionCounts::staleReplies);
          }
          break;
        case FrameKind::kRequest:
          AddCount(&SessionCounts::echoes);
          break;
        case FrameKind::kRefusedReply:
          // The instrument's report of a communication error answers the
          // call only when it carries the call's sequence number.
          if (frame.sequence == current_->sequence) {
            Reply reply =
                Failed(current_->pending.procedure,
                       "invalid reply to " +
                           ProcedureLabel(current_->pending.procedure) + ": " +
                           EscapeBytes(frame.bytes));
            reply.bytes = frame.bytes;
            Finish(ErrorKind::kInvalidReply, std::move(reply));
          } else {
            AddCount(&SessionCounts::staleReplies);
          }
          break;
        case FrameKind::kUnrecognised:
        case FrameKind::kNoise:
        case FrameKind::kDropped:
          break;
      }
    }
    SyncStreamCounts();
  }

  void Answer(const Frame& frame) {
    Current& call = *current_;
    Reply made;
    Reply& reply = call.pending.waiter && call.pending.waiter->reply
                       ? *call.pending.waiter->reply
                       : made;
    reply.procedure = call.pending.procedure;
    // A write still under way reads the request's bytes.
    if (writeInFlight_) {
      reply.request = call.requestBytes;
    } else {
      reply.request = std::move(call.requestBytes);
    }
    reply.sequence = call.sequence;
    reply.roundTrip = std::chrono::duration_cast<std::chrono::microseconds>(
        Clock::now() - call.written);
    reply.bytes = frame.bytes;
    reply.sentence = frame.sentence;
    reply.returnCode = reply.sentence.GetRetCode();
    if (reply.returnCode != GRC_OK) {
      reply.diagnostics = ProcedureLabel(call.pending.procedure) +
                          " answered return code " +
                          DescribeReturnCode(reply.returnCode);
      Finish(ErrorKind::kReturnCode, std::move(reply));
      return;
    }
    Finish(error_code(), std::move(reply));
  }

  void Finish(error_code error, std::string diagnostics) {
    Finish(error, Failed(current_->pending.procedure, std::move(diagnostics)));
  }

  void Finish(error_code error, Reply&& reply) {
    Pending pending = std::move(current_->pending);
    current_.reset();
    ++attempt_;
    // The rest of an ended call's request must not hold up the next call.
    if (writeInFlight_) stopWrite_.emit(asio::cancellation_type::terminal);
    ++callsEnded_;
    Complete(pending, error, std::move(reply));
  }

  // Inside an initiating function the outcome is handed over (posted) on
  // the spot; in any other handler once that handler is done.
  void Complete(Pending& pending, error_code error, Reply&& reply) {
    if (turnDepth_ > 0 && initiating_ == 0) {
      Reply* const madeInPlace =
          pending.waiter ? pending.waiter->reply : nullptr;
      if (&reply == madeInPlace) {
        ready_.push_back(
            {std::move(pending.completion), error, madeInPlace, std::nullopt});
      } else {
        ready_.push_back(
            {std::move(pending.completion), error, nullptr, std::move(reply)});
      }
      return;
    }
    pending.completion(error, std::move(reply), false);
  }

  void Tap(TrafficDirection direction, std::string_view bytes) {
    if (options_.tap && !bytes.empty()) {
      options_.tap(
          TrafficEvent{direction, bytes, std::chrono::system_clock::now(), 0});
    }
  }

  void AddCount(std::uint64_t SessionCounts::*field) {
    const std::lock_guard<std::mutex> lock(countsMutex_);
    ++(counts_.*field);
  }

  // The session's counts follow the stream's, under the lock only when
  // they moved (a reply of its own moves none of them).
  void SyncStreamCounts() {
    const StreamCounts& stream = stream_.Counts();
    if (stream.noiseBytes == synced_.noiseBytes &&
        stream.unrecognised == synced_.unrecognised &&
        stream.droppedBytes == synced_.droppedBytes) {
      return;
    }
    synced_ = stream;
    const std::lock_guard<std::mutex> lock(countsMutex_);
    counts_.noiseBytes = stream.noiseBytes;
    counts_.unrecognised = stream.unrecognised;
    counts_.droppedBytes = stream.droppedBytes;
  }

  executor_type executor_;
  std::string name_;
  std::unique_ptr<Transport> transport_;
  std::optional<asio::strand<executor_type>> strand_;
  std::optional<asio::steady_timer> timer_;
  bool timerArmed_ = false;
  Clock::time_point timerDue_;
  std::uint64_t timerArming_ = 0;  // which wait of the timer is the live one
  std::optional<asio::steady_timer> deadlines_;
  SessionOptions options_;
  SentenceStream stream_;
  StreamCounts synced_;  // the stream's counts last copied into counts_
  std::deque<Pending> queue_;
  std::optional<Current> current_;
  std::optional<Prepared> prepared_;
  // The call started last, to tell a loop that polls.
  std::optional<unsigned short> lastProcedure_;
  std::string lastParameters_;
  bool repeating_ = false;
  std::atomic<std::uint64_t> nextId_{0};
  std::uint64_t attempt_ = 0;  // which request writes and waits belong to
  asio::cancellation_signal stopWrite_;
  bool readInFlight_ = false;
  // Whether the stream waits in its reads; false once it said it cannot.
  bool readsWait_ = true;
  bool writeInFlight_ = false;
  bool closed_ = false;
  std::array<char, kReadChunk> readBuffer_{};
  unsigned turnDepth_ = 0;
  unsigned initiating_ = 0;
  bool handingOver_ = false;
  std::vector<Ready> ready_;
  mutable std::mutex lifeMutex_;
  // Cancellations and closes posted to the strand and not yet run: a wait
  // on a caller's thread gives way to them.
  std::atomic<unsigned> interruptions_{0};
  // Calls handed to the strand and not yet queued: a call started on the
  // spot must not overtake them.
  std::atomic<unsigned> startsPosted_{0};
  int wakeDescriptor_ = -1;
  // Written under lifeMutex_; read without it where the context cannot go.
  std::atomic<bool> contextGone_{false};
  bool closeRequested_ = false;
  mutable std::mutex countsMutex_;
  SessionCounts counts_;
  // Counted apart from the rest, without the lock: every call ends once.
  std::atomic<std::uint64_t> callsEnded_{0};
};

Session::Session(std::unique_ptr<Transport> transport, SessionOptions options)
    : impl_(std::make_shared<Impl>(std::move(transport), std::move(options))) {
  impl_->Register();
}

Session::Session(Session&&) noexcept = default;

Session& Session::operator=(Session&& other) noexcept {
  if (this != &other) {
    if (impl_) {
      impl_->MarkClosing();
      impl_->Close();
    }
    impl_ = std::move(other.impl_);
    failure_ = std::move(other.failure_);
  }
  return *this;
}

Session::~Session() {
  if (impl_) {
    impl_->MarkClosing();
    impl_->Close();
  }
}

std::uint64_t Session::NewCallId() const {
  return impl_ ? impl_->NewCallId() : 0;
}

Session::executor_type Session::CompletionExecutor() const {
  if (impl_ && impl_->ContextAlive()) return impl_->executor();
  return asio::system_executor();
}

void Session::Enqueue(std::uint64_t id, unsigned short procedure,
                      std::string parameters, CallOptions options,
                      detail::CallCompletion completion,
                      std::shared_ptr<const detail::CallWaiter> waiter,
                      bool startHere) {
  Pending pending{id,
                  procedure,
                  std::move(parameters),
                  options,
                  std::move(completion),
                  {},
                  std::move(waiter)};
  if (impl_ && impl_->Enqueue(pending, startHere)) return;
  std::string why = impl_ ? "its event loop's context was destroyed"
                    : !failure_.empty()
                        ? failure_
                        : "the session is empty or was moved from";
  pending.completion(
      ErrorKind::kClosed,
      Failed(procedure, "the call to " + ProcedureLabel(procedure) +
                            " has no connection: " + why),
      false);
}

std::function<void(asio::cancellation_type)> Session::Canceller(
    std::uint64_t id) const {
  return [weak = std::weak_ptr<Impl>(impl_), id](asio::cancellation_type type) {
    if (const auto impl = weak.lock()) impl->Cancel(id, type);
  };
}

void Session::LateStop::Request() {
  std::function<void()> stop;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    requested_ = true;
    stop = stop_;
  }
  if (stop) stop();
}

void Session::LateStop::Arm(std::function<void()> stop) {
  bool requested = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = stop;
    requested = requested_;
  }
  if (requested && stop) stop();
}

Session::executor_type Session::get_executor() const {
  if (impl_) return impl_->executor();
  return asio::system_executor();
}

SessionCounts Session::Counts() const {
  return impl_ ? impl_->Counts() : SessionCounts{};
}

std::string Session::Name() const { return impl_ ? impl_->name() : ""; }

bool Session::IsOpen() const { return impl_ && impl_->IsOpen(); }

void Session::Close() {
  if (impl_) {
    impl_->MarkClosing();
    impl_->Close();
  }
}

std::function<void()> Session::StartConnect(executor_type executor,
                                            std::string address,
                                            SessionOptions options,
                                            ConnectCompletion completion) {
  Result<Endpoint> endpoint = ParseEndpoint(address);
  if (!endpoint) {
    Session failed;
    failed.failure_ = endpoint.error().message;
    asio::post(executor, [completion = std::move(completion),
                          failed = std::move(failed)]() mutable {
      std::string message = failed.failure_;
      completion(ErrorKind::kInvalidArgument, std::move(failed),
                 std::move(message));
    });
    return [] {};
  }
  const std::chrono::milliseconds bound = options.connectTimeout;
  return AsyncConnectTcp(
      executor, *endpoint, bound,
      [where = *endpoint, bound, options = std::move(options),
       completion = std::move(completion)](const error_code& error,
                                           asio::ip::tcp::socket socket) {
        if (error) {
          Session failed;
          failed.failure_ =
              error == asio::error::operation_aborted
                  ? "connecting to " + where.ToString() + " was cancelled"
                  : ConnectFailure(where, bound, error);
          std::string message = failed.failure_;
          const error_code outcome = error == asio::error::operation_aborted
                                         ? error
                                         : error_code(ErrorKind::kConnect);
          completion(outcome, std::move(failed), std::move(message));
          return;
        }
        completion({},
                   Session::Over(std::move(socket), where.ToString(), options),
                   "");
      });
}

Session Session::OpenSerial(executor_type executor, const std::string& device,
                            unsigned baud, SessionOptions options) {
  Result<std::unique_ptr<asio::serial_port>> port =
      OpenSerialPort(executor, device, baud);
  if (!port) throw SessionError(port.error());
  options.discardBeforeRequest = true;
  return Session(std::make_unique<SerialTransport>(std::move(**port), device),
                 std::move(options));
}

}  // namespace Core::GEOCOM::host
