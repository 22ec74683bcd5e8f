// The recording relay over the host library's transports: half-closes pass
// through, and the capture says which connection carried what.
#include <DazoZazIdoRezeraro/host/Capture.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Relay.h"
#include "RelayCapture.h"

namespace geocom {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace Core::GEOCOM::host;

const std::string kRequest = "%R1Q,5003,7:\r\n";
const std::string kReply = "%R1P,0,7:0,1\r\n";

std::string ReadToEnd(tcp::socket& socket) {
  std::string bytes;
  boost::system::error_code error;
  asio::read(socket, asio::dynamic_buffer(bytes), error);
  return bytes;
}

class RelayFixture : public testing::Test {
 protected:
  void SetUp() override {
    instrument_.open(tcp::v4());
    instrument_.bind({asio::ip::address_v4::loopback(), 0});
    instrument_.listen();
    InstrumentLine line;
    line.tcp = Endpoint{"127.0.0.1", instrument_.local_endpoint().port()};
    relay_.emplace(io_, Endpoint{"127.0.0.1", 0}, line);
    relay_->Start(capture_);
    runner_ = std::thread([this] { io_.run(); });
  }
  void TearDown() override {
    asio::post(io_, [this] { relay_->Stop(); });
    runner_.join();
    std::filesystem::remove(path_);
  }
  tcp::socket ConnectHost() {
    tcp::socket host(client_);
    host.connect({asio::ip::address_v4::loopback(), relay_->Local().port});
    return host;
  }
  std::vector<CaptureRecord> Captured() {
    std::ifstream in(path_);
    CaptureReader reader(in);
    std::vector<CaptureRecord> records;
    while (auto next = reader.Next()) {
      if (!*next) break;
      records.push_back(**next);
    }
    return records;
  }

  asio::io_context io_;
  asio::io_context client_;
  tcp::acceptor instrument_{client_};
  // Each test its own file: ctest runs them in parallel processes.
  std::string path_ =
      testing::TempDir() + "relay_test_" +
      testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
      std::to_string(::getpid()) + ".capture";
  RelayCapture capture_{path_};
  std::optional<Relay> relay_;
  std::thread runner_;
};

// Catches a relay that ends the link when either side half-closes: the host
// has said all it will, yet the reply still reaches it.
TEST_F(RelayFixture, HostHalfCloseStillGetsTheReply) {
  tcp::socket host = ConnectHost();
  tcp::socket instrument(client_);
  instrument_.accept(instrument);
  asio::write(host, asio::buffer(kRequest));
  host.shutdown(tcp::socket::shutdown_send);
  // The instrument sees the end of the request only if the half-close was
  // passed on.
  EXPECT_EQ(ReadToEnd(instrument), kRequest);
  asio::write(instrument, asio::buffer(kReply));
  instrument.shutdown(tcp::socket::shutdown_send);
  EXPECT_EQ(ReadToEnd(host), kReply);
}

// Catches captures that lose the connection: each host's bytes carry its
// own number, between the marks that open and close it.
TEST_F(RelayFixture, EachHostIsAConnectionOfItsOwn) {
  for (int round = 0; round < 2; ++round) {
    tcp::socket host = ConnectHost();
    tcp::socket instrument(client_);
    instrument_.accept(instrument);
    asio::write(host, asio::buffer(kRequest));
    std::string got(kRequest.size(), '\0');
    asio::read(instrument, asio::buffer(got));
    asio::write(instrument, asio::buffer(kReply));
    got.assign(kReply.size(), '\0');
    asio::read(host, asio::buffer(got));
    host.close();
    ReadToEnd(instrument);
  }
  // The second close mark may still be on its way.
  for (int wait = 0; wait < 200 && Captured().size() < 8; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::vector<std::string> outline;
  for (const CaptureRecord& record : Captured()) {
    outline.push_back(std::to_string(record.connection) + " " +
                      (record.event == CaptureEvent::kOpen ? "open"
                       : record.event == CaptureEvent::kClose
                           ? "close"
                           : DirectionName(record.direction)));
  }
  EXPECT_EQ(outline, (std::vector<std::string>{
                         "1 open", "1 to-instrument", "1 to-host", "1 close",
                         "2 open", "2 to-instrument", "2 to-host", "2 close"}));
}

}  // namespace
}  // namespace geocom
