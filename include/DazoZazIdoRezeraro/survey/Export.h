#ifndef DAZOZAZIDOREZERARO_SURVEY_EXPORT_H
#define DAZOZAZIDOREZERARO_SURVEY_EXPORT_H

/// @file
/// The mark of the survey library's interface.

/// Marks what the survey library exports; it is built with hidden
/// visibility.
#define DAZOZAZIDOREZERARO_SURVEY_EXPORT __attribute__((visibility("default")))

#endif
