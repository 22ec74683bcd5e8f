#ifndef DAZOZAZIDOREZERARO_EXPORT_H
#define DAZOZAZIDOREZERARO_EXPORT_H

/// \file
/// The mark that puts a class into the shared library's interface.

/// Gives a class default visibility. The library is built with hidden
/// visibility; only what carries this mark is part of its interface.
#define DAZOZAZIDOREZERARO_EXPORT __attribute__((visibility("default")))

#endif
