// geocom record: a transparent relay between a host program and an
// instrument that records every byte with its direction and time.
#include <DazoZazIdoRezeraro/host/Endpoint.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "ExitStatus.h"
#include "InstrumentOptions.h"
#include "Output.h"
#include "Relay.h"
#include "RelayCapture.h"
#include "Subcommands.h"

namespace geocom {

namespace {

using namespace Core::GEOCOM;

struct RecordOptions {
  std::string listen;
  InstrumentOptions line;
  std::string out;
};

host::Endpoint ParseAddress(const std::string& text, const char* option,
                            bool allowAnyPort) {
  host::Result<host::Endpoint> endpoint =
      host::ParseEndpoint(text, allowAnyPort);
  if (!endpoint) {
    throw UsageError(std::string(option) + ": " + endpoint.error().message);
  }
  return *endpoint;
}

int RunRecord(const RecordOptions& options) {
  const host::Endpoint listen = ParseAddress(options.listen, "--listen", true);
  InstrumentLine instrument;
  if (!options.line.connect.empty()) {
    instrument.tcp = ParseAddress(options.line.connect, "--connect", false);
    instrument.connectTimeout =
        std::chrono::milliseconds(options.line.connectTimeoutMs);
  } else {
    instrument.serial = options.line.serial;
    instrument.baud = options.line.baud;
  }

  boost::asio::io_context io;
  boost::asio::signal_set signals(io, SIGINT, SIGTERM);
  std::optional<std::string> failure;
  RelayEvents events;
  events.failed = [&](const std::string& message) {
    failure = message;
    signals.cancel();
  };
  events.warning = [](const std::string& message) {
    std::cerr << "geocom: " << message << std::endl;
  };
  std::optional<Relay> relay;
  try {
    relay.emplace(io, listen, instrument, events);
  } catch (const std::invalid_argument& error) {
    throw UsageError(error.what());
  }
  // Created only once the lines are open, so that a mistake leaves no file.
  RelayCapture capture(options.out);
  signals.async_wait([&](const boost::system::error_code& error, int) {
    if (!error) relay->Stop();
  });
  relay->Start(capture);
  Print("listening on " + relay->Local().ToString() + "\n");
  FlushOutput();
  io.run();
  if (failure) throw ToolError(kExitFailure, *failure);
  return kExitOk;
}

}  // namespace

Runner AddRecord(CLI::App& app) {
  auto options = std::make_shared<RecordOptions>();
  CLI::App* record = app.add_subcommand(
      "record",
      "Relay between a host program and an instrument, one host connection "
      "at a time, passing every byte on unchanged and recording it with its "
      "direction and time until interrupted (SIGINT or SIGTERM)");
  record
      ->add_option("--listen", options->listen,
                   "Where the host program connects (port 0: any free port; "
                   "the address is printed)")
      ->type_name("HOST:PORT")
      ->required();
  AddInstrumentOptions(*record, options->line);
  record->add_option("--out", options->out, "The capture file to write")
      ->type_name("FILE")
      ->required();
  record->footer(
      "The capture format is described in docs/capture.md; geocom decode "
      "reads it.\n" +
      ExitStatusHelp({kExitOk, kExitFailure, kExitUsage}));
  return [options] { return RunRecord(*options); };
}

}  // namespace geocom
