// Requests of the interface-port, radio, remote-control and authentication
// commands.
#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include "codec/Compose.h"

namespace Core::GEOCOM {

std::string GeoComSentence::PackRequestGetInterfacePort(
    CSV_INTERFACE interface) const {
  return codec::Compose("%1%", interface);
}

std::string GeoComSentence::PackRequestConfigurePort(
    std::int32_t port, std::int32_t setting) const {
  return codec::Compose("%1%,%2%", port, setting);
}

std::string GeoComSentence::PackRequestPowerOnPort(std::int32_t port,
                                                   bool on) const {
  return codec::Compose("%1%,%2%", port, on);
}

std::string GeoComSentence::PackRequestSetDeviceOnPort(
    std::int32_t port, std::int32_t device, std::int32_t mode,
    std::int32_t option) const {
  return codec::Compose("%1%,%2%,%3%,%4%", port, device, mode, option);
}

std::string GeoComSentence::PackRequestSetDeviceOnPort(
    std::int32_t port, std::string device) const {
  return codec::Compose("%1%,\"%2%\"", port, device);
}

std::string GeoComSentence::PackRequestSetupPortForwarding(
    std::int32_t from, std::int32_t to) const {
  return codec::Compose("%1%,%2%", from, to);
}

std::string GeoComSentence::PackRequestRemovePortForwarding(
    std::int32_t from, std::int32_t to) const {
  return codec::Compose("%1%,%2%", from, to);
}

std::string GeoComSentence::PackRequestSetRadio(std::string name,
                                                std::int32_t channel,
                                                std::int32_t power) const {
  return codec::Compose("\"%1%\",%2%,%3%", name, channel, power);
}

// The first and third parameters are fixed by the protocol: 1, then 1 to
// enable or 0 to disable.
std::string GeoComSentence::PackRequestEnableRCS(std::int32_t port,
                                                 std::int32_t mode) const {
  return codec::Compose("1,%1%,1,%2%", port, mode);
}

std::string GeoComSentence::PackRequestDisableRCS(std::int32_t port) const {
  return codec::Compose("1,%1%,0", port);
}

std::string GeoComSentence::PackRequestCSVAuthenticate(
    const char* password, std::int32_t parameter) const {
  return codec::Compose("\"%1%\",%2%", password, parameter);
}

std::string GeoComSentence::PackRequestCSVAuthenticateEx(
    const char* password, std::int32_t parameter, std::uint32_t key) const {
  return codec::Compose("\"%1%\",%2%,%3%", password, parameter, key);
}

}  // namespace Core::GEOCOM
