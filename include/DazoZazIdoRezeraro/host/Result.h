#ifndef DAZOZAZIDOREZERARO_HOST_RESULT_H
#define DAZOZAZIDOREZERARO_HOST_RESULT_H

#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

#include "Export.h"

/// @file
/// How failures are reported: the kind of an error, its message, and a
/// value-or-error result.

namespace Core::GEOCOM::host {

/// Why a call, a connection or an argument failed; also the values of the
/// session's error_code category (see Errors.h), hence none is 0.
enum class ErrorKind {
  kTimeout = 1,      ///< No reply within the procedure's time-out.
  kClosed,           ///< The peer closed the connection.
  kIo,               ///< The system reported an I/O error.
  kInvalidReply,     ///< A reply the core does not accept, or does not decode.
  kReturnCode,       ///< The instrument answered a non-zero return code.
  kInvalidArgument,  ///< An argument that must not reach the wire.
  kConnect,          ///< The connection could not be made in time.
  kCancelled,        ///< The caller cancelled the call.
};

/// A failure with a message that names what happened.
struct Error {
  /// A kIo error with no message.
  Error() = default;
  /// An error of the kind, with the message.
  Error(ErrorKind what, std::string text)
      : kind(what), message(std::move(text)) {}

  ErrorKind kind = ErrorKind::kIo;  ///< What went wrong.
  std::string message;              ///< One line for people, without prefix.
  unsigned short returnCode = 0;    ///< The return code, for kReturnCode.
  std::string bytes;  ///< The reply as received, for kInvalidReply and
                      ///< kReturnCode; empty otherwise.
};

/// Thrown where a result cannot be returned: opening or connecting a
/// Session, and taking the value of a failed Result.
class DAZOZAZIDOREZERARO_HOST_EXPORT SessionError : public std::runtime_error {
 public:
  /// Wraps the error; what() is its message.
  explicit SessionError(Error error);
  /// The error that was thrown.
  const Error& error() const noexcept { return error_; }

 private:
  Error error_;
};

/// A value, or the Error that says why there is none.
template <typename T>
class Result {
 public:
  /// A successful result.
  Result(T value) : state_(std::move(value)) {}
  /// A failed result.
  Result(Error error) : state_(std::move(error)) {}
  /// A successful result whose value is made in place from the arguments,
  /// for a value that is costly to move.
  template <typename... Arguments>
  explicit Result(std::in_place_t, Arguments&&... arguments)
      : state_(std::in_place_index<0>, std::forward<Arguments>(arguments)...) {}

  /// Whether the result holds a value.
  bool ok() const { return state_.index() == 0; }
  /// Whether the result holds a value.
  explicit operator bool() const { return ok(); }

  /// The value; throws SessionError when the result failed.
  T& value() {
    if (!ok()) throw SessionError(std::get<1>(state_));
    return std::get<0>(state_);
  }
  /// The value; throws SessionError when the result failed.
  const T& value() const {
    if (!ok()) throw SessionError(std::get<1>(state_));
    return std::get<0>(state_);
  }
  /// The value, which must be there.
  T& operator*() { return std::get<0>(state_); }
  /// The value, which must be there.
  const T& operator*() const { return std::get<0>(state_); }
  /// Member access to the value, which must be there.
  T* operator->() { return &std::get<0>(state_); }
  /// Member access to the value, which must be there.
  const T* operator->() const { return &std::get<0>(state_); }
  /// The error, which must be there.
  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

/// The value of a call that answers nothing but its return code.
struct Done {};

}  // namespace Core::GEOCOM::host

#endif
