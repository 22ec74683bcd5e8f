#include <DazoZazIdoRezeraro/host/Version.h>

namespace Core::GEOCOM::host {

const char* Version() { return DAZOZAZIDOREZERARO_VERSION_STRING; }

}  // namespace Core::GEOCOM::host
