#ifndef DAZOZAZIDOREZERARO_SIMULATOR_PAGEFILES_H
#define DAZOZAZIDOREZERARO_SIMULATOR_PAGEFILES_H

#include <string_view>

namespace Core::GEOCOM::simulator {

// A file of the live view's page, built into the library from simulator/page/.
struct PageFile {
  std::string_view name;  // e.g. "index.html"
  std::string_view bytes;
};

// Every file of simulator/page/, and the one with the name; nullptr for none.
const PageFile* FindPageFile(std::string_view name);

}  // namespace Core::GEOCOM::simulator

#endif
