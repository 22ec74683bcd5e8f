#ifndef DAZOZAZIDOREZERARO_SIMULATOR_EXPORT_H
#define DAZOZAZIDOREZERARO_SIMULATOR_EXPORT_H

/// @file
/// The mark of the simulator library's interface.

/// Marks what the simulator library exports; it is built with hidden
/// visibility.
#define DAZOZAZIDOREZERARO_SIMULATOR_EXPORT \
  __attribute__((visibility("default")))

#endif
