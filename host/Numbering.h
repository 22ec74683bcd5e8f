#ifndef DAZOZAZIDOREZERARO_HOST_NUMBERING_H
#define DAZOZAZIDOREZERARO_HOST_NUMBERING_H

#include <DazoZazIdoRezeraro/host/Session.h>

#include <cstdint>
#include <string_view>

namespace Core::GEOCOM::host {

// How often the process-wide sequence counter has been moved so far: a
// request composed before the latest move carries a number from before it.
std::uint64_t NumberingRestarts();

// ComposeRequest, telling the count of moves the request's number was taken
// after.
Result<GeoComSentence> ComposeRequest(unsigned short procedure,
                                      std::string_view parameters,
                                      std::uint64_t& numbering);

}  // namespace Core::GEOCOM::host

#endif
