#include <DazoZazIdoRezeraro/host/Errors.h>

#include <boost/asio/error.hpp>

namespace Core::GEOCOM::host {

namespace {

// error_category's destructor is protected and non-virtual by design; the
// one instance lives for the whole program.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class Category final : public boost::system::error_category {
 public:
  const char* name() const noexcept override { return "geocom"; }
  std::string message(int value) const override {
    switch (static_cast<ErrorKind>(value)) {
      case ErrorKind::kTimeout:
        return "no reply within the time-out";
      case ErrorKind::kClosed:
        return "the connection is closed";
      case ErrorKind::kIo:
        return "input or output failed";
      case ErrorKind::kInvalidReply:
        return "the reply is not valid";
      case ErrorKind::kReturnCode:
        return "the instrument answered a non-zero return code";
      case ErrorKind::kInvalidArgument:
        return "an argument is not valid";
      case ErrorKind::kConnect:
        return "cannot connect";
      case ErrorKind::kCancelled:
        return "the call was cancelled";
    }
    return "unknown error " + std::to_string(value);
  }
};
#pragma GCC diagnostic pop

}  // namespace

const boost::system::error_category& SessionCategory() noexcept {
  static const Category category;
  return category;
}

boost::system::error_code make_error_code(ErrorKind kind) noexcept {
  return {static_cast<int>(kind), SessionCategory()};
}

ErrorKind KindOf(const boost::system::error_code& error) noexcept {
  if (error.category() == SessionCategory()) {
    return static_cast<ErrorKind>(error.value());
  }
  if (error == boost::asio::error::operation_aborted) {
    return ErrorKind::kCancelled;
  }
  if (error == boost::asio::error::eof) return ErrorKind::kClosed;
  return ErrorKind::kIo;
}

Error ToError(const boost::system::error_code& error, std::string diagnostics) {
  if (diagnostics.empty()) diagnostics = error.message();
  return Error{KindOf(error), std::move(diagnostics)};
}

}  // namespace Core::GEOCOM::host
