#include <DazoZazIdoRezeraro/host/Endpoint.h>

#include <charconv>

namespace Core::GEOCOM::host {

std::string Endpoint::ToString() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

Result<Endpoint> ParseEndpoint(std::string_view text, bool allowAnyPort) {
  const auto invalid = [&](const std::string& why) {
    return Error{ErrorKind::kInvalidArgument,
                 "invalid address '" + std::string(text) + "': " + why};
  };
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) {
    return invalid("expected HOST:PORT");
  }
  std::string_view host = text.substr(0, colon);
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') {
      return invalid("unbalanced brackets around the address");
    }
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string_view::npos) {
    return invalid("an IPv6 address goes in brackets, e.g. [::1]:4000");
  }
  const std::string_view port = text.substr(colon + 1);
  unsigned value = 0;
  const auto parsed =
      std::from_chars(port.data(), port.data() + port.size(), value);
  if (port.empty() || parsed.ec != std::errc() ||
      parsed.ptr != port.data() + port.size() || value > 65535 ||
      (value == 0 && !allowAnyPort)) {
    return invalid(allowAnyPort ? "the port must be a number from 0 to 65535"
                                : "the port must be a number from 1 to 65535");
  }
  return Endpoint{std::string(host), static_cast<unsigned short>(value)};
}

}  // namespace Core::GEOCOM::host
