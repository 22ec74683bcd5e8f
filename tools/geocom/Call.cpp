#include "Call.h"

#include <iostream>

#include "CommandTable.h"
#include "Exchange.h"
#include "ExitStatus.h"
#include "Text.h"
#include "Transport.h"

namespace geocom {

int RunCall(const CallOptions& options) {
  const Command* command = FindCommand(options.command);
  if (command == nullptr) {
    throw UsageError("unknown command '" + options.command +
                     "' (see geocom call --help)");
  }
  const std::string parameters = PackArguments(*command, options.arguments);

  FileDescriptor connection;
  try {
    connection = options.connect.empty()
                     ? OpenSerial(options.serial, options.baud)
                     : ConnectTcp(ParseHostPort(options.connect));
  } catch (const std::invalid_argument& error) {
    throw UsageError(error.what());
  } catch (const TransportError& error) {
    std::cerr << "geocom: " << error.what() << '\n';
    return kExitFailure;
  }

  HostSession session(connection.get());
  const ExchangeResult result =
      session.Exchange(command->procedure, parameters);
  switch (result.outcome) {
    case Outcome::kTimeout:
      std::cerr << "geocom: no reply to " << command->name << " within "
                << result.timeoutMs << " ms\n";
      return kExitTimeout;
    case Outcome::kClosed:
      std::cerr << "geocom: the connection closed before the reply to "
                << command->name << '\n';
      return kExitClosed;
    case Outcome::kSequenceMismatch:
      std::cerr << "geocom: the reply carries sequence number "
                << result.reply.GetSequenceID() << ", the request "
                << result.sequence << '\n';
      return kExitSequenceMismatch;
    case Outcome::kIoError:
      std::cerr << "geocom: the exchange failed on a transport error\n";
      return kExitFailure;
    case Outcome::kReply:
      break;
  }

  const unsigned short code = result.reply.GetRetCode();
  std::cout << "return-code = " << code << '\n';
  if (code != 0) {
    std::cerr << "geocom: " << command->name << " answered return code " << code
              << '\n';
    return kExitReturnCode;
  }
  Fields fields;
  if (!DecodeReply(*command, result.reply, fields)) {
    std::cerr << "geocom: the reply to " << command->name
              << " does not decode: "
              << EscapeBytes(result.reply.GetStringCommand()) << '\n';
    return kExitFailure;
  }
  for (const Field& field : fields) {
    std::cout << field.name << " = " << field.value << '\n';
  }
  return kExitOk;
}

}  // namespace geocom
