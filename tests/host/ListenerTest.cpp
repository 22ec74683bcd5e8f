// The listener every server of the toolkit uses: where it binds, what it
// refuses, and an accept loop that pauses when out of descriptors and ends
// when closed.
#include <DazoZazIdoRezeraro/host/Listener.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <optional>
#include <vector>

namespace {

using namespace Core::GEOCOM;
namespace asio = boost::asio;
using tcp = asio::ip::tcp;

struct Place {
  const char* name;
  const char* host;
  bool allowRemote;
  std::optional<host::ErrorKind> refused;  // nullopt: it binds
};

class Listen : public testing::TestWithParam<Place> {};

// Catches a listener that binds beyond loopback without being allowed to,
// one that refuses loopback names, and a failure of the wrong kind.
TEST_P(Listen, BindsOrRefusesWithAKind) {
  const Place& place = GetParam();
  asio::io_context io;
  host::ListenOptions options;
  options.allowRemote = place.allowRemote;
  const host::Result<host::Listener> listener =
      host::Listen(io.get_executor(), {place.host, 0}, options);
  if (place.refused) {
    ASSERT_FALSE(listener);
    EXPECT_EQ(listener.error().kind, *place.refused);
    EXPECT_NE(listener.error().message.find(place.host), std::string::npos)
        << listener.error().message;
    return;
  }
  ASSERT_TRUE(listener) << listener.error().message;
  EXPECT_NE(listener->Local().port, 0);
  tcp::socket client(io);
  client.connect(
      {asio::ip::make_address(listener->Local().host), listener->Local().port});
}

INSTANTIATE_TEST_SUITE_P(
    Listener, Listen,
    testing::Values(Place{"LoopbackAddress", "127.0.0.1", false, std::nullopt},
                    Place{"OtherLoopbackAddress", "127.0.0.2", false,
                          std::nullopt},
                    Place{"LoopbackName", "localhost", false, std::nullopt},
                    Place{"EveryAddressUnasked", "0.0.0.0", false,
                          host::ErrorKind::kInvalidArgument},
                    Place{"EveryAddressAllowed", "0.0.0.0", true, std::nullopt},
                    Place{"NameThatDoesNotResolve", "no-such-host.invalid",
                          true, host::ErrorKind::kIo},
                    Place{"AddressOfAnotherMachine", "192.0.2.1", true,
                          host::ErrorKind::kIo}),
    [](const auto& test) { return test.param.name; });

void ConnectTo(tcp::socket& client, const host::Listener& listener) {
  client.connect(
      {asio::ip::make_address(listener.Local().host), listener.Local().port});
}

// Catches a loop that stops after one connection, AcceptOne accepting
// more than one, and a closed listener that still hands connections over.
TEST(Listener, AcceptsOneOrEachUntilClosed) {
  asio::io_context io;
  host::Listener each =
      host::Listen(io.get_executor(), {"127.0.0.1", 0}).value();
  host::Listener one =
      host::Listen(io.get_executor(), {"127.0.0.1", 0}).value();
  int fromEach = 0;
  int fromOne = 0;
  each.AcceptEach([&](tcp::socket) { ++fromEach; });
  one.AcceptOne([&](tcp::socket) { ++fromOne; });
  std::vector<tcp::socket> clients;
  for (int i = 0; i < 3; ++i) {
    ConnectTo(clients.emplace_back(io), each);
    ConnectTo(clients.emplace_back(io), one);
  }
  io.run_for(std::chrono::milliseconds(200));
  EXPECT_EQ(fromEach, 3);
  EXPECT_EQ(fromOne, 1);
  each.Close();
  io.restart();
  io.run_for(std::chrono::milliseconds(50));
  tcp::socket late(io);
  boost::system::error_code error;
  late.connect({asio::ip::make_address(each.Local().host), each.Local().port},
               error);
  EXPECT_TRUE(error) << "a closed listener still takes connections";
  EXPECT_EQ(fromEach, 3);
}

// Catches a listener that cannot bind its port again while a connection it
// closed first is still in TIME_WAIT, as after a restart of a server.
TEST(Listener, BindsAgainThePortOfAConnectionItClosed) {
  asio::io_context io;
  std::optional<host::Listener> first =
      host::Listen(io.get_executor(), {"127.0.0.1", 0}).value();
  const unsigned short port = first->Local().port;
  std::optional<tcp::socket> served;
  first->AcceptOne([&](tcp::socket peer) { served.emplace(std::move(peer)); });
  tcp::socket client(io);
  ConnectTo(client, *first);
  io.run_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(served);
  served->close();  // the server's side closes first and waits
  first->Close();
  first.reset();
  io.restart();
  io.run_for(std::chrono::milliseconds(50));
  client.close();
  const host::Result<host::Listener> again =
      host::Listen(io.get_executor(), {"127.0.0.1", port});
  EXPECT_TRUE(again) << again.error().message;
}

// The lowest descriptor free now: the next one the process would get.
int NextDescriptor() {
  const int next = dup(0);
  close(next);
  return next;
}

// Catches a loop that retries a failed accept at once (a spin while out of
// descriptors) or never again, and failures not told to the owner.
TEST(Listener, PausesWhileOutOfDescriptorsThenGoesOn) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' runtime needs descriptors of its own to "
                  "check memory";
#endif
  asio::io_context io;
  host::ListenOptions options;
  options.acceptPause = std::chrono::milliseconds(100);
  int failures = 0;
  options.acceptFailed = [&](const boost::system::error_code& error) {
    EXPECT_EQ(error, asio::error::no_descriptors) << error.message();
    ++failures;
  };
  host::Listener listener =
      host::Listen(io.get_executor(), {"127.0.0.1", 0}, options).value();
  int accepted = 0;
  listener.AcceptEach([&](tcp::socket) { ++accepted; });
  tcp::socket client(io);
  ConnectTo(client, listener);

  rlimit was{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &was), 0);
  rlimit none = was;
  none.rlim_cur = static_cast<rlim_t>(NextDescriptor());
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
  io.run_for(std::chrono::milliseconds(350));
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &was), 0);
  EXPECT_EQ(accepted, 0);
  EXPECT_GE(failures, 2);
  EXPECT_LE(failures, 5);

  io.restart();
  io.run_for(std::chrono::milliseconds(300));
  EXPECT_EQ(accepted, 1);
}

}  // namespace
