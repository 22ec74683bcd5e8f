#ifndef DAZOZAZIDOREZERARO_HOST_ERRORS_H
#define DAZOZAZIDOREZERARO_HOST_ERRORS_H

#include <boost/system/error_code.hpp>
#include <string>
#include <type_traits>

#include "Export.h"
#include "Result.h"

/// @file
/// The session's error codes: each ErrorKind is a value of one
/// boost::system error category, so that asynchronous calls complete with an
/// error_code as every Asio operation does, and as_tuple, redirect_error and
/// use_future carry it.

namespace Core::GEOCOM::host {

/// The category of ErrorKind values; its name is "geocom".
DAZOZAZIDOREZERARO_HOST_EXPORT const boost::system::error_category&
SessionCategory() noexcept;

/// The error_code of an ErrorKind.
DAZOZAZIDOREZERARO_HOST_EXPORT boost::system::error_code make_error_code(
    ErrorKind kind) noexcept;

/// The ErrorKind an error_code stands for: its own value in
/// SessionCategory(), kCancelled for operation_aborted, kClosed for the end
/// of a stream, kIo for any other system error.
DAZOZAZIDOREZERARO_HOST_EXPORT ErrorKind
KindOf(const boost::system::error_code& error) noexcept;

/// The Error that a failed call's error_code and diagnostics make.
DAZOZAZIDOREZERARO_HOST_EXPORT Error
ToError(const boost::system::error_code& error, std::string diagnostics);

}  // namespace Core::GEOCOM::host

namespace boost::system {
/// Lets an ErrorKind compare with and convert to an error_code.
template <>
struct is_error_code_enum<Core::GEOCOM::host::ErrorKind> : std::true_type {};
}  // namespace boost::system

#endif
