#ifndef DAZOZAZIDOREZERARO_HOST_EXPORT_H
#define DAZOZAZIDOREZERARO_HOST_EXPORT_H

/// @file
/// The mark of the host library's interface.

/// Marks what the host library exports; it is built with hidden visibility.
#define DAZOZAZIDOREZERARO_HOST_EXPORT __attribute__((visibility("default")))

#endif
