// Hooks as a job runs them: the event on standard input, the exit status,
// and a bound that kills a hook which hangs, with what it started.
#include <DazoZazIdoRezeraro/survey/Hook.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using namespace Core::GEOCOM::survey;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

class Hook : public testing::Test {
 protected:
  static void SetUpTestSuite() { ::signal(SIGPIPE, SIG_IGN); }
  void SetUp() override {
    directory_ =
        fs::temp_directory_path() /
        ("hook-test-" + std::to_string(::getpid()) + "-" +
         testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(directory_);
  }
  void TearDown() override { fs::remove_all(directory_); }

  static HookCommand Shell(const std::string& line) {
    return HookCommand{{"/bin/sh", "-c", line}};
  }
  static std::string Read(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  fs::path directory_;
};

TEST_F(Hook, ReceivesTheEventOnItsInput) {
  const fs::path received = directory_ / "event.json";
  const std::string event = R"({"target":"P1","level":"alarm"})";
  const HookOutcome outcome =
      RunHook(Shell("cat > '" + received.string() + "'"), event, 5s);
  EXPECT_TRUE(outcome.Succeeded()) << outcome.Describe();
  EXPECT_EQ(Read(received), event);
}

TEST_F(Hook, EndsAreReportedAsTheyHappened) {
  const std::string large(1 << 20, 'x');
  const struct {
    HookCommand command;
    std::string input;
    std::chrono::milliseconds bound;
    bool started;
    bool succeeded;
    int exitStatus;
    int signal;
    bool timedOut;
    const char* described;  // part of Describe(); empty: not checked
  } cases[] = {
      {Shell("exit 0"), "{}", 5s, true, true, 0, 0, false, ""},
      {Shell("exit 3"), "{}", 5s, true, false, 3, 0, false, ""},
      {Shell("kill -TERM $$"), "{}", 5s, true, false, -1, SIGTERM, false, ""},
      {Shell("exec 0<&-; exit 0"), "{}", 5s, true, true, 0, 0, false, ""},
      // One that does not read its input still ends, or is killed.
      {Shell("exit 0"), large, 5s, true, true, 0, 0, false, ""},
      {Shell("sleep 30"), large, 100ms, true, false, -1, SIGKILL, true, ""},
      {HookCommand{{"/nonexistent/hook"}}, "{}", 1s, false, false, -1, 0, false,
       "could not run"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command.argv.back());
    const HookOutcome outcome = RunHook(c.command, c.input, c.bound);
    EXPECT_EQ(outcome.started, c.started);
    EXPECT_EQ(outcome.timedOut, c.timedOut);
    EXPECT_EQ(outcome.Succeeded(), c.succeeded) << outcome.Describe();
    EXPECT_EQ(outcome.exitStatus, c.exitStatus);
    EXPECT_EQ(outcome.signal, c.signal);
    EXPECT_NE(outcome.Describe().find(c.described), std::string::npos);
  }
}

TEST_F(Hook, OneThatHangsIsKilledAtItsBoundWithWhatItStarted) {
  const fs::path late = directory_ / "late";
  const auto started = std::chrono::steady_clock::now();
  const HookOutcome outcome =
      RunHook(Shell("(sleep 1; touch '" + late.string() + "') & sleep 30"),
              "{}", 200ms);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_TRUE(outcome.timedOut);
  EXPECT_FALSE(outcome.Succeeded());
  EXPECT_EQ(outcome.signal, SIGKILL);
  EXPECT_GE(took, 200ms);
  EXPECT_LT(took, 2s);
  EXPECT_NE(outcome.Describe().find("killed at its bound"), std::string::npos);
  std::this_thread::sleep_for(1500ms);
  EXPECT_FALSE(fs::exists(late)) << "the hook's own child outlived it";
}

TEST_F(Hook, TheLoopGoesOnWhileAHookRuns) {
  boost::asio::io_context context;
  std::optional<HookOutcome> outcome;
  int ticks = 0;
  AsyncRunHook(context.get_executor(), Shell("sleep 0.3"), "{}", 5s,
               [&](HookOutcome ended) { outcome = std::move(ended); });
  boost::asio::steady_timer timer(context);
  std::function<void()> tick = [&] {
    timer.expires_after(20ms);
    timer.async_wait([&](boost::system::error_code) {
      if (!outcome) {
        ++ticks;
        tick();
      }
    });
  };
  tick();
  context.run();
  ASSERT_TRUE(outcome);
  EXPECT_TRUE(outcome->Succeeded());
  EXPECT_GE(ticks, 5);
}

TEST_F(Hook, JobHooksAreCheckedBeforeAnythingRuns) {
  const fs::path script = directory_ / "notify";
  std::ofstream(script) << "#!/bin/sh\ncat\n";
  const fs::path plain = directory_ / "plain";
  std::ofstream(plain) << "not a program\n";
  fs::permissions(script, fs::perms::owner_all);
  const struct {
    std::string json;
    std::vector<std::string> argv;
  } accepted[] = {
      {R"("cat >> /tmp/events.log")",
       {"/bin/sh", "-c", "cat >> /tmp/events.log"}},
      {R"(["sh", "-c", "cat"])", {"sh", "-c", "cat"}},
      {"[\"" + script.string() + "\", \"--site\", \"A\"]",
       {script.string(), "--site", "A"}},
      {R"("FOO=1 whatever-is-set-later")",
       {"/bin/sh", "-c", "FOO=1 whatever-is-set-later"}},
      {R"("exec cat")", {"/bin/sh", "-c", "exec cat"}},
  };
  for (const auto& c : accepted) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(HookFromJson(c.json).argv, c.argv);
  }
  const std::string refused[] = {
      R"("no-such-program-for-hooks --now")",
      R"(["no-such-program-for-hooks"])",
      "[\"" + plain.string() + "\"]",
      "\"" + directory_.string() + "\"",
      R"("")",
      R"([])",
      R"([1])",
      R"(42)",
      R"({"run": "x"})",
  };
  for (const std::string& json : refused) {
    SCOPED_TRACE(json);
    try {
      HookFromJson(json);
      ADD_FAILURE() << "accepted";
    } catch (const HookError& error) {
      EXPECT_EQ(std::string(error.what()).rfind("hook: ", 0), 0u)
          << error.what();
    }
  }
}

}  // namespace
