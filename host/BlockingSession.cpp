#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Errors.h>
#include <DazoZazIdoRezeraro/host/NamedCall.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

namespace Core::GEOCOM::host {

namespace asio = boost::asio;
using boost::system::error_code;

struct PendingCall::State {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  error_code error;
  Reply reply;
  asio::cancellation_signal cancel;
  // Set when the session runs on a context that is not its own loop: the
  // wait is then bounded here too, since nothing else may ever run it.
  std::optional<std::chrono::steady_clock::time_point> giveUpAt;

  void End(error_code outcome, Reply value) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      if (done) return;
      done = true;
      error = outcome;
      reply = std::move(value);
    }
    ended.notify_all();
  }
};

PendingCall::PendingCall(std::shared_ptr<State> state)
    : state_(std::move(state)) {}

bool PendingCall::WaitFor(std::chrono::milliseconds slice) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  auto until = std::chrono::steady_clock::now() + slice;
  if (state_->giveUpAt && *state_->giveUpAt < until) until = *state_->giveUpAt;
  state_->ended.wait_until(lock, until, [this] { return state_->done; });
  if (!state_->done && state_->giveUpAt &&
      std::chrono::steady_clock::now() >= *state_->giveUpAt) {
    lock.unlock();
    Reply reply;
    reply.diagnostics =
        "the call did not end within its bound: the event loop of the "
        "session's stream is not running";
    state_->End(ErrorKind::kTimeout, std::move(reply));
    return true;
  }
  return state_->done;
}

void PendingCall::Wait() {
  while (!WaitFor(std::chrono::milliseconds(1000))) {
  }
}

void PendingCall::Cancel() {
  const std::lock_guard<std::mutex> lock(state_->mutex);
  if (!state_->done) state_->cancel.emit(asio::cancellation_type::terminal);
}

Reply PendingCall::Take(error_code& error) {
  Wait();
  const std::lock_guard<std::mutex> lock(state_->mutex);
  error = state_->error;
  return std::move(state_->reply);
}

Reply PendingCall::Take() {
  error_code error;
  Reply reply = Take(error);
  if (error) throw SessionError(ToError(error, std::move(reply.diagnostics)));
  return reply;
}

struct BlockingSession::Loop {
  Loop() : work(asio::make_work_guard(io)), thread([this] { io.run(); }) {}

  ~Loop() {
    session.Close();
    session = Session();
    work.reset();
    thread.join();
  }

  // Whether the session's work runs on this loop.
  bool OwnsSession() {
    return &asio::query(session.get_executor(), asio::execution::context) ==
           &static_cast<asio::execution_context&>(io);
  }

  asio::io_context io;
  asio::executor_work_guard<asio::io_context::executor_type> work;
  std::thread thread;
  Session session;
  bool foreign = false;
};

BlockingSession::BlockingSession(std::unique_ptr<Loop> loop)
    : loop_(std::move(loop)) {}

BlockingSession::BlockingSession(BlockingSession&&) noexcept = default;
BlockingSession& BlockingSession::operator=(BlockingSession&&) noexcept =
    default;
BlockingSession::~BlockingSession() = default;

BlockingSession BlockingSession::Connect(std::string_view address,
                                         SessionOptions options) {
  auto loop = std::make_unique<Loop>();
  std::promise<std::pair<error_code, std::string>> connected;
  auto outcome = connected.get_future();
  Loop* raw = loop.get();
  Session::StartConnect(raw->io.get_executor(), std::string(address),
                        std::move(options),
                        [raw, &connected](error_code error, Session session,
                                          std::string diagnostics) {
                          raw->session = std::move(session);
                          connected.set_value({error, std::move(diagnostics)});
                        });
  auto [error, diagnostics] = outcome.get();
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
  auto loop = std::make_unique<Loop>();
  std::promise<void> made;
  auto outcome = made.get_future();
  Loop* raw = loop.get();
  asio::post(raw->io, [raw, &make, &made] {
    try {
      raw->session = make(raw->io.get_executor());
      made.set_value();
    } catch (...) {
      made.set_exception(std::current_exception());
    }
  });
  outcome.get();
  loop->foreign = !loop->OwnsSession();
  return BlockingSession(std::move(loop));
}

PendingCall BlockingSession::Start(unsigned short procedure,
                                   std::string_view parameters,
                                   CallOptions options) {
  auto state = std::make_shared<PendingCall::State>();
  if (loop_ && loop_->foreign) {
    const unsigned tries = options.retries.value_or(0) + 1;
    const std::chrono::milliseconds bound =
        options.deadline.value_or(
            options.timeout.value_or(ReplyTimeout(procedure)) * tries) +
        std::chrono::milliseconds(1000);
    state->giveUpAt = std::chrono::steady_clock::now() + bound;
  }
  Session empty;
  Session& session = loop_ ? loop_->session : empty;
  session.AsyncCall(
      procedure, parameters,
      asio::bind_cancellation_slot(state->cancel.slot(),
                                   [state](error_code error, Reply reply) {
                                     state->End(error, std::move(reply));
                                   }),
      options);
  return PendingCall(state);
}

void BlockingSession::AsyncCall(unsigned short procedure,
                                std::string_view parameters,
                                Session::Completion completion,
                                CallOptions options) {
  Session empty;
  Session& session = loop_ ? loop_->session : empty;
  session.AsyncCall(procedure, parameters, std::move(completion), options);
}

Reply BlockingSession::Call(unsigned short procedure,
                            std::string_view parameters, CallOptions options) {
  return Start(procedure, parameters, options).Take();
}

Reply BlockingSession::Call(unsigned short procedure,
                            std::string_view parameters, CallOptions options,
                            error_code& error) {
  return Start(procedure, parameters, options).Take(error);
}

Result<Reply> BlockingSession::TryCall(unsigned short procedure,
                                       std::string_view parameters,
                                       CallOptions options) {
  error_code failure;
  Reply reply = Call(procedure, parameters, options, failure);
  if (!failure) return reply;
  Error error = ToError(failure, std::move(reply.diagnostics));
  error.returnCode = reply.returnCode;
  error.bytes = std::move(reply.bytes);
  return error;
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
  if (loop_) loop_->session.Close();
}

}  // namespace Core::GEOCOM::host
