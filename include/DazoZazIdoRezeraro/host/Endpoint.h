#ifndef DAZOZAZIDOREZERARO_HOST_ENDPOINT_H
#define DAZOZAZIDOREZERARO_HOST_ENDPOINT_H

#include <string>
#include <string_view>

#include "Export.h"
#include "Result.h"

/// @file
/// Addresses written "HOST:PORT" or "[IPV6]:PORT", read and written back.

namespace Core::GEOCOM::host {

/// A host name or address and a port.
struct Endpoint {
  std::string host;         ///< Name or address, without IPv6 brackets.
  unsigned short port = 0;  ///< The port; 0 only where a listener may choose.

  /// "HOST:PORT", with brackets around an IPv6 address.
  DAZOZAZIDOREZERARO_HOST_EXPORT std::string ToString() const;
};

/// Reads "HOST:PORT" or "[IPV6]:PORT". The port must be a decimal number
/// from 1 to 65535, or 0 as well when allowAnyPort is set (a listener that
/// lets the system choose). Fails with kInvalidArgument naming the text.
DAZOZAZIDOREZERARO_HOST_EXPORT Result<Endpoint> ParseEndpoint(
    std::string_view text, bool allowAnyPort = false);

}  // namespace Core::GEOCOM::host

#endif
