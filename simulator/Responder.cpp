#include <DazoZazIdoRezeraro/simulator/Responder.h>

namespace Core::GEOCOM::simulator {

Responder::~Responder() = default;

}  // namespace Core::GEOCOM::simulator
