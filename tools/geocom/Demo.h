#ifndef GEOCOM_TOOL_DEMO_H
#define GEOCOM_TOOL_DEMO_H

#include <ostream>

namespace geocom {

// Starts the simulated instrument on an ephemeral loopback port and runs a
// scripted host session against it over a real socket, printing every
// exchange. Returns the exit status: 0 when every exchange decoded as
// expected.
int RunDemo(std::ostream& out);

}  // namespace geocom

#endif
