#ifndef DAZOZAZIDOREZERARO_FUZZ_FUZZCHECK_H
#define DAZOZAZIDOREZERARO_FUZZ_FUZZCHECK_H

#include <cstdio>
#include <cstdlib>

// A broken contract aborts, which libFuzzer reports as a crash and saves the
// input that caused it.
#define FUZZ_CHECK(condition)                                                  \
  do {                                                                         \
    if (!(condition)) {                                                        \
      std::fprintf(stderr, "%s:%d: contract broken: %s\n", __FILE__, __LINE__, \
                   #condition);                                                \
      std::abort();                                                            \
    }                                                                          \
  } while (false)

#endif
