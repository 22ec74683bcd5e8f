#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/NamedCall.h>

#include <atomic>
#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace Core::GEOCOM::host {

namespace asio = boost::asio;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

namespace {

// Far enough to mean "until it ends", near enough not to overflow.
Clock::time_point Forever() { return Clock::now() + std::chrono::hours(24); }

}  // namespace

// The session's private event loop. Nobody runs it but the threads that wait
// on it: a thread waiting for its call runs it itself (no hop to another
// thread and back), and while others are waiting too, one of them runs it
// for all. Asynchronous calls with nobody waiting are served by a helper
// thread that lives only while such calls are outstanding.
struct BlockingSession::Loop : std::enable_shared_from_this<Loop> {
  ~Loop() {
    // The last owner may be the helper itself, once it has left the loop.
    if (helper.joinable()) {
      if (helper.get_id() == std::this_thread::get_id()) {
        helper.detach();
      } else {
        helper.join();
      }
    }
  }

  // Whether the session's work runs on this loop.
  bool OwnsSession() {
    return &asio::query(session.get_executor(), asio::execution::context) ==
           &static_cast<asio::execution_context&>(io);
  }

  // Runs the loop on this thread until done() holds or until passes, unless
  // another thread runs it: then waits for done(), or for its turn. done()
  // must turn true only together with a Notify().
  bool Drive(const std::function<bool()>& done, Clock::time_point until) {
    const std::shared_ptr<Loop> keep = shared_from_this();
    std::unique_lock<std::mutex> lock(mutex);
    while (!done()) {
      const bool nested = running && runner == std::this_thread::get_id();
      if (running && !nested) {
        if (changed.wait_until(lock, until) == std::cv_status::timeout) break;
        continue;
      }
      running = true;
      runner = std::this_thread::get_id();
      lock.unlock();
      while (!done() && io.run_one_until(until) != 0) {
      }
      lock.lock();
      if (!nested) {
        running = false;
        runner = {};
        changed.notify_all();
      }
      if (Clock::now() >= until) break;
    }
    return done();
  }

  // Wakes every thread waiting in Drive to look at its condition again; the
  // one running the loop is woken by a handler when the news comes from
  // another thread (a call on a context the application runs).
  void Notify() {
    const std::lock_guard<std::mutex> lock(mutex);
    NotifyLocked();
  }

  // Notify, with the mutex held already.
  void NotifyLocked() {
    changed.notify_all();
    if (running && runner != std::this_thread::get_id()) {
      asio::post(io, [] {});
    }
  }

  void AsyncStarted() {
    const std::lock_guard<std::mutex> lock(mutex);
    ++asyncOutstanding;
    if (helperActive) return;
    helperActive = true;
    // A previous helper has left the loop already and is just ending.
    if (helper.joinable()) helper.join();
    helper = std::thread([self = shared_from_this()] { self->Help(); });
  }

  void AsyncEnded() {
    const std::lock_guard<std::mutex> lock(mutex);
    --asyncOutstanding;
    changed.notify_all();
  }

  void Help() {
    for (;;) {
      Drive([this] { return asyncOutstanding.load() == 0; }, Forever());
      const std::lock_guard<std::mutex> lock(mutex);
      // A call started just as the wait ended found this helper still
      // active: it is served here too.
      if (asyncOutstanding.load() == 0) {
        helperActive = false;
        return;
      }
    }
  }

  // Keeps the call for its first wait, after handing over the one kept
  // before (so that the calls reach the session in the order they were
  // started).
  void Keep(const std::shared_ptr<PendingCall::State>& state) {
    std::shared_ptr<PendingCall::State> previous;
    {
      const std::lock_guard<std::mutex> lock(mutex);
      previous = std::exchange(kept, state);
    }
    if (previous) HandOver(*previous, false);
  }

  // Hands the call kept for its first wait over to the session, if it is
  // still kept, before anything else reaches the session.
  void HandOverKept() {
    std::shared_ptr<PendingCall::State> call;
    {
      const std::lock_guard<std::mutex> lock(mutex);
      call = std::move(kept);
    }
    if (call) HandOver(*call, false);
  }

  // Hands the call over to the session, once. Here, when the loop is free,
  // the calling thread takes it while the call starts, so that the call
  // starts on this thread without a turn of the loop.
  void HandOver(PendingCall::State& state, bool here);

  // Makes a call and waits for it on this thread. Nobody else can wait for
  // it or cancel it, so its outcome lands in the caller's frame, with none
  // of the shared state a call started now and waited for later needs.
  void CallHere(unsigned short procedure, std::string_view parameters,
                const CallOptions& options, Reply& reply, error_code& error);

  // Closes the session and serves what is still outstanding, unless this
  // thread is inside the loop (a completion destroying its session): the
  // loop then finishes that work once the completion has returned.
  void Shut() {
    HandOverKept();
    session.Close();
    {
      const std::lock_guard<std::mutex> lock(mutex);
      if (running && runner == std::this_thread::get_id()) return;
    }
    Drive([this] { return asyncOutstanding.load() == 0; }, Forever());
  }

  asio::io_context io{1};
  // The loop waits for what a call needs even when nothing is pending yet.
  asio::executor_work_guard<asio::io_context::executor_type> work{
      io.get_executor()};
  Session session;
  bool foreign = false;
  std::mutex mutex;
  std::condition_variable changed;
  bool running = false;
  std::thread::id runner;
  std::atomic<unsigned> asyncOutstanding{0};
  bool helperActive = false;
  std::thread helper;
  // The last call started and not yet waited for (it holds the loop too,
  // until it is handed over).
  std::shared_ptr<PendingCall::State> kept;
};

struct PendingCall::State : std::enable_shared_from_this<PendingCall::State> {
  std::shared_ptr<BlockingSession::Loop> loop;
  std::atomic<bool> done{false};
  error_code error;
  Reply reply;
  asio::cancellation_signal cancel;
  // Set when the session runs on a context that is not its own loop: the
  // wait is then bounded here too, since nothing else may ever run it.
  std::optional<Clock::time_point> giveUpAt;
  // Set when it runs on its own loop: the thread that waits may make the
  // call itself.
  std::shared_ptr<detail::CallWaiter> waiter;
  // A call on its own loop that nothing has handed to the session yet: the
  // first wait starts it, on the waiting thread when nobody runs the loop.
  struct Unstarted {
    std::uint64_t id = 0;
    unsigned short procedure = 0;
    std::string parameters;
    CallOptions options;
  };
  std::optional<Unstarted> unstarted;

  void End(error_code outcome, Reply&& value) {
    {
      const std::lock_guard<std::mutex> lock(loop->mutex);
      if (done) return;
      error = outcome;
      reply = std::move(value);
      done = true;
    }
    loop->Notify();
  }
};

void BlockingSession::Loop::HandOver(PendingCall::State& state, bool here) {
  std::unique_lock<std::mutex> lock(mutex);
  if (!state.unstarted) return;
  PendingCall::State::Unstarted call = std::move(*state.unstarted);
  state.unstarted.reset();
  if (kept.get() == &state) kept.reset();
  const bool ownThread = here && !running;
  if (ownThread) {
    running = true;
    runner = std::this_thread::get_id();
  }
  lock.unlock();
  std::shared_ptr<PendingCall::State> keep = state.shared_from_this();
  session.Enqueue(
      call.id, call.procedure, std::move(call.parameters), call.options,
      [keep](error_code error, Reply&& reply, bool) {
        keep->End(error, std::move(reply));
      },
      state.waiter, ownThread);
  if (ownThread) {
    lock.lock();
    running = false;
    runner = {};
    changed.notify_all();
  }
}

void BlockingSession::Loop::CallHere(unsigned short procedure,
                                     std::string_view parameters,
                                     const CallOptions& options, Reply& reply,
                                     error_code& error) {
  const std::shared_ptr<Loop> keep = shared_from_this();
  struct Outcome {
    std::atomic<bool> done{false};
    error_code& error;
    Reply& reply;
    std::thread::id waiting;

    void Take(error_code result, Reply&& value) {
      error = result;
      // A reply is made in place unless it came another way (a failure).
      if (&value != &reply) reply = std::move(value);
      done = true;
    }
  } outcome{false, error, reply, std::this_thread::get_id()};
  // The session reads the waiter only while the call is under way, and
  // this thread waits here until it is over.
  detail::CallWaiter waiting;
  const std::shared_ptr<detail::CallWaiter> waiter(keep, &waiting);
  waiter->thread = std::this_thread::get_id();
  waiter->reply = &reply;
  Clock::time_point until = Clock::now() + std::chrono::milliseconds(1000);
  waiter->until = until;
  std::unique_lock<std::mutex> lock(mutex);
  // A call started before and not yet waited for reaches the session first.
  if (kept) {
    const std::shared_ptr<PendingCall::State> previous = std::move(kept);
    lock.unlock();
    HandOver(*previous, false);
    lock.lock();
  }
  const bool ownThread = !running;
  if (ownThread) {
    running = true;
    runner = std::this_thread::get_id();
  }
  lock.unlock();
  // The outcome outlives the call: this thread waits below until it ends.
  session.Enqueue(
      session.NewCallId(), procedure, std::string(parameters), options,
      [this, &outcome](error_code result, Reply&& value, bool) {
        // On the waiting thread itself nobody else looks at the outcome,
        // and the wait sees it as soon as this returns.
        if (std::this_thread::get_id() == outcome.waiting) {
          if (!outcome.done) outcome.Take(result, std::move(value));
          return;
        }
        // Neither is touched once the mutex is released: the waiting thread
        // may return then.
        const std::lock_guard<std::mutex> ended(mutex);
        if (outcome.done) return;
        outcome.Take(result, std::move(value));
        NotifyLocked();
      },
      waiter, ownThread);
  // Held at the end too: the completion may hold it on another thread.
  lock.lock();
  if (ownThread) {
    running = false;
    runner = {};
    changed.notify_all();
  }
  while (!outcome.done.load()) {
    lock.unlock();
    if (!Drive([&outcome] { return outcome.done.load(); }, until)) {
      until = Clock::now() + std::chrono::milliseconds(1000);
      waiter->until = until;
    }
    lock.lock();
  }
}

PendingCall::PendingCall(std::shared_ptr<State> state)
    : state_(std::move(state)) {}

bool PendingCall::WaitFor(std::chrono::milliseconds slice) {
  auto until = Clock::now() + slice;
  if (state_->giveUpAt && *state_->giveUpAt < until) until = *state_->giveUpAt;
  if (state_->waiter) {
    state_->waiter->until = until;
    state_->waiter->thread = std::this_thread::get_id();
    state_->loop->HandOver(*state_, true);
  }
  if (state_->loop->Drive([this] { return state_->done.load(); }, until)) {
    return true;
  }
  if (state_->giveUpAt && Clock::now() >= *state_->giveUpAt) {
    Reply reply;
    reply.diagnostics =
        "the call did not end within its bound: the event loop of the "
        "session's stream is not running";
    state_->End(ErrorKind::kTimeout, std::move(reply));
    return true;
  }
  return false;
}

void PendingCall::Wait() {
  while (!WaitFor(std::chrono::milliseconds(1000))) {
  }
}

void PendingCall::Cancel() {
  // A call cancelled before its first wait is queued first, as any other.
  state_->loop->HandOver(*state_, false);
  const std::lock_guard<std::mutex> lock(state_->loop->mutex);
  if (!state_->done) state_->cancel.emit(asio::cancellation_type::terminal);
}

Reply PendingCall::Take(error_code& error) {
  Wait();
  const std::lock_guard<std::mutex> lock(state_->loop->mutex);
  error = state_->error;
  return std::move(state_->reply);
}

Reply PendingCall::Take() {
  error_code error;
  Reply reply = Take(error);
  if (error) throw SessionError(ToError(error, std::move(reply.diagnostics)));
  return reply;
}

BlockingSession::BlockingSession(std::shared_ptr<Loop> loop)
    : loop_(std::move(loop)) {}

BlockingSession::BlockingSession(BlockingSession&&) noexcept = default;

BlockingSession& BlockingSession::operator=(BlockingSession&& other) noexcept {
  if (this != &other) {
    if (loop_) loop_->Shut();
    loop_ = std::move(other.loop_);
  }
  return *this;
}

BlockingSession::~BlockingSession() {
  if (loop_) loop_->Shut();
}

BlockingSession BlockingSession::Connect(std::string_view address,
                                         SessionOptions options) {
  auto loop = std::make_shared<Loop>();
  std::atomic<bool> connected{false};
  error_code error;
  std::string diagnostics;
  Session::StartConnect(
      loop->io.get_executor(), std::string(address), std::move(options),
      [&](error_code outcome, Session session, std::string message) {
        loop->session = std::move(session);
        error = outcome;
        diagnostics = std::move(message);
        connected = true;
        loop->Notify();
      });
  loop->Drive([&connected] { return connected.load(); }, Forever());
  if (error) throw SessionError(ToError(error, std::move(diagnostics)));
  return BlockingSession(std::move(loop));
}

BlockingSession BlockingSession::OpenSerial(const std::string& device,
                                            unsigned baud,
                                            SessionOptions options) {
  return Make([&](Session::executor_type executor) {
    return Session::OpenSerial(executor, device, baud, std::move(options));
  });
}

BlockingSession BlockingSession::Make(
    const std::function<Session(Session::executor_type)>& make) {
  auto loop = std::make_shared<Loop>();
  loop->session = make(loop->io.get_executor());
  loop->foreign = !loop->OwnsSession();
  return BlockingSession(std::move(loop));
}

PendingCall BlockingSession::Start(unsigned short procedure,
                                   std::string_view parameters,
                                   CallOptions options) {
  auto state = std::make_shared<PendingCall::State>();
  // A moved-from session gets a loop of its own that just reports kClosed.
  state->loop = loop_ ? loop_ : std::make_shared<Loop>();
  Session& session = state->loop->session;
  if (state->loop->foreign) {
    const unsigned tries = options.retries.value_or(0) + 1;
    const std::chrono::milliseconds bound =
        options.deadline.value_or(
            options.timeout.value_or(ReplyTimeout(procedure)) * tries) +
        std::chrono::milliseconds(1000);
    state->giveUpAt = Clock::now() + bound;
    session.AsyncCall(
        procedure, parameters,
        asio::bind_cancellation_slot(state->cancel.slot(),
                                     [state](error_code error, Reply reply) {
                                       state->End(error, std::move(reply));
                                     }),
        options);
    return PendingCall(state);
  }
  // On its own loop the call ends on the strand, run by a waiting thread:
  // no hop through the loop's queue to deliver the outcome.
  state->waiter = std::make_shared<detail::CallWaiter>();
  const std::uint64_t id = session.NewCallId();
  if (id != 0) {
    state->cancel.slot().assign(
        [cancel = session.Canceller(id)](asio::cancellation_type type) {
          cancel(type);
        });
  }
  state->unstarted = PendingCall::State::Unstarted{
      id, procedure, std::string(parameters), options};
  if (loop_) {
    loop_->Keep(state);
  } else {
    state->loop->HandOver(*state, false);
  }
  return PendingCall(state);
}

void BlockingSession::AsyncCall(unsigned short procedure,
                                std::string_view parameters,
                                Session::Completion completion,
                                CallOptions options) {
  if (!loop_ || loop_->foreign) {
    // Whoever runs the stream's context serves the call.
    Session empty;
    Session& session = loop_ ? loop_->session : empty;
    session.AsyncCall(procedure, parameters, std::move(completion), options);
    return;
  }
  loop_->HandOverKept();
  loop_->AsyncStarted();
  // The loop outlives every handler it runs: whoever runs it holds it.
  loop_->session.AsyncCall(
      procedure, parameters,
      [loop = loop_.get(), completion = std::move(completion)](error_code error,
                                                               Reply reply) {
        completion(error, std::move(reply));
        loop->AsyncEnded();
      },
      options);
}

Reply BlockingSession::Call(unsigned short procedure,
                            std::string_view parameters, CallOptions options) {
  error_code error;
  Reply reply = Call(procedure, parameters, options, error);
  if (error) throw SessionError(ToError(error, std::move(reply.diagnostics)));
  return reply;
}

Reply BlockingSession::Call(unsigned short procedure,
                            std::string_view parameters, CallOptions options,
                            error_code& error) {
  Reply reply;
  if (!loop_ || loop_->foreign) {
    reply = Start(procedure, parameters, options).Take(error);
  } else {
    loop_->CallHere(procedure, parameters, options, reply, error);
  }
  return reply;
}

Result<Reply> BlockingSession::TryCall(unsigned short procedure,
                                       std::string_view parameters,
                                       CallOptions options) {
  error_code failure;
  // The reply is made where the result keeps it, and the result is returned
  // as it is on either way (a reply moves at the cost of a sentence's copy).
  Result<Reply> result{std::in_place};
  Reply& reply = *result;
  if (!loop_ || loop_->foreign) {
    reply = Start(procedure, parameters, options).Take(failure);
  } else {
    loop_->CallHere(procedure, parameters, options, reply, failure);
  }
  if (failure) {
    Error error = ToError(failure, std::move(reply.diagnostics));
    error.returnCode = reply.returnCode;
    error.bytes = std::move(reply.bytes);
    result = std::move(error);
  }
  return result;
}

Fields BlockingSession::Call(std::string_view procedure,
                             const Fields& arguments, CallOptions options) {
  return std::move(
      CallNamed(*this, procedure, arguments, options).value().values);
}

SessionCounts BlockingSession::Counts() const {
  return loop_ ? loop_->session.Counts() : SessionCounts{};
}

std::string BlockingSession::Name() const {
  return loop_ ? loop_->session.Name() : "";
}

void BlockingSession::Close() {
  if (loop_) {
    loop_->HandOverKept();
    loop_->session.Close();
  }
}

}  // namespace Core::GEOCOM::host
