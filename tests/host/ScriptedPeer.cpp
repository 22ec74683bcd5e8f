#include "ScriptedPeer.h"

#include <DazoZazIdoRezeraro/host/SentenceStream.h>
#include <DazoZazIdoRezeraro/host/Sentences.h>

#include <array>
#include <boost/asio/write.hpp>

using Core::GEOCOM::GeoComSentence;
namespace asio = boost::asio;

ScriptedPeer::ScriptedPeer(Script script, bool readRequests)
    : script_(std::move(script)),
      readRequests_(readRequests),
      acceptor_(io_, {asio::ip::address_v4::loopback(), 0}),
      thread_([this] { Serve(); }) {}

ScriptedPeer::~ScriptedPeer() {
  stopping_ = true;
  boost::system::error_code ignored;
  // Wakes a blocking accept; a blocking read ends when the host closes.
  asio::ip::tcp::socket poke(io_);
  poke.connect(acceptor_.local_endpoint(), ignored);
  thread_.join();
}

std::string ScriptedPeer::Address() const {
  return "127.0.0.1:" + std::to_string(acceptor_.local_endpoint().port());
}

boost::asio::ip::tcp::socket ScriptedPeer::Connect(
    boost::asio::io_context& context) const {
  boost::asio::ip::tcp::socket socket(context);
  socket.connect(acceptor_.local_endpoint());
  return socket;
}

std::string ScriptedPeer::ReplyTo(const GeoComSentence& request,
                                  unsigned short returnCode,
                                  const std::string& parameters) {
  return Core::GEOCOM::host::ReplyBytes(
      request.GetSequenceID(), returnCode,
      parameters.empty() ? "" : "," + parameters);
}

void ScriptedPeer::Serve() {
  while (!stopping_) {
    asio::ip::tcp::socket socket(io_);
    boost::system::error_code error;
    acceptor_.accept(socket, error);
    if (error || stopping_) return;
    if (!readRequests_) {
      // Holds the connection without reading until the test ends.
      while (!stopping_)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return;
    }
    Core::GEOCOM::host::SentenceStream stream;
    std::array<char, 4096> chunk{};
    bool open = true;
    while (open && !stopping_) {
      const std::size_t received = socket.read_some(asio::buffer(chunk), error);
      if (error) break;
      stream.Append(std::string_view(chunk.data(), received));
      Core::GEOCOM::host::Frame frame;
      while (open && stream.Next(frame)) {
        if (frame.kind != Core::GEOCOM::host::FrameKind::kRequest) continue;
        ++requests_;
        for (const Step& step : script_(frame.sentence)) {
          std::this_thread::sleep_for(step.delay);
          asio::write(socket, asio::buffer(step.bytes), error);
          if (step.close || error) {
            open = false;
            break;
          }
        }
      }
    }
  }
}
