#ifndef DAZOZAZIDOREZERARO_HOST_RETURNCODES_H
#define DAZOZAZIDOREZERARO_HOST_RETURNCODES_H

#include <string>
#include <string_view>
#include <vector>

#include "Export.h"

/// @file
/// The return codes this toolkit gives a meaning to: the core's GRC_TYPE
/// and the codes the virtual instrument answers with, each with a name and
/// a one-line meaning. Every other code is shown as its number alone.

namespace Core::GEOCOM::host {

/// The code of a measurement, fine adjustment, search, lock-in or
/// positioning onto a target that finds no prism.
inline constexpr unsigned short kNoTargetReturnCode = 8710;

/// One named return code.
struct ReturnCodeName {
  unsigned short code;       ///< The number the instrument answers.
  std::string_view name;     ///< Kebab case, e.g. "no-target".
  std::string_view meaning;  ///< One line, e.g. "no prism in the beam".
};

/// Every named code, in ascending order.
DAZOZAZIDOREZERARO_HOST_EXPORT const std::vector<ReturnCodeName>&
ReturnCodeNames();

/// The code's entry, or nullptr for a code without a name.
DAZOZAZIDOREZERARO_HOST_EXPORT const ReturnCodeName* FindReturnCode(
    unsigned short code);

/// "8710 no-target: no prism in the beam", or "1234" for a code without a
/// name.
DAZOZAZIDOREZERARO_HOST_EXPORT std::string DescribeReturnCode(
    unsigned short code);

}  // namespace Core::GEOCOM::host

#endif
