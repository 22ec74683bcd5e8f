#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/survey/Learn.h>
#include <DazoZazIdoRezeraro/survey/Reduction.h>

#include <cmath>

namespace Core::GEOCOM::survey {
namespace {

constexpr double kPi = 3.14159265358979323846;

double Value(const host::Fields& values, std::string_view name) {
  const host::FieldValue* value = host::FindValue(values, name);
  return value != nullptr && std::holds_alternative<double>(*value)
             ? std::get<double>(*value)
             : std::nan("");
}

double Apart(const Direction& a, const Direction& b) {
  const double dHz = std::remainder(a.hz - b.hz, 2 * kPi) * std::sin(a.v);
  return std::hypot(dHz, a.v - b.v);
}

}  // namespace

std::vector<Target> LearnTargets(
    host::BlockingSession& session, const Station& station,
    const LearnWindow& window,
    const std::function<void(const Target&)>& found) {
  std::vector<Target> targets;
  std::vector<Direction> seen;
  session.Call("set-atr-state", {{"on", true}});
  const double step = window.step > 0 ? window.step : 0.018;
  const int rows =
      std::max(1, static_cast<int>(std::ceil(window.vRange / step)) + 1);
  const int columns =
      std::max(1, static_cast<int>(std::ceil(window.hzRange / step)) + 1);
  for (int row = 0; row < rows; ++row) {
    const double v =
        window.centerV - window.vRange / 2 +
        (rows == 1 ? window.vRange / 2 : row * window.vRange / (rows - 1));
    for (int column = 0; column < columns; ++column) {
      const double hz = std::fmod(
          window.centerHz - window.hzRange / 2 +
              (columns == 1 ? window.hzRange / 2
                            : column * window.hzRange / (columns - 1)) +
              4 * kPi,
          2 * kPi);
      session.Call("position", {{"hz", hz}, {"v", v}});
      try {
        session.Call("fine-adjust", {{"hz_range", step}, {"v_range", step}});
      } catch (const host::SessionError& error) {
        if (error.error().kind == host::ErrorKind::kReturnCode) continue;
        throw;
      }
      host::Fields measured;
      try {
        measured = session.Call("simple-measurement", {});
      } catch (const host::SessionError& error) {
        if (error.error().kind == host::ErrorKind::kReturnCode) continue;
        throw;
      }
      const Direction at{Value(measured, "hz"), Value(measured, "v")};
      bool known = false;
      for (const Direction& before : seen)
        known = known || Apart(at, before) < step;
      if (known) continue;
      seen.push_back(at);
      Target target;
      target.id = "L" + std::to_string(targets.size() + 1);
      target.coordinates =
          PointAt(station, at.hz, at.v, Value(measured, "slope_distance"));
      targets.push_back(target);
      if (found) found(target);
    }
  }
  return targets;
}

}  // namespace Core::GEOCOM::survey
