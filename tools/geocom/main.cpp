// geocom: a simulated instrument, a host that talks to real ones, and a
// traffic decoder, all built on the library's public interface.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "Call.h"
#include "CommandTable.h"
#include "Decode.h"
#include "Demo.h"
#include "ExitStatus.h"
#include "Server.h"
#include "Simulator.h"
#include "Transport.h"

namespace {

using namespace geocom;

const char* const kExitStatuses =
    "Exit statuses:\n"
    "  0  success\n"
    "  1  failure: cannot connect or open, I/O error, reply does not decode,\n"
    "     demo exchange not as expected\n"
    "  2  usage error\n"
    "  3  time-out: no reply within the procedure's time-out\n"
    "  4  connection closed before the reply\n"
    "  5  the reply answers another sequence number\n"
    "  6  the instrument answered a non-zero return code\n";

// Serves until SIGINT or SIGTERM.
int RunSimulate(const std::string& listen, bool pty) {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  // Blocked before the serving threads start, so that they inherit the mask
  // and the signal reaches sigwait below.
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  Simulator simulator;
  Server server(simulator);
  try {
    if (!listen.empty() || !pty) {
      const HostPort endpoint =
          ParseHostPort(listen.empty() ? "127.0.0.1:0" : listen);
      std::cout << "listening on " << server.ListenTcp(endpoint) << std::endl;
    }
    if (pty) {
      std::cout << "pty " << server.OpenPty() << std::endl;
    }
  } catch (const std::invalid_argument& error) {
    std::cerr << "geocom: " << error.what() << '\n';
    return kExitUsage;
  } catch (const TransportError& error) {
    std::cerr << "geocom: " << error.what() << '\n';
    return kExitFailure;
  }
  server.Start();
  int signal = 0;
  sigwait(&stopSignals, &signal);
  server.Stop();
  return kExitOk;
}

int RunDecode(const std::string& file, bool json) {
  const bool standardInput = file == "-";
  const FileDescriptor opened(
      standardInput ? -1 : open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!standardInput && !opened.valid()) {
    std::cerr << "geocom: cannot open " << file << ": " << std::strerror(errno)
              << '\n';
    return kExitFailure;
  }
  try {
    DecodeCapture(standardInput ? STDIN_FILENO : opened.get(), json, std::cout);
  } catch (const TransportError& error) {
    std::cerr << "geocom: " << error.what() << '\n';
    return kExitFailure;
  }
  std::cout.flush();
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  // A peer that goes away shows up as a failed write, not as a signal.
  signal(SIGPIPE, SIG_IGN);

  CLI::App app{
      "Talk GeoCOM to survey instruments: a simulated instrument, "
      "one call at a time, and a traffic decoder.",
      "geocom"};
  app.footer(kExitStatuses);
  app.require_subcommand(1);

  app.add_subcommand("demo",
                     "Run a scripted host session against the simulated "
                     "instrument on a loopback port and print every exchange");

  CLI::App* simulate = app.add_subcommand(
      "simulate",
      "Serve the simulated instrument on loopback TCP (several clients at "
      "once) and/or a pseudo-terminal, until interrupted");
  std::string listen;
  bool pty = false;
  simulate
      ->add_option("--listen", listen,
                   "Address to listen on (default 127.0.0.1:0, an "
                   "ephemeral port); the bound address is printed")
      ->type_name("HOST:PORT");
  simulate->add_flag("--pty", pty,
                     "Serve one serial line on a pseudo-terminal and print "
                     "its path (TCP only with --listen as well)");

  CLI::App* call = app.add_subcommand(
      "call", "Make one exchange with an instrument or the simulator");
  CallOptions callOptions;
  CLI::Option_group* target =
      call->add_option_group("target", "Where the instrument is");
  target->add_option("--connect", callOptions.connect, "Instrument over TCP")
      ->type_name("HOST:PORT");
  target
      ->add_option("--serial", callOptions.serial,
                   "Serial device, opened raw 8N1")
      ->type_name("DEVICE");
  target->require_option(1);
  call->add_option("--baud", callOptions.baud, "Baud rate of the serial line")
      ->capture_default_str();
  call->add_option("command", callOptions.command, "Command, see below")
      ->required();
  call->add_option("arguments", callOptions.arguments,
                   "The command's arguments");
  call->footer("Commands and their arguments (procedure number):\n" +
               CommandListing() + "\n" + kExitStatuses);

  CLI::App* decode = app.add_subcommand(
      "decode", "Print the sentences found in a capture of raw bytes");
  std::string file = "-";
  bool json = false;
  decode->add_option("file", file, "Capture file, - for standard input")
      ->capture_default_str();
  decode->add_flag("--json", json, "One JSON object per line");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitOk : kExitUsage;
  }

  try {
    if (app.got_subcommand("demo")) return RunDemo(std::cout);
    if (app.got_subcommand("simulate")) return RunSimulate(listen, pty);
    if (app.got_subcommand("decode")) return RunDecode(file, json);
    return RunCall(callOptions);
  } catch (const UsageError& error) {
    std::cerr << "geocom: " << error.what() << '\n';
    return kExitUsage;
  } catch (const std::exception& error) {
    std::cerr << "geocom: " << error.what() << '\n';
    return kExitFailure;
  }
}
