#include <DazoZazIdoRezeraro/host/Endpoint.h>
#include <DazoZazIdoRezeraro/host/Procedures.h>
#include <DazoZazIdoRezeraro/host/SentenceStream.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Session.h>
#include <DazoZazIdoRezeraro/host/Text.h>
#include <termios.h>

#include <array>
#include <atomic>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <deque>
#include <mutex>

namespace Core::GEOCOM::host {

namespace asio = boost::asio;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

Transport::~Transport() = default;

SessionError::SessionError(Error error)
    : std::runtime_error(error.message), error_(std::move(error)) {}

namespace {

// How long a synchronous caller lets the io_context run before it looks
// again whether its call has ended.
constexpr std::chrono::milliseconds kDrivePoll(20);
constexpr std::size_t kReadChunk = 4096;

// A serial line keeps what the peer sent before the request; tcflush is the
// one terminal call Asio does not wrap.
class SerialTransport final : public StreamTransport<asio::serial_port> {
 public:
  using StreamTransport::StreamTransport;
  void DiscardInput() override {
    ::tcflush(stream().native_handle(), TCIFLUSH);
  }
};

std::string ProcedureLabel(unsigned short procedure) {
  const Procedure* named = FindProcedure(procedure);
  return named != nullptr
             ? std::string(named->name) + " (" + std::to_string(procedure) + ")"
             : "procedure " + std::to_string(procedure);
}

bool IsClosedError(const error_code& error) {
  return error == asio::error::eof || error == asio::error::connection_reset ||
         error == asio::error::broken_pipe ||
         error == asio::error::connection_aborted ||
         // A pseudo-terminal whose other side has gone answers EIO.
         error == boost::system::errc::io_error;
}

// Runs the io_context on this thread until done is set.
void Drive(asio::io_context& io, const std::atomic<bool>& done) {
  while (!done.load()) {
    if (io.stopped()) io.restart();
    io.run_one_for(kDrivePoll);
  }
}

// A call waiting its turn.
struct Pending {
  unsigned short procedure;
  std::string parameters;
  CallOptions options;
  std::function<void(Result<Reply>)> completion;
};

// The call being made: its request as sent and how long it may wait.
struct Current {
  Pending pending;
  GeoComSentence request;
  std::string requestBytes;
  Clock::time_point written;
  std::chrono::milliseconds timeout{0};
  unsigned retriesLeft = 0;
};

}  // namespace

class Session::Impl : public std::enable_shared_from_this<Impl> {
 public:
  Impl(asio::io_context& io, std::unique_ptr<Transport> transport,
       SessionOptions options)
      : io_(io),
        transport_(std::move(transport)),
        strand_(asio::make_strand(transport_->Executor())),
        timer_(strand_),
        options_(options) {}

  asio::io_context& io() { return io_; }
  asio::any_io_executor executor() { return strand_; }
  std::mutex& syncMutex() { return syncMutex_; }
  const std::string& name() const { return transport_->Name(); }

  void Enqueue(Pending pending) {
    ++unfinished_;
    asio::post(strand_, [self = shared_from_this(),
                         pending = std::move(pending)]() mutable {
      self->queue_.push_back(std::move(pending));
      self->StartNextIfIdle();
    });
  }

  void Close() {
    asio::post(strand_, [self = shared_from_this()] {
      self->closed_ = true;
      self->transport_->Close();
      if (self->current_) {
        self->Finish(Error{ErrorKind::kClosed,
                           "the session to " + self->name() + " was closed"});
      }
      self->StartNextIfIdle();
    });
  }

  // Closes at once when no call is queued or running, so that a session
  // that goes out of scope frees its connection without the io_context
  // running again; otherwise on the strand, after the running call.
  void CloseWhenDestroyed() {
    if (unfinished_ == 0) {
      closed_ = true;
      transport_->Close();
    } else {
      Close();
    }
  }

  SessionCounts Counts() const {
    const std::lock_guard<std::mutex> lock(countsMutex_);
    return counts_;
  }

 private:
  // A call starts once the previous one has ended and none of its
  // operations is still in flight.
  void StartNextIfIdle() {
    if (current_ || readInFlight_ || writeInFlight_) return;
    while (!queue_.empty()) {
      Pending pending = std::move(queue_.front());
      queue_.pop_front();
      if (closed_) {
        Complete(pending, Error{ErrorKind::kClosed,
                                "the connection to " + name() + " is closed"});
        continue;
      }
      Start(std::move(pending));
      if (current_) return;
    }
  }

  void Start(Pending pending) {
    const CallOptions& options = pending.options;
    current_.emplace();
    current_->retriesLeft = options.retries.value_or(options_.retries);
    current_->timeout =
        options.timeout.value_or(ReplyTimeout(pending.procedure));
    current_->pending = std::move(pending);
    ++callId_;
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
    Result<GeoComSentence> request =
        ComposeRequest(call.pending.procedure, call.pending.parameters);
    if (!request) {
      Finish(request.error());
      return;
    }
    call.request = std::move(*request);
    call.requestBytes = SentenceBytes(call.request);
    call.written = Clock::now();
    timer_.expires_at(call.written + call.timeout);
    timer_.async_wait(
        [self = shared_from_this(), id = callId_](const error_code& error) {
          if (!error) self->OnTimeout(id);
        });
    writeInFlight_ = true;
    transport_->AsyncWrite(
        asio::buffer(call.requestBytes),
        asio::bind_executor(strand_, [self = shared_from_this(),
                                      id = callId_](const error_code& error) {
          self->OnWritten(id, error);
        }));
  }

  void StartRead() {
    if (readInFlight_ || !current_) return;
    readInFlight_ = true;
    transport_->AsyncReadSome(
        asio::buffer(readBuffer_),
        asio::bind_executor(strand_,
                            [self = shared_from_this()](const error_code& error,
                                                        std::size_t received) {
                              self->OnRead(error, received);
                            }));
  }

  void OnWritten(std::uint64_t id, const error_code& error) {
    writeInFlight_ = false;
    if (error && current_ && id == callId_) {
      FailOnError("cannot write to", error);
    }
    StartNextIfIdle();
  }

  void OnRead(const error_code& error, std::size_t received) {
    readInFlight_ = false;
    // Bytes read are kept even when the call has ended meanwhile: they may
    // answer a later call, or be a late reply to pass over.
    stream_.Append(std::string_view(readBuffer_.data(), received));
    if (current_) {
      ProcessFrames();
      if (current_ && error && error != asio::error::operation_aborted) {
        FailOnError("cannot read from", error);
      }
      StartRead();
    }
    StartNextIfIdle();
  }

  void FailOnError(const char* action, const error_code& error) {
    if (IsClosedError(error)) {
      closed_ = true;
      Finish(Error{ErrorKind::kClosed,
                   name() + " closed the connection before the reply to " +
                       ProcedureLabel(current_->pending.procedure)});
    } else {
      Finish(Error{ErrorKind::kIo, std::string(action) + " " + name() + ": " +
                                       error.message()});
    }
  }

  void OnTimeout(std::uint64_t id) {
    if (!current_ || id != callId_) return;
    AddCount(&SessionCounts::timeouts);
    Current& call = *current_;
    if (call.retriesLeft > 0 && !writeInFlight_) {
      --call.retriesLeft;
      SendRequest();
      return;
    }
    Finish(Error{ErrorKind::kTimeout,
                 "no reply to " + ProcedureLabel(call.pending.procedure) +
                     " from " + name() + " within " +
                     std::to_string(call.timeout.count()) + " ms"});
  }

  void ProcessFrames() {
    Frame frame;
    while (current_ && stream_.Next(frame)) {
      switch (frame.kind) {
        case FrameKind::kReply:
          if (frame.sentence.GetSequenceID() ==
              current_->request.GetSequenceID()) {
            Answer(std::move(frame));
          } else {
            AddCount(&SessionCounts::staleReplies);
          }
          break;
        case FrameKind::kRequest:
          AddCount(&SessionCounts::echoes);
          break;
        case FrameKind::kUnrecognised:
          // A line that starts as a reply does but that the core refuses
          // (a leading code other than 0 reports a communication error).
          if (frame.bytes.rfind("%R1P,", 0) == 0) {
            Error error{ErrorKind::kInvalidReply,
                        "invalid reply to " +
                            ProcedureLabel(current_->pending.procedure) + ": " +
                            EscapeBytes(frame.bytes)};
            error.bytes = frame.bytes;
            Finish(std::move(error));
          }
          break;
        case FrameKind::kNoise:
        case FrameKind::kDropped:
          break;
      }
    }
    SyncStreamCounts();
  }

  void Answer(Frame frame) {
    Current& call = *current_;
    Reply reply;
    reply.request = call.requestBytes;
    reply.sequence = call.request.GetSequenceID();
    reply.roundTrip = std::chrono::duration_cast<std::chrono::microseconds>(
        Clock::now() - call.written);
    reply.bytes = std::move(frame.bytes);
    reply.sentence = std::move(frame.sentence);
    const unsigned short code = reply.sentence.GetRetCode();
    if (code != GRC_OK) {
      Error error{ErrorKind::kReturnCode,
                  ProcedureLabel(call.pending.procedure) +
                      " answered return code " + std::to_string(code)};
      error.returnCode = code;
      error.bytes = reply.bytes;
      Finish(std::move(error));
      return;
    }
    Finish(std::move(reply));
  }

  void Finish(Result<Reply> result) {
    Pending pending = std::move(current_->pending);
    current_.reset();
    ++callId_;
    timer_.cancel();
    if (readInFlight_ || writeInFlight_) transport_->Cancel();
    AddCount(&SessionCounts::calls);
    Complete(pending, std::move(result));
  }

  void Complete(Pending& pending, Result<Reply> result) {
    --unfinished_;
    pending.completion(std::move(result));
  }

  void AddCount(std::uint64_t SessionCounts::*field) {
    const std::lock_guard<std::mutex> lock(countsMutex_);
    ++(counts_.*field);
  }

  void SyncStreamCounts() {
    const StreamCounts& stream = stream_.Counts();
    const std::lock_guard<std::mutex> lock(countsMutex_);
    counts_.noiseBytes = stream.noiseBytes;
    counts_.unrecognised = stream.unrecognised;
    counts_.droppedBytes = stream.droppedBytes;
  }

  asio::io_context& io_;
  std::unique_ptr<Transport> transport_;
  asio::strand<asio::any_io_executor> strand_;
  asio::steady_timer timer_;
  SessionOptions options_;
  SentenceStream stream_;
  std::deque<Pending> queue_;
  std::optional<Current> current_;
  std::uint64_t callId_ = 0;
  bool readInFlight_ = false;
  bool writeInFlight_ = false;
  bool closed_ = false;
  std::array<char, kReadChunk> readBuffer_{};
  std::atomic<int> unfinished_{0};  // calls queued or running
  std::mutex syncMutex_;
  mutable std::mutex countsMutex_;
  SessionCounts counts_;
};

Session::Session(asio::io_context& io, std::unique_ptr<Transport> transport,
                 SessionOptions options)
    : impl_(std::make_shared<Impl>(io, std::move(transport), options)) {}

Session::Session(Session&&) noexcept = default;
Session& Session::operator=(Session&&) noexcept = default;
Session::~Session() {
  if (impl_) impl_->CloseWhenDestroyed();
}

Result<Reply> Session::Call(unsigned short procedure,
                            std::string_view parameters, CallOptions options) {
  // One synchronous caller drives the io_context at a time; the others wait
  // here, which is also where their calls are serialised.
  const std::lock_guard<std::mutex> lock(impl_->syncMutex());
  std::optional<Result<Reply>> result;
  std::atomic<bool> done{false};
  impl_->Enqueue({procedure, std::string(parameters), options,
                  [&result, &done](Result<Reply> outcome) {
                    result.emplace(std::move(outcome));
                    done.store(true);
                  }});
  Drive(impl_->io(), done);
  return std::move(*result);
}

SessionCounts Session::Counts() const { return impl_->Counts(); }

std::string Session::Name() const { return impl_->name(); }

void Session::Close() { impl_->Close(); }

asio::any_io_executor Session::Executor(Impl& impl) { return impl.executor(); }

void Session::Enqueue(Impl& impl, unsigned short procedure,
                      std::string parameters, CallOptions options,
                      std::function<void(Result<Reply>)> completion) {
  impl.Enqueue(
      {procedure, std::move(parameters), options, std::move(completion)});
}

Session Session::ConnectTcp(asio::io_context& io, std::string_view address,
                            SessionOptions options) {
  Result<Endpoint> endpoint = ParseEndpoint(address);
  if (!endpoint) throw SessionError(endpoint.error());
  const std::string name = endpoint->ToString();

  asio::ip::tcp::resolver resolver(io);
  asio::ip::tcp::socket socket(io);
  asio::steady_timer timer(io, options.connectTimeout);
  std::atomic<bool> done{false};
  error_code failure;
  bool timedOut = false;
  timer.async_wait([&](const error_code& error) {
    if (error) return;
    timedOut = true;
    resolver.cancel();
    socket.close();
  });
  resolver.async_resolve(
      endpoint->host, std::to_string(endpoint->port),
      [&](const error_code& error,
          const asio::ip::tcp::resolver::results_type& results) {
        if (error) {
          failure = error;
          timer.cancel();
          done = true;
          return;
        }
        asio::async_connect(socket, results,
                            [&](const error_code& connectError,
                                const asio::ip::tcp::endpoint&) {
                              failure = connectError;
                              timer.cancel();
                              done = true;
                            });
      });
  Drive(io, done);
  if (timedOut) {
    throw SessionError(
        Error{ErrorKind::kConnect,
              "cannot connect to " + name + " within " +
                  std::to_string(options.connectTimeout.count()) + " ms"});
  }
  if (failure) {
    throw SessionError(
        Error{ErrorKind::kConnect,
              "cannot connect to " + name + ": " + failure.message()});
  }
  socket.set_option(asio::ip::tcp::no_delay(true), failure);
  return Over(io, std::move(socket), name, options);
}

Session Session::OpenSerial(asio::io_context& io, const std::string& device,
                            unsigned baud, SessionOptions options) {
  asio::serial_port port(io);
  error_code error;
  port.open(device, error);
  if (error) {
    throw SessionError(Error{ErrorKind::kIo,
                             "cannot open " + device + ": " + error.message()});
  }
  using Port = asio::serial_port_base;
  port.set_option(Port::baud_rate(baud), error);
  if (error) {
    throw SessionError(
        Error{ErrorKind::kInvalidArgument, "cannot set " + device + " to " +
                                               std::to_string(baud) +
                                               " baud: " + error.message()});
  }
  port.set_option(Port::character_size(8), error);
  if (!error) port.set_option(Port::parity(Port::parity::none), error);
  if (!error) port.set_option(Port::stop_bits(Port::stop_bits::one), error);
  if (!error)
    port.set_option(Port::flow_control(Port::flow_control::none), error);
  if (error) {
    throw SessionError(Error{
        ErrorKind::kIo, "cannot configure " + device + ": " + error.message()});
  }
  options.discardBeforeRequest = true;
  return Session(io, std::make_unique<SerialTransport>(std::move(port), device),
                 options);
}

}  // namespace Core::GEOCOM::host
