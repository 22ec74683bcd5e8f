#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <DazoZazIdoRezeraro/host/ReturnCodes.h>

#include <algorithm>

namespace Core::GEOCOM::host {

const std::vector<ReturnCodeName>& ReturnCodeNames() {
  static const std::vector<ReturnCodeName> names = {
      {GRC_OK, "ok", "the procedure succeeded"},
      {GRC_UNDEFINED, "undefined", "an unknown error"},
      {GRC_IVPARAM, "invalid-parameter", "a parameter was invalid"},
      {GRC_IVRESULT, "invalid-result",
       "the result is invalid (e.g. the instrument is in the wrong state)"},
      {GRC_FATAL, "fatal", "a fatal error"},
      {GRC_NOT_IMPL, "not-implemented",
       "the instrument does not implement the procedure"},
      {GRC_TIME_OUT, "time-out", "the procedure timed out on the instrument"},
      {kNoTargetReturnCode, "no-target", "no prism in the beam"},
  };
  return names;
}

const ReturnCodeName* FindReturnCode(unsigned short code) {
  const std::vector<ReturnCodeName>& names = ReturnCodeNames();
  const auto found = std::find_if(
      names.begin(), names.end(),
      [code](const ReturnCodeName& each) { return each.code == code; });
  return found != names.end() ? &*found : nullptr;
}

std::string DescribeReturnCode(unsigned short code) {
  std::string text = std::to_string(code);
  if (const ReturnCodeName* named = FindReturnCode(code)) {
    text += " " + std::string(named->name) + ": " + std::string(named->meaning);
  }
  return text;
}

}  // namespace Core::GEOCOM::host
