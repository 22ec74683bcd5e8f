#include "InstrumentOptions.h"

namespace geocom {

void AddInstrumentOptions(CLI::App& command, InstrumentOptions& line) {
  CLI::Option_group* target =
      command.add_option_group("instrument", "Where the instrument is");
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
      ->needs(serial)
      ->check(CLI::PositiveNumber);
}

}  // namespace geocom
