#ifndef GEOCOM_TOOL_INSTRUMENTOPTIONS_H
#define GEOCOM_TOOL_INSTRUMENTOPTIONS_H

#include <CLI/CLI.hpp>
#include <string>

namespace geocom {

// Where a subcommand reaches the instrument: over TCP or a serial line.
struct InstrumentOptions {
  std::string connect;  // HOST:PORT, or empty for the serial device
  std::string serial;
  unsigned baud = 115200;
};

// Adds --connect HOST:PORT or --serial DEVICE (exactly one) and --baud,
// which only goes with --serial.
void AddInstrumentOptions(CLI::App& command, InstrumentOptions& line);

}  // namespace geocom

#endif
