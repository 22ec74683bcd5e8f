#include <DazoZazIdoRezeraro/survey/Report.h>

#include <DazoZazIdoRezeraro/host/Text.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <limits>
#include <locale>
#include <sstream>
#include <utility>

namespace Core::GEOCOM::survey {

namespace {

using Span = ReportBuilder::Span;

// The most recent displacements kept for the velocity, whatever its window:
// a bound on memory when rounds follow each other quickly.
constexpr std::size_t kMostRecent = 4096;

struct Plotted {
  Component component;
  const char* label;
  const char* colour;
};
constexpr std::array<Plotted, ReportBuilder::kComponents> kPlotted{{
    {Component::East, "dE", "#1f77b4"},
    {Component::North, "dN", "#2ca02c"},
    {Component::Height, "dH", "#9467bd"},
    {Component::Horizontal, "horizontal", "#8c564b"},
    {Component::Spatial, "3d", "#17becf"},
}};
constexpr const char* kLevelColours[] = {"#2e7d32", "#e69500", "#c62828"};

std::string Escape(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string Millimetres(double metres) {
  return host::FormatFixed(metres * 1000, 1);
}

double ValueIn(const Displacement& d, std::size_t index) {
  const double values[] = {d.east, d.north, d.height, d.horizontal, d.spatial};
  return values[index];
}

// A step of 1, 2 or 5 times a power of ten near range / ticks.
double NiceStep(double range, int ticks) {
  const double raw = range / ticks;
  const double power = std::pow(10, std::floor(std::log10(raw)));
  for (double multiple : {1.0, 2.0, 5.0}) {
    if (raw <= multiple * power) return multiple * power;
  }
  return 10 * power;
}

double TimeStep(double range) {
  static constexpr std::array<double, 15> kSteps{
      60,    300,    900,    1800,    3600,    10800,   21600,   43200,
      86400, 172800, 604800, 1209600, 2592000, 7776000, 31536000};
  for (double step : kSteps) {
    if (range / step <= 7) return step;
  }
  return kSteps.back();
}

std::string TimeLabel(double time, double step) {
  const std::string iso = IsoTime(time);
  return step < 86400 ? iso.substr(5, 5) + " " + iso.substr(11, 5)
                      : iso.substr(0, 10);
}

// Maps one range of values onto one range of pixels.
struct Scale {
  double from, to, pixelFrom, pixelTo;
  double operator()(double value) const {
    return pixelFrom + (value - from) / (to - from) * (pixelTo - pixelFrom);
  }
};

std::string Point(double x, double y) {
  return host::FormatFixed(x, 1) + "," + host::FormatFixed(y, 1);
}

}  // namespace

bool TargetOrder::operator()(const std::string& left,
                             const std::string& right) const {
  std::size_t i = 0, j = 0;
  while (i < left.size() && j < right.size()) {
    const bool leftDigit = std::isdigit(static_cast<unsigned char>(left[i]));
    const bool rightDigit = std::isdigit(static_cast<unsigned char>(right[j]));
    if (leftDigit && rightDigit) {
      // Runs of digits compare by their value: by length without leading
      // zeros, then digit by digit.
      const std::size_t leftEnd = left.find_first_not_of("0123456789", i);
      const std::size_t rightEnd = right.find_first_not_of("0123456789", j);
      const std::string a = left.substr(i, leftEnd - i);
      const std::string b = right.substr(j, rightEnd - j);
      const std::string aValue =
          a.substr(std::min(a.find_first_not_of('0'), a.size()));
      const std::string bValue =
          b.substr(std::min(b.find_first_not_of('0'), b.size()));
      if (aValue.size() != bValue.size()) return aValue.size() < bValue.size();
      if (aValue != bValue) return aValue < bValue;
      i = std::min(leftEnd, left.size());
      j = std::min(rightEnd, right.size());
      continue;
    }
    if (left[i] != right[j]) return left[i] < right[j];
    ++i;
    ++j;
  }
  if (left.size() - i != right.size() - j)
    return left.size() - i < right.size() - j;
  return left < right;
}

ReportBuilder::ReportBuilder(std::vector<Limit> limits, ReportOptions options)
    : limits_(std::move(limits)), options_(std::move(options)) {
  options_.pointsPerTarget = std::max<std::size_t>(options_.pointsPerTarget, 2);
}

void ReportBuilder::SetReference(const std::string& target,
                                 const Epoch& reference) {
  series_[target].reference = reference;
}

void ReportBuilder::Add(const std::string& target, const Epoch& epoch) {
  Series& series = series_[target];
  if (!series.reference) {
    if (!epoch.roundComplete) return;
    series.reference = epoch;
  }
  ++epochs_;
  Append(series, DisplacementBetween(*series.reference, epoch));
}

void ReportBuilder::Append(Series& series, const Displacement& d) {
  ++series.epochs;
  series.last = d;
  series.recent.push_back(d);
  while (series.recent.size() > kMostRecent ||
         series.recent.front().time < d.time - options_.velocityWindow) {
    series.recent.pop_front();
  }
  if (series.spans.empty() ||
      series.spans.back().count >= series.spanCapacity) {
    Span span;
    span.firstTime = d.time;
    for (std::size_t i = 0; i < kComponents; ++i) {
      span.least[i] = std::numeric_limits<double>::infinity();
      span.greatest[i] = -std::numeric_limits<double>::infinity();
    }
    series.spans.push_back(span);
  }
  Span& span = series.spans.back();
  span.lastTime = d.time;
  ++span.count;
  for (std::size_t i = 0; i < kComponents; ++i) {
    const double value = ValueIn(d, i);
    span.sum[i] += value;
    span.least[i] = std::min(span.least[i], value);
    span.greatest[i] = std::max(span.greatest[i], value);
  }
  // Full: merge neighbours pairwise, and let each new span take twice as
  // many epochs, so the series stays within its bound however long it is.
  if (series.spans.size() >= 2 * options_.pointsPerTarget) {
    std::vector<Span> merged;
    for (std::size_t i = 0; i + 1 < series.spans.size(); i += 2) {
      Span joined = series.spans[i];
      const Span& next = series.spans[i + 1];
      joined.lastTime = next.lastTime;
      joined.count += next.count;
      for (std::size_t c = 0; c < kComponents; ++c) {
        joined.sum[c] += next.sum[c];
        joined.least[c] = std::min(joined.least[c], next.least[c]);
        joined.greatest[c] = std::max(joined.greatest[c], next.greatest[c]);
      }
      merged.push_back(joined);
    }
    series.spans = std::move(merged);
    series.spanCapacity *= 2;
  }
}

void ReportBuilder::AddDisplacement(const std::string& target,
                                    const Displacement& displacement) {
  ++epochs_;
  Append(series_[target], displacement);
}

void ReportBuilder::AddEvent(const Event& event) {
  levels_[event.target][event.component] = event.level;
  ++eventCount_;
  events_.push_back(event);
  if (events_.size() > options_.eventsShown) events_.pop_front();
}

std::string ReportBuilder::SeriesSvg(const std::string& target,
                                     const Series& series, double firstTime,
                                     double lastTime) const {
  std::ostringstream html;
  // Numbers in the classic form whatever the program's locale.
  html.imbue(std::locale::classic());
  const double timeSpan = std::max(lastTime - firstTime, 60.0);
  std::vector<std::size_t> shown = {0, 1, 2};
  std::vector<std::pair<double, const Limit*>> lines;  // signed bound, limit
  std::vector<std::pair<double, Level>> bounds;
  for (const Limit& limit : limits_) {
    if (!limit.AppliesTo(target)) continue;
    const auto plotted = std::find_if(
        kPlotted.begin(), kPlotted.end(),
        [&limit](const Plotted& p) { return p.component == limit.component; });
    if (plotted == kPlotted.end()) continue;
    const auto index = static_cast<std::size_t>(plotted - kPlotted.begin());
    if (std::find(shown.begin(), shown.end(), index) == shown.end())
      shown.push_back(index);
    for (Level level : {Level::Warning, Level::Alarm}) {
      const auto bound = level == Level::Warning ? limit.warning : limit.alarm;
      if (!bound) continue;
      bounds.push_back({*bound, level});
      if (index < 3) bounds.push_back({-*bound, level});
    }
  }
  double low = 0, high = 0;
  for (const Span& span : series.spans) {
    for (std::size_t i : shown) {
      low = std::min(low, span.least[i]);
      high = std::max(high, span.greatest[i]);
    }
  }
  for (const auto& [bound, level] : bounds) {
    low = std::min(low, bound);
    high = std::max(high, bound);
  }
  if (high - low < 0.001) high = low + 0.001;
  const double pad = (high - low) * 0.05;
  low -= pad;
  high += pad;
  const double width = 940, height = 260, left = 60, right = 110, top = 12,
               bottom = 36;
  const Scale x{firstTime, firstTime + timeSpan, left, width - right};
  const Scale y{low, high, height - bottom, top};
  html << "<svg class=\"series\" xmlns=\"http://www.w3.org/2000/svg\" width=\""
       << width << "\" height=\"" << height << "\" viewBox=\"0 0 " << width
       << " " << height << "\">";
  const double millimetreStep = NiceStep((high - low) * 1000, 5);
  for (double tick = std::ceil(low * 1000 / millimetreStep) * millimetreStep;
       tick <= high * 1000; tick += millimetreStep) {
    const double py = y(tick / 1000);
    html << "<line x1=\"" << left << "\" x2=\"" << width - right << "\" y1=\""
         << host::FormatFixed(py, 1) << "\" y2=\"" << host::FormatFixed(py, 1)
         << "\" stroke=\"#eee\"/><text x=\"" << left - 6 << "\" y=\""
         << host::FormatFixed(py + 4, 1) << "\" text-anchor=\"end\">"
         << host::FormatFixed(tick, millimetreStep < 1 ? 1 : 0) << "</text>";
  }
  const double timeStep = TimeStep(timeSpan);
  for (double tick = std::ceil(firstTime / timeStep) * timeStep;
       tick <= firstTime + timeSpan; tick += timeStep) {
    html << "<text x=\"" << host::FormatFixed(x(tick), 1) << "\" y=\""
         << height - 14 << "\" text-anchor=\"middle\">"
         << TimeLabel(tick, timeStep) << "</text>";
  }
  html << "<text x=\"14\" y=\""
       << host::FormatFixed((top + height - bottom) / 2, 1)
       << "\" transform=\"rotate(-90 14 "
       << host::FormatFixed((top + height - bottom) / 2, 1)
       << ")\" text-anchor=\"middle\">mm</text>";
  for (const auto& [bound, level] : bounds) {
    const double py = y(bound);
    html << "<line x1=\"" << left << "\" x2=\"" << width - right << "\" y1=\""
         << host::FormatFixed(py, 1) << "\" y2=\"" << host::FormatFixed(py, 1)
         << "\" stroke=\"" << kLevelColours[int(level)]
         << "\" stroke-dasharray=\"6 4\"/>";
  }
  double legend = 0;
  for (std::size_t i : shown) {
    std::string band, line;
    for (const Span& span : series.spans) {
      const double px = x((span.firstTime + span.lastTime) / 2);
      line += Point(px, y(span.sum[i] / static_cast<double>(span.count))) + " ";
      band += Point(px, y(span.greatest[i])) + " ";
    }
    for (auto span = series.spans.rbegin(); span != series.spans.rend();
         ++span) {
      band +=
          Point(x((span->firstTime + span->lastTime) / 2), y(span->least[i])) +
          " ";
    }
    if (series.spanCapacity > 1) {
      html << "<polygon points=\"" << band << "\" fill=\"" << kPlotted[i].colour
           << "\" fill-opacity=\"0.15\" stroke=\"none\"/>";
    }
    html << "<polyline points=\"" << line << "\" fill=\"none\" stroke=\""
         << kPlotted[i].colour << "\" stroke-width=\"1.5\"/>";
    const double legendY = top + 12 + 16 * legend++;
    html << "<line x1=\"" << width - right + 10 << "\" x2=\""
         << width - right + 30 << "\" y1=\"" << legendY - 4 << "\" y2=\""
         << legendY - 4 << "\" stroke=\"" << kPlotted[i].colour
         << "\" stroke-width=\"2\"/><text x=\"" << width - right + 35
         << "\" y=\"" << legendY << "\">" << kPlotted[i].label << "</text>";
  }
  for (Level level : {Level::Warning, Level::Alarm}) {
    const bool drawn =
        std::any_of(bounds.begin(), bounds.end(),
                    [level](const auto& b) { return b.second == level; });
    if (!drawn) continue;
    const double legendY = top + 12 + 16 * legend++;
    html << "<line x1=\"" << width - right + 10 << "\" x2=\""
         << width - right + 30 << "\" y1=\"" << legendY - 4 << "\" y2=\""
         << legendY - 4 << "\" stroke=\"" << kLevelColours[int(level)]
         << "\" stroke-dasharray=\"4 3\"/><text x=\"" << width - right + 35
         << "\" y=\"" << legendY << "\">" << NameOf(level) << "</text>";
  }
  html << "</svg>";
  return html.str();
}

Level ReportBuilder::LevelOf(const std::string& target) const {
  Level level = Level::Clear;
  const auto found = levels_.find(target);
  if (found == levels_.end()) return level;
  for (const auto& [component, reached] : found->second) {
    level = std::max(level, reached);
  }
  return level;
}

std::optional<Displacement> ReportBuilder::Last(
    const std::string& target) const {
  const auto found = series_.find(target);
  if (found == series_.end()) return std::nullopt;
  return found->second.last;
}

std::string ReportBuilder::SeriesSvg(const std::string& target) const {
  const auto found = series_.find(target);
  if (found == series_.end() || found->second.spans.empty()) return "";
  double firstTime = std::numeric_limits<double>::infinity();
  double lastTime = -firstTime;
  for (const auto& [id, series] : series_) {
    if (series.spans.empty()) continue;
    firstTime = std::min(firstTime, series.spans.front().firstTime);
    lastTime = std::max(lastTime, series.spans.back().lastTime);
  }
  return SeriesSvg(target, found->second, firstTime, lastTime);
}

std::string ReportBuilder::Html() const {
  double firstTime = std::numeric_limits<double>::infinity();
  double lastTime = -firstTime;
  for (const auto& [target, series] : series_) {
    if (series.spans.empty()) continue;
    firstTime = std::min(firstTime, series.spans.front().firstTime);
    lastTime = std::max(lastTime, series.spans.back().lastTime);
  }
  const bool anyEpoch = epochs_ > 0;

  std::ostringstream html;
  // Numbers in the classic form whatever the program's locale.
  html.imbue(std::locale::classic());
  html << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
          "<meta name=\"viewport\" content=\"width=device-width\">"
          "<title>"
       << Escape(options_.title)
       << "</title><style>\n"
          "body{font:14px/1.4 "
          "system-ui,sans-serif;margin:24px;color:#222;max-width:1000px}\n"
          "h1{font-size:22px}h2{font-size:17px;margin-top:28px;border-bottom:"
          "1px solid #ccc}\n"
          "table{border-collapse:collapse}td,th{padding:3px "
          "10px;border-bottom:1px solid #e4e4e4}\n"
          "td.n{text-align:right;font-variant-numeric:tabular-nums}th{text-"
          "align:left;background:#f4f4f4}\n"
          ".level{font-weight:600}.meta{color:#555}svg{background:#fff;border:"
          "1px solid #ddd}\n"
          "svg text{font:11px "
          "system-ui,sans-serif;fill:#333}figure{margin:14px 0}\n"
          "figcaption{font-weight:600;margin-bottom:4px}\n"
          "</style></head><body>\n<h1>"
       << Escape(options_.title) << "</h1>\n";
  html << "<p class=\"meta\">" << epochs_ << " epochs of " << series_.size()
       << " targets";
  if (anyEpoch) {
    html << " from " << IsoTime(firstTime) << " to " << IsoTime(lastTime);
  }
  html << "; " << eventCount_
       << " events. Displacements in millimetres from each "
          "target's reference epoch; velocities in millimetres per day over "
          "the last "
       << host::FormatFixed(options_.velocityWindow / 86400, 1)
       << " days.</p>\n";

  // The last values.
  html
      << "<h2>Last values</h2>\n<table id=\"last-values\"><tr><th>Target</th>"
         "<th>Measured</th><th>dE</th><th>dN</th><th>dH</th><th>horizontal</th>"
         "<th>3d</th><th>velocity 3d</th><th>epochs</th><th>level</th></tr>\n";
  for (const auto& [target, series] : series_) {
    if (!series.last) continue;
    const Displacement& d = *series.last;
    const std::vector<Displacement> recent(series.recent.begin(),
                                           series.recent.end());
    const auto velocity = VelocityOver(recent, options_.velocityWindow);
    const Level level = LevelOf(target);
    html << "<tr><td>" << Escape(target) << "</td><td>"
         << IsoTime(d.time).substr(0, 19) << "</td>";
    for (std::size_t i = 0; i < kComponents; ++i) {
      html << "<td class=\"n\">" << Millimetres(ValueIn(d, i)) << "</td>";
    }
    html << "<td class=\"n\">"
         << (velocity ? host::FormatFixed(velocity->spatial * 1000, 2) : "–")
         << "</td><td class=\"n\">" << series.epochs
         << "</td><td class=\"level\" style=\"color:"
         << kLevelColours[int(level)] << "\">" << NameOf(level)
         << "</td></tr>\n";
  }
  html << "</table>\n";

  // The plan: each target at its reference position, its horizontal
  // displacement drawn as an exaggerated arrow.
  html << "<h2>Plan</h2>\n";
  if (anyEpoch) {
    double minE = std::numeric_limits<double>::infinity(), maxE = -minE;
    double minN = minE, maxN = -minE, largest = 0;
    for (const auto& [target, series] : series_) {
      if (!series.last || !series.reference) continue;
      minE = std::min(minE, series.reference->easting);
      maxE = std::max(maxE, series.reference->easting);
      minN = std::min(minN, series.reference->northing);
      maxN = std::max(maxN, series.reference->northing);
      largest = std::max(largest, series.last->horizontal);
    }
    const double extent = std::max({maxE - minE, maxN - minN, 10.0}) * 1.3;
    const double centreE = (minE + maxE) / 2, centreN = (minN + maxN) / 2;
    const double size = 560, margin = 20;
    const Scale x{centreE - extent / 2, centreE + extent / 2, margin,
                  margin + size};
    const Scale y{centreN - extent / 2, centreN + extent / 2, margin + size,
                  margin};
    const double exaggeration =
        largest > 0 ? NiceStep(extent * 0.12 / largest, 1) : 1000;
    const double pixelsPerMetre = size / extent;
    html << "<svg id=\"plan\" xmlns=\"http://www.w3.org/2000/svg\" "
            "width=\"600\" "
            "height=\"660\" viewBox=\"0 0 600 660\"><defs>";
    for (int level = 0; level < 3; ++level) {
      html << "<marker id=\"head" << level
           << "\" viewBox=\"0 0 10 10\" refX=\"9\" "
              "refY=\"5\" markerWidth=\"7\" markerHeight=\"7\" orient=\"auto\">"
              "<path d=\"M0,0L10,5L0,10z\" fill=\""
           << kLevelColours[level] << "\"/></marker>";
    }
    html << "</defs><text x=\"580\" y=\"34\" text-anchor=\"end\">N ↑</text>\n";
    for (const auto& [target, series] : series_) {
      if (!series.last || !series.reference) continue;
      const int level = int(LevelOf(target));
      const double px = x(series.reference->easting),
                   py = y(series.reference->northing);
      const double tipX =
          px + series.last->east * exaggeration * pixelsPerMetre;
      const double tipY =
          py - series.last->north * exaggeration * pixelsPerMetre;
      html << "<circle cx=\"" << host::FormatFixed(px, 1) << "\" cy=\""
           << host::FormatFixed(py, 1) << "\" r=\"4\" fill=\"#444\"/>";
      if (series.last->horizontal > 0) {
        html << "<line x1=\"" << host::FormatFixed(px, 1) << "\" y1=\""
             << host::FormatFixed(py, 1) << "\" x2=\""
             << host::FormatFixed(tipX, 1) << "\" y2=\""
             << host::FormatFixed(tipY, 1) << "\" stroke=\""
             << kLevelColours[level]
             << "\" stroke-width=\"2\" marker-end=\"url(#head" << level
             << ")\"/>";
      }
      html << "<text x=\"" << host::FormatFixed(px + 7, 1) << "\" y=\""
           << host::FormatFixed(py - 7, 1) << "\">" << Escape(target)
           << "</text>\n";
    }
    // Two scale bars: the ground, and the displacements as exaggerated.
    const double ground = NiceStep(extent / 4, 1);
    const double shown = NiceStep(extent / 4 / exaggeration, 1);
    const double groundPixels = ground * pixelsPerMetre;
    const double shownPixels = shown * exaggeration * pixelsPerMetre;
    html << "<line x1=\"20\" y1=\"615\" x2=\""
         << host::FormatFixed(20 + groundPixels, 1)
         << "\" y2=\"615\" stroke=\"#222\" stroke-width=\"3\"/><text x=\"20\" "
            "y=\"607\">"
         << host::FormatFixed(ground, ground < 1 ? 2 : 0) << " m (plan)</text>"
         << "<line x1=\"20\" y1=\"645\" x2=\""
         << host::FormatFixed(20 + shownPixels, 1)
         << "\" y2=\"645\" stroke=\"#c62828\" stroke-width=\"3\"/><text "
            "x=\"20\" y=\"637\">"
         << Millimetres(shown) << " mm (arrows, exaggerated "
         << host::FormatFixed(exaggeration, 0) << "×)</text></svg>\n";
  } else {
    html << "<p>No epochs.</p>\n";
  }

  // Each target's time series with its limits.
  html << "<h2>Displacements over time</h2>\n";
  for (const auto& [target, series] : series_) {
    if (series.spans.empty()) continue;
    html << "<figure><figcaption>" << Escape(target) << "</figcaption>"
         << SeriesSvg(target, series, firstTime, lastTime) << "</figure>\n";
  }

  // The events, the latest first.
  html << "<h2>Events</h2>\n";
  if (events_.empty()) {
    html << "<p>No events.</p>\n";
  } else {
    if (eventCount_ > events_.size()) {
      html << "<p class=\"meta\">The latest " << events_.size() << " of "
           << eventCount_ << ".</p>\n";
    }
    html
        << "<table id=\"events\"><tr><th>Time</th><th>Target</th><th>Level</th>"
           "<th>Component</th><th>Value</th><th>Limit</th><th>Round</th></"
           "tr>\n";
    for (auto event = events_.rbegin(); event != events_.rend(); ++event) {
      const bool speed = event->component == Component::Velocity;
      html << "<tr><td>" << IsoTime(event->time).substr(0, 19) << "</td><td>"
           << Escape(event->target) << "</td><td class=\"level\" style=\"color:"
           << kLevelColours[int(event->level)] << "\">" << NameOf(event->level)
           << "</td><td>" << NameOf(event->component) << "</td><td class=\"n\">"
           << Millimetres(event->value) << (speed ? " mm/d" : " mm")
           << "</td><td class=\"n\">" << Millimetres(event->limit)
           << (speed ? " mm/d" : " mm") << "</td><td>" << event->round
           << "</td></tr>\n";
    }
    html << "</table>\n";
  }
  html << "</body></html>\n";
  return html.str();
}

}  // namespace Core::GEOCOM::survey
