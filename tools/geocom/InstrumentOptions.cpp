#include "InstrumentOptions.h"

#include <charconv>

#include "ExitStatus.h"

namespace geocom {

namespace {

constexpr unsigned kMaxMilliseconds = 3600000;

// A baud rate: a whole number above 0, named when it is not one (CLI11's
// own check names the largest double as the upper bound).
CLI::Validator BaudRate() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        unsigned value = 0;
        const char* const end = text.data() + text.size();
        const auto parsed = std::from_chars(text.data(), end, value);
        if (text.empty() || parsed.ptr != end || parsed.ec != std::errc() ||
            value == 0) {
          return "'" + text + "' is not a positive whole number";
        }
        return "";
      },
      "");
}

}  // namespace

CLI::Validator Milliseconds() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        unsigned long value = 0;
        const char* const end = text.data() + text.size();
        const auto parsed = std::from_chars(text.data(), end, value);
        if (text.empty() || parsed.ptr != end ||
            parsed.ec == std::errc::invalid_argument) {
          return "'" + text + "' is not a number";
        }
        if (parsed.ec != std::errc() || value < 1 || value > kMaxMilliseconds) {
          return "'" + text + "' is not between 1 and " +
                 std::to_string(kMaxMilliseconds) + " ms";
        }
        return "";
      },
      "MS");
}

void AddInstrumentOptions(CLI::App& command, InstrumentOptions& line) {
  CLI::Option_group* target =
      command.add_option_group("instrument", "Where the instrument is");
  CLI::Option* connect =
      target->add_option("--connect", line.connect, "Instrument over TCP")
          ->type_name("HOST:PORT");
  CLI::Option* serial =
      target
          ->add_option("--serial", line.serial, "Serial device, opened raw 8N1")
          ->type_name("DEVICE");
  target->require_option(1);
  command
      .add_option("--baud", line.baud,
                  "Baud rate of the serial line (only with --serial)")
      ->capture_default_str()
      ->type_name("BAUD")
      ->needs(serial)
      ->check(BaudRate());
  command
      .add_option("--connect-timeout", line.connectTimeoutMs,
                  "Give up connecting after this many milliseconds (only "
                  "with --connect)")
      ->type_name("MS")
      ->capture_default_str()
      ->needs(connect)
      ->check(Milliseconds());
}

Core::GEOCOM::host::BlockingSession OpenInstrument(
    const InstrumentOptions& line) {
  using Core::GEOCOM::host::BlockingSession;
  Core::GEOCOM::host::SessionOptions options;
  options.connectTimeout = std::chrono::milliseconds(line.connectTimeoutMs);
  try {
    return line.connect.empty()
               ? BlockingSession::OpenSerial(line.serial, line.baud, options)
               : BlockingSession::Connect(line.connect, options);
  } catch (const Core::GEOCOM::host::SessionError& error) {
    throw ToolError(StatusFor(error.error().kind), error.what());
  }
}

}  // namespace geocom
