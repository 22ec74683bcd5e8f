// Makes one call through the installed host library to an instrument this
// program plays itself on a loopback port; exits non-zero if the call fails.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Calls.h>
#include <DazoZazIdoRezeraro/host/Version.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <iostream>
#include <string>
#include <thread>

namespace asio = boost::asio;
using namespace Core::GEOCOM;

int main() {
  asio::io_context instrumentIo;
  asio::ip::tcp::acceptor acceptor(instrumentIo,
                                   {asio::ip::address_v4::loopback(), 0});
  std::thread instrument([&acceptor] {
    asio::ip::tcp::socket line = acceptor.accept();
    std::string request(64, '\0');
    request.resize(line.read_some(asio::buffer(request)));
    // "%R1Q,5004,SEQUENCE:\r\n": answer with the same sequence number.
    const std::size_t comma = request.find(',', 5);
    const std::string sequence =
        request.substr(comma + 1, request.find(':') - comma - 1);
    asio::write(line, asio::buffer("%R1P,0," + sequence + ":0,\"TS\"\r\n"));
  });

  host::BlockingSession session = host::BlockingSession::Connect(
      "127.0.0.1:" + std::to_string(acceptor.local_endpoint().port()));
  const host::Result<std::string> name = host::GetInstrumentName(session);
  instrument.join();
  if (!name || *name != "TS") {
    std::cerr << "host consumer: "
              << (name ? "unexpected name " + *name : name.error().message)
              << '\n';
    return 1;
  }
  std::cout << "host consumer: library " << host::Version()
            << ", headers " DAZOZAZIDOREZERARO_VERSION_STRING << ", name "
            << *name << '\n';
  return 0;
}
