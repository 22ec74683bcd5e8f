#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Endpoint.h>
#include <DazoZazIdoRezeraro/host/Listener.h>
#include <DazoZazIdoRezeraro/host/SentenceStream.h>
#include <DazoZazIdoRezeraro/simulator/Server.h>

#include <array>
#include <atomic>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>

#include "ClientLine.h"

namespace Core::GEOCOM::simulator {

namespace asio = boost::asio;
using boost::system::error_code;
using tcp = asio::ip::tcp;

namespace {

// Requests read ahead of their answers; beyond, reading pauses and the
// peer's writes wait.
constexpr std::size_t kMaxQueued = 64;
constexpr std::size_t kReadChunk = 4096;

std::string Note(const host::Frame& frame) {
  switch (frame.kind) {
    case host::FrameKind::kRequest: {
      const host::Procedure* named =
          host::FindProcedure(frame.sentence.GetGeocomID());
      return named != nullptr ? std::string(named->name)
                              : std::to_string(frame.sentence.GetGeocomID());
    }
    case host::FrameKind::kReply:
      return "reply";
    case host::FrameKind::kUnrecognised:
    case host::FrameKind::kRefusedReply:
      return "unrecognised";
    case host::FrameKind::kNoise:
      return "noise";
    case host::FrameKind::kDropped:
      return "dropped " + std::to_string(frame.size) + " bytes";
  }
  return "";
}

std::string ProcedureNote(unsigned short procedure) {
  const host::Procedure* named = host::FindProcedure(procedure);
  return named != nullptr ? std::string(named->name)
                          : std::to_string(procedure);
}

}  // namespace

class Connection;

class ServerState : public std::enable_shared_from_this<ServerState> {
 public:
  ServerState(asio::io_context& io, Responder& responderGiven,
              ServerOptions given)
      : strand(asio::make_strand(io)),
        responder(responderGiven),
        options(std::move(given)) {}

  void Accept(tcp::socket peer);
  void StopNow();
  void Remove(const std::shared_ptr<Connection>& connection) {
    connections.erase(connection);
    Publish();
  }
  void Monitor(unsigned connection, host::CaptureDirection direction,
               std::string bytes, std::string note, std::string fault,
               host::CaptureEvent event = host::CaptureEvent::kBytes) {
    if (!options.monitor) return;
    host::CaptureRecord record;
    record.connection = connection;
    record.event = event;
    record.direction = direction;
    record.bytes = std::move(bytes);
    record.note = std::move(note);
    record.fault = std::move(fault);
    options.monitor(std::move(record));
  }
  void Count(std::uint64_t ServerCounts::*field, std::uint64_t amount = 1) {
    const std::lock_guard<std::mutex> lock(countsMutex);
    counts.*field += amount;
  }
  ServerCounts Counts() const {
    const std::lock_guard<std::mutex> lock(countsMutex);
    return counts;
  }

  asio::strand<asio::io_context::executor_type> strand;
  Responder& responder;
  const ServerOptions options;
  std::optional<host::Listener> listener;
  std::shared_ptr<Connection> pty;
  std::set<std::shared_ptr<Connection>> connections;  // TCP clients
  // The names of the clients, for other threads.
  void Publish() {
    std::vector<std::string> names;
    for (const auto& connection : connections)
      names.push_back(ClientName(*connection));
    if (pty) names.push_back("pty");
    const std::lock_guard<std::mutex> lock(countsMutex);
    clients = std::move(names);
  }
  static const std::string& ClientName(const Connection& connection);

  bool stopped = false;
  unsigned lastConnection = 0;  // the number of the latest client
  std::atomic<bool> paused{false};
  std::vector<std::string> clients;
  mutable std::mutex countsMutex;
  ServerCounts counts;
};

// One client: reads and frames its bytes, answers its requests one at a
// time in order, and writes each plan's steps at their times.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(std::shared_ptr<ServerState> server, Line line, std::string name)
      : server_(std::move(server)),
        line_(std::move(line)),
        id_(++server_->lastConnection),
        name_(std::move(name)),
        stepTimer_(server_->strand),
        idleTimer_(server_->strand) {}

  void Start() {
    server_->Monitor(id_, host::CaptureDirection::kUnknown, "", "", "",
                     host::CaptureEvent::kOpen);
    ArmIdle();
    Read();
  }

  const std::string& Name() const { return name_; }

  // Takes up the next request once answering resumes.
  void Resume() {
    asio::post(server_->strand,
               [self = shared_from_this()] { self->AnswerNext(); });
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    if (busy_) Report();
    stepTimer_.cancel();
    idleTimer_.cancel();
    line_.transport->Close();
    server_->Monitor(id_, host::CaptureDirection::kUnknown, "", "", "",
                     host::CaptureEvent::kClose);
    server_->Remove(shared_from_this());
  }

 private:
  void Read() {
    if (reading_ || closed_ || ended_ || queue_.size() >= kMaxQueued) return;
    reading_ = true;
    line_.transport->AsyncReadSome(
        asio::buffer(buffer_),
        [self = shared_from_this()](const error_code& error,
                                    std::size_t received) {
          self->OnRead(error, received);
        });
  }

  void OnRead(const error_code& error, std::size_t received) {
    reading_ = false;
    if (closed_) return;
    if (received > 0) {
      lastHeard_ = Clock::now();
      if (crLast_ && buffer_[0] == '\n') {
        // The stream passes over an LF that follows its CR in a read of its
        // own; the log still holds every byte.
        server_->Monitor(id_, host::CaptureDirection::kToInstrument, "\n", "",
                         "");
      }
      crLast_ = buffer_[received - 1] == '\r';
      stream_.Append(std::string_view(buffer_.data(), received));
      TakeFrames();
    }
    if (error) {
      // The peer is gone or has stopped writing: what it asked before is
      // still answered, then the connection closes.
      ended_ = true;
      stream_.Finish();
      TakeFrames();
    }
    AnswerNext();
    Read();
  }

  void TakeFrames() {
    host::Frame frame;
    while (stream_.Next(frame)) {
      server_->Monitor(id_, host::CaptureDirection::kToInstrument, frame.bytes,
                       Note(frame), "");
      if (frame.kind == host::FrameKind::kRequest) {
        queue_.push_back(std::move(frame));
      }
    }
  }

  void AnswerNext() {
    if (busy_ || closed_) return;
    if (queue_.empty()) {
      if (ended_) Close();
      return;
    }
    if (server_->paused) return;
    busy_ = true;
    const host::Frame frame = std::move(queue_.front());
    const GeoComSentence& request = frame.sentence;
    queue_.pop_front();
    exchange_ = Exchange{};
    exchange_.client = name_;
    exchange_.request = frame.bytes;
    exchange_.received = Clock::now();
    exchange_.procedure = request.GetGeocomID();
    Read();
    server_->Count(&ServerCounts::requests);
    plan_ = server_->responder.Respond(request, exchange_.received);
    exchange_.fault = plan_.fault;
    exchange_.arguments = plan_.arguments;
    exchange_.returnCode = plan_.returnCode;
    exchange_.values = plan_.values;
    note_ = ProcedureNote(request.GetGeocomID());
    if (plan_.steps.empty() && !plan_.fault.empty()) {
      server_->Monitor(id_, host::CaptureDirection::kToHost, "", note_,
                       plan_.fault);
    }
    Step(0);
  }

  void Step(std::size_t index) {
    if (closed_) return;
    if (index == plan_.steps.size()) {
      Report();
      busy_ = false;
      asio::post(server_->strand,
                 [self = shared_from_this()] { self->AnswerNext(); });
      Read();
      return;
    }
    const ReplyStep& step = plan_.steps[index];
    if (step.delay <= Clock::duration::zero()) {
      Write(index);
      return;
    }
    stepTimer_.expires_after(step.delay);
    stepTimer_.async_wait(
        [self = shared_from_this(), index](const error_code& error) {
          if (!error) self->Write(index);
        });
  }

  void Write(std::size_t index) {
    if (closed_) return;
    const ReplyStep& step = plan_.steps[index];
    if (step.disconnect && !line_.canDisconnect) {
      // A pty cannot be hung up from this side: the cut-off reply is not
      // written at all, as if dropped.
      server_->Monitor(id_, host::CaptureDirection::kToHost, "", note_,
                       plan_.fault);
      Step(plan_.steps.size());
      return;
    }
    server_->Monitor(id_, host::CaptureDirection::kToHost, step.bytes, note_,
                     plan_.fault);
    exchange_.reply += step.bytes;
    const bool disconnect = step.disconnect;
    const std::uint64_t droppedBefore = Dropped();
    auto kept = std::make_shared<const std::string>(step.bytes);
    line_.transport->AsyncWrite(
        asio::buffer(*kept),
        [self = shared_from_this(), kept, index, disconnect,
         droppedBefore](const error_code& error) {
          if (self->Dropped() > droppedBefore) {
            self->server_->Count(&ServerCounts::droppedReplies);
          }
          if (error || disconnect) {
            self->Close();
            return;
          }
          self->lastHeard_ = Clock::now();
          self->Step(index + 1);
        });
  }

  // A TCP client that neither asks nor is answered for the idle limit is
  // closed; a reply still being planned keeps it.
  void ArmIdle() {
    const std::chrono::milliseconds limit = server_->options.idleTimeout;
    if (limit.count() <= 0 || !line_.canDisconnect) return;
    idleTimer_.expires_at(lastHeard_ + limit);
    idleTimer_.async_wait([self = shared_from_this()](const error_code& error) {
      if (error || self->closed_) return;
      if (self->busy_ || !self->queue_.empty() ||
          Clock::now() <
              self->lastHeard_ + self->server_->options.idleTimeout) {
        self->ArmIdle();
        return;
      }
      self->server_->Count(&ServerCounts::idleClosed);
      self->Close();
    });
  }

  void Report() {
    if (!server_->options.exchanges) return;
    exchange_.answered = Clock::now();
    server_->options.exchanges(exchange_);
  }

  std::shared_ptr<ServerState> server_;
  std::uint64_t Dropped() const { return line_.dropped ? line_.dropped() : 0; }

  Line line_;
  const unsigned id_;  // the client's number in the log
  std::string name_;
  Exchange exchange_;
  asio::steady_timer stepTimer_;
  asio::steady_timer idleTimer_;
  host::SentenceStream stream_;
  std::deque<host::Frame> queue_;
  ReplyPlan plan_;
  std::string note_;
  Clock::time_point lastHeard_ = Clock::now();
  bool reading_ = false;
  bool crLast_ = false;  // the last byte read was a CR
  bool busy_ = false;
  bool ended_ = false;
  bool closed_ = false;
  std::array<char, kReadChunk> buffer_{};
};

const std::string& ServerState::ClientName(const Connection& connection) {
  return connection.Name();
}

void ServerState::Accept(tcp::socket peer) {
  if (connections.size() >= options.maxClients) {
    Count(&ServerCounts::refused);
    error_code ignored;
    peer.close(ignored);
    return;
  }
  error_code ignored;
  peer.set_option(tcp::no_delay(true), ignored);
  std::ostringstream name;
  name << peer.remote_endpoint(ignored);
  auto connection = std::make_shared<Connection>(
      shared_from_this(), MakeTcpLine(std::move(peer), options.writeTimeout),
      name.str());
  connections.insert(connection);
  Publish();
  Count(&ServerCounts::connections);
  connection->Start();
}

void ServerState::StopNow() {
  stopped = true;
  if (listener) listener->Close();
  // Closing removes each from the set.
  const std::set<std::shared_ptr<Connection>> open = connections;
  for (const auto& connection : open) connection->Close();
  if (pty) pty->Close();
  pty.reset();
  Publish();
}

Server::Server(asio::io_context& io, Responder& responder,
               ServerOptions options)
    : impl_(std::make_shared<ServerState>(io, responder, std::move(options))) {}

Server::~Server() { impl_->StopNow(); }

host::Result<std::string> Server::ListenTcp(std::string_view address) {
  const host::Result<host::Endpoint> endpoint =
      host::ParseEndpoint(address, true);
  if (!endpoint) return endpoint.error();
  host::ListenOptions listenOptions;
  listenOptions.allowRemote = impl_->options.allowRemote;
  host::Result<host::Listener> listener =
      host::Listen(impl_->strand, *endpoint, listenOptions);
  if (!listener) return listener.error();
  impl_->listener.emplace(std::move(*listener));
  impl_->listener->AcceptEach([impl = impl_](tcp::socket peer) {
    if (!impl->stopped) impl->Accept(std::move(peer));
  });
  return impl_->listener->Local().ToString();
}

host::Result<std::string> Server::OpenPty() {
  host::Result<PseudoTerminal> pty = OpenPseudoTerminal(impl_->strand);
  if (!pty) return pty.error();
  impl_->pty = std::make_shared<Connection>(impl_, std::move(pty->line), "pty");
  impl_->pty->Start();
  impl_->Publish();
  return pty->path;
}

void Server::Stop() {
  asio::dispatch(impl_->strand, [impl = impl_] { impl->StopNow(); });
}

ServerCounts Server::Counts() const { return impl_->Counts(); }

void Server::SetPaused(bool paused) {
  asio::dispatch(impl_->strand, [impl = impl_, paused] {
    if (impl->paused.exchange(paused) == paused || paused) return;
    for (const auto& connection : impl->connections) connection->Resume();
    if (impl->pty) impl->pty->Resume();
  });
}

bool Server::Paused() const { return impl_->paused; }

std::vector<std::string> Server::Clients() const {
  const std::lock_guard<std::mutex> lock(impl_->countsMutex);
  return impl_->clients;
}

}  // namespace Core::GEOCOM::simulator
