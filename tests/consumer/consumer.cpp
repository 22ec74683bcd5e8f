// Composes a request and recognises a reply through the installed library;
// exits non-zero if anything differs from what the protocol prescribes.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <cstring>
#include <iostream>
#include <string>

int main() {
  using Core::GEOCOM::GeoComSentence;

  GeoComSentence::ResetSequenceID();
  GeoComSentence request;
  request.CreateRequest(9027, request.PackMotorSetVelocityRequest(0.1, 0.2));
  if (request.GetStringCommand() != "%R1Q,9027,0:0.100000,0.200000\r\n") {
    std::cerr << "unexpected request " << request.GetStringCommand() << '\n';
    return 1;
  }

  const char reply[] = "%R1P,0,0:0,1.5,-2.25\r\n";
  GeoComSentence received;
  int last = 0;
  Core::GEOCOM::TMC_Hz_V_Ang angles{};
  if (!received.CreateMessageFromBuffer(
          reinterpret_cast<const unsigned char*>(reply),
          static_cast<int>(std::strlen(reply)), last) ||
      !received.isResponseMessageValid() || !received.UnPack(angles) ||
      angles.hz != 1.5 || angles.v != -2.25) {
    std::cerr << "reply not recognised\n";
    return 1;
  }
  std::cout << "consumer: request and reply as expected\n";
  return 0;
}
