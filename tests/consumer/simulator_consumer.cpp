// Makes one call through the installed host library to the installed virtual
// instrument on a loopback port; exits non-zero if the call fails.
#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/host/Calls.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <iostream>

using namespace Core::GEOCOM;

int main() {
  simulator::LoopbackInstrument instrument;
  host::BlockingSession session =
      host::BlockingSession::Connect(instrument.Address());
  const host::Result<std::int32_t> number = host::GetInstrumentNumber(session);
  if (!number) {
    std::cerr << "simulator consumer: " << number.error().message << '\n';
    return 1;
  }
  std::cout << "simulator consumer: instrument " << *number << '\n';
  return 0;
}
