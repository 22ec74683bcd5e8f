#ifndef DAZOZAZIDOREZERARO_SURVEY_REPORT_H
#define DAZOZAZIDOREZERARO_SURVEY_REPORT_H

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Displacement.h"
#include "Export.h"
#include "Limits.h"

/// @file
/// The monitoring report: one self-contained HTML page (inline SVG, no
/// script, nothing fetched) with each target's displacements over time and
/// its limits, a plan with displacement arrows, the last values and the
/// events. It is built from epochs read in time order and keeps a bounded
/// summary of each target, so any number of observations fits in memory.

namespace Core::GEOCOM::survey {

/// What a report shows and how finely.
struct ReportOptions {
  std::string title = "Monitoring report";  ///< The page's heading.
  /// The most points a target's time series keeps; more epochs are merged
  /// into spans that keep their mean, least and greatest values.
  std::size_t pointsPerTarget = 400;
  /// The velocity's window, seconds.
  double velocityWindow = 7 * 86400.0;
  /// The most events listed, the latest first.
  std::size_t eventsShown = 200;
};

/// Orders target ids as people read them: P2 before P10.
struct DAZOZAZIDOREZERARO_SURVEY_EXPORT TargetOrder {
  /// Whether left comes before right.
  bool operator()(const std::string& left, const std::string& right) const;
};

/// Gathers epochs and events and writes the report.
class DAZOZAZIDOREZERARO_SURVEY_EXPORT ReportBuilder {
 public:
  /// A report that draws the limits, shown as the options say.
  ReportBuilder(std::vector<Limit> limits, ReportOptions options = {});

  /// Sets the epoch the target's displacements are measured from; without
  /// one, the first epoch of a complete round added is the reference.
  void SetReference(const std::string& target, const Epoch& reference);

  /// Adds one epoch of a target; each target's epochs come in time order.
  void Add(const std::string& target, const Epoch& epoch);

  /// Adds a displacement of a target measured from its reference epoch
  /// elsewhere (a running job's Watch); each target's come in time order.
  void AddDisplacement(const std::string& target,
                       const Displacement& displacement);

  /// Adds an event; events come in time order.
  void AddEvent(const Event& event);

  /// The target's level: the highest its last event on each component
  /// left it at.
  Level LevelOf(const std::string& target) const;

  /// The target's last displacement, if it has one.
  std::optional<Displacement> Last(const std::string& target) const;

  /// The target's time series as the report draws it (one SVG element, on
  /// the time axis of every target's epochs); empty without epochs.
  std::string SeriesSvg(const std::string& target) const;

  /// How many epochs have been added.
  std::size_t Epochs() const { return epochs_; }

  /// The report as one HTML document.
  std::string Html() const;

  /// The components a time series keeps: east, north, height, horizontal
  /// and 3-D.
  static constexpr std::size_t kComponents = 5;

  /// One span of a target's time series: the mean, least and greatest
  /// displacement of the epochs merged into it, in metres.
  struct Span {
    double firstTime = 0;               ///< Its first epoch, Unix seconds.
    double lastTime = 0;                ///< Its last epoch, Unix seconds.
    std::size_t count = 0;              ///< The epochs merged into it.
    double sum[kComponents] = {};       ///< Sum of each component.
    double least[kComponents] = {};     ///< Least of each component.
    double greatest[kComponents] = {};  ///< Greatest of each component.
  };

 private:
  struct Series {
    std::optional<Epoch> reference;
    std::vector<Span> spans;
    std::size_t spanCapacity = 1;  // Epochs a new span may take.
    std::size_t epochs = 0;
    std::optional<Displacement> last;
    std::deque<Displacement> recent;  // Those in the velocity's window.
  };

  void Append(Series& series, const Displacement& displacement);
  std::string SeriesSvg(const std::string& target, const Series& series,
                        double firstTime, double lastTime) const;

  std::vector<Limit> limits_;
  ReportOptions options_;
  std::map<std::string, Series, TargetOrder> series_;
  std::deque<Event> events_;
  // Each target's level on each component its events were on.
  std::map<std::string, std::map<Component, Level>> levels_;
  std::size_t eventCount_ = 0;
  std::size_t epochs_ = 0;
};

}  // namespace Core::GEOCOM::survey

#endif
