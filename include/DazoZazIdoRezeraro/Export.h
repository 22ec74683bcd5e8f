#ifndef DAZOZAZIDOREZERARO_EXPORT_H
#define DAZOZAZIDOREZERARO_EXPORT_H

// The library is built with hidden visibility; only what carries this mark
// is part of the shared library's interface.
#define DAZOZAZIDOREZERARO_EXPORT __attribute__((visibility("default")))

#endif
