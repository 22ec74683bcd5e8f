#include <locale>

namespace Core::GEOCOM::host {

namespace {

// The standard library fills a locale's table of narrowed characters the
// first time each character is narrowed, and the core's formatting narrows
// whenever a thread parses its format strings, so that threads composing
// their first sentences at once would write the table together. Filled
// whole while the library loads, before any thread of the program runs, it
// is only read afterwards.
bool FillNarrowingTables() {
  char wide[256];
  char narrow[256];
  for (int c = 0; c < 256; ++c) wide[c] = static_cast<char>(c);
  for (const std::locale& locale : {std::locale::classic(), std::locale()}) {
    std::use_facet<std::ctype<char>>(locale).narrow(wide, wide + 256, '\0',
                                                    narrow);
  }
  return true;
}

const bool kNarrowingTablesFilled = FillNarrowingTables();

}  // namespace

}  // namespace Core::GEOCOM::host
