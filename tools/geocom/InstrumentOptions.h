#ifndef GEOCOM_TOOL_INSTRUMENTOPTIONS_H
#define GEOCOM_TOOL_INSTRUMENTOPTIONS_H

#include <DazoZazIdoRezeraro/host/BlockingSession.h>

#include <CLI/CLI.hpp>
#include <string>

namespace geocom {

// Where a subcommand reaches the instrument: over TCP or a serial line.
struct InstrumentOptions {
  std::string connect;  // HOST:PORT, or empty for the serial device
  std::string serial;
  unsigned baud = 115200;
  unsigned connectTimeoutMs = 5000;
};

// Adds --connect HOST:PORT or --serial DEVICE (exactly one), --baud, which
// only goes with --serial, and --connect-timeout, which only goes with
// --connect.
void AddInstrumentOptions(CLI::App& command, InstrumentOptions& line);

// Accepts a whole number of milliseconds from 1 to an hour; the message
// names the bad value ("--timeout: 'abc' is not a number").
CLI::Validator Milliseconds();

// Opens the line to the instrument; throws ToolError with the exit status
// of what failed (kExitConnect for a connection not made in time).
Core::GEOCOM::host::BlockingSession OpenInstrument(
    const InstrumentOptions& line);

}  // namespace geocom

#endif
