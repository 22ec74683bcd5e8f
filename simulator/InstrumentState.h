#ifndef DAZOZAZIDOREZERARO_SIMULATOR_INSTRUMENTSTATE_H
#define DAZOZAZIDOREZERARO_SIMULATOR_INSTRUMENTSTATE_H

#include <DazoZazIdoRezeraro/simulator/VirtualInstrument.h>

#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Random.h"
#include "Telescope.h"
#include "Wire.h"

namespace Core::GEOCOM::simulator {

// What the instrument answers to one request.
struct Answer {
  unsigned short code = GRC_OK;
  std::string text;  // the parameter text, each value behind its comma
  Clock::duration delay{0};
};

// An answer with only a return code.
inline Answer Code(unsigned short code) {
  Answer answer;
  answer.code = code;
  return answer;
}

// A successful answer with the reply's parameter text.
inline Answer Reply(const ReplyText& text) {
  Answer answer;
  answer.text = text.str();
  return answer;
}

// Where a prism moving along its path and drifting is, seconds after the
// start; its drift runs timeScale times as fast.
Point PrismPosition(const Prism& prism, double seconds, double timeScale);

// The direction through the face the telescope looks through at here.
inline Direction SameFace(const Direction& here, const Direction& faceOne) {
  return InFaceTwo(here) ? OtherFace(faceOne) : faceOne;
}

// Seconds since 1970 of a date and time taken as UTC, and back.
std::time_t ToSeconds(const DATIME& dateTime);
DATIME FromSeconds(std::time_t seconds);

// The instrument's state and its answer to each procedure. The handlers
// are grouped by subject in MotionCalls.cpp, MeasurementCalls.cpp and
// ServiceCalls.cpp; every one runs under the mutex, after Advance.
class InstrumentState {
 public:
  InstrumentState(Scene sceneGiven, std::uint64_t seed,
                  Clock::time_point startTime);

  // Brings the state up to now: a lock follows its prism or loses it.
  void Advance(Clock::time_point now);
  Answer Handle(const GeoComSentence& request, Clock::time_point now);

  // What a live view shows, and a prism moved while running.
  InstrumentView View(Clock::time_point now);
  host::Result<host::Done> MovePrism(std::string_view id, const Point& position,
                                     Clock::time_point now);

  mutable std::mutex mutex;
  // Prisms move only through MovePrism; the rest is as made.
  Scene scene;
  const Clock::time_point start;
  Clock::time_point latest;
  Telescope telescope;

  // ---- Motion, target recognition and search.
  Answer Position(RequestReader& in, Clock::time_point now);
  Answer ChangeFace(RequestReader& in, Clock::time_point now);
  Answer FastPosition(RequestReader& in, Clock::time_point now);
  Answer FineAdjust(RequestReader& in, Clock::time_point now);
  Answer FineAdjustRetry(RequestReader& in, Clock::time_point now);
  Answer LockIn(RequestReader& in, Clock::time_point now);
  Answer LockStatus(RequestReader& in, Clock::time_point now);
  Answer PowerSearch(RequestReader& in, Clock::time_point now);
  Answer SetPowerSearchRange(RequestReader& in, Clock::time_point now);
  Answer SearchArea(RequestReader& in, Clock::time_point now);
  Answer SetSearchArea(RequestReader& in, Clock::time_point now);
  Answer MotorStart(RequestReader& in, Clock::time_point now);
  Answer MotorStop(RequestReader& in, Clock::time_point now);
  Answer MotorVelocity(RequestReader& in, Clock::time_point now);
  Answer AutomationActivity(RequestReader& in, Clock::time_point now);
  Answer AtrState(RequestReader& in, Clock::time_point now);
  Answer SetAtrState(RequestReader& in, Clock::time_point now);
  Answer LockState(RequestReader& in, Clock::time_point now);
  Answer SetLockState(RequestReader& in, Clock::time_point now);
  Answer AtrSetting(RequestReader& in, Clock::time_point now);
  Answer SetAtrSetting(RequestReader& in, Clock::time_point now);

  // ---- Measurement, station and corrections.
  Answer Angles(RequestReader& in, Clock::time_point now);
  Answer SimpleMeasurement(RequestReader& in, Clock::time_point now);
  Answer QuickDistance(RequestReader& in, Clock::time_point now);
  Answer InclineIndex(RequestReader& in, Clock::time_point now);
  Answer AngleSwitches(RequestReader& in, Clock::time_point now);
  Answer StartCompensator(RequestReader& in, Clock::time_point now);
  Answer StopCompensator(RequestReader& in, Clock::time_point now);
  Answer AtmosphereValues(RequestReader& in, Clock::time_point now);
  Answer SlopeDistanceCorrections(RequestReader& in, Clock::time_point now);
  Answer StationValues(RequestReader& in, Clock::time_point now);
  Answer SetStation(RequestReader& in, Clock::time_point now);
  Answer StationId(RequestReader& in, Clock::time_point now);
  Answer Calibration(RequestReader& in, Clock::time_point now);
  Answer CalibrationParameters(RequestReader& in, Clock::time_point now);
  Answer GuideLight(RequestReader& in, Clock::time_point now);
  Answer SetGuideLight(RequestReader& in, Clock::time_point now);

  // ---- Identity, power, clock, files and ports.
  Answer InstrumentNumber(RequestReader& in, Clock::time_point now);
  Answer InstrumentName(RequestReader& in, Clock::time_point now);
  Answer SoftwareVersion(RequestReader& in, Clock::time_point now);
  Answer DeviceConfig(RequestReader& in, Clock::time_point now);
  Answer Power(RequestReader& in, Clock::time_point now);
  Answer BatteryStatus(RequestReader& in, Clock::time_point now);
  Answer DateTime(RequestReader& in, Clock::time_point now);
  Answer SetDateTime(RequestReader& in, Clock::time_point now);
  Answer ObjectListSetup(RequestReader& in, Clock::time_point now);
  Answer ObjectList(RequestReader& in, Clock::time_point now);
  Answer ObjectDelete(RequestReader& in, Clock::time_point now);
  Answer FileListSetup(RequestReader& in, Clock::time_point now);
  Answer FileList(RequestReader& in, Clock::time_point now);
  Answer FileDelete(RequestReader& in, Clock::time_point now);
  Answer InterfacePort(RequestReader& in, Clock::time_point now);
  Answer SetDeviceOnPort(RequestReader& in, Clock::time_point now);
  Answer Authenticate(RequestReader& in, Clock::time_point now);
  Answer UploadObject(RequestReader& in, Clock::time_point now);

 private:
  // Whether the prism is out of sight at t: in a hidden window, or hidden
  // by its probability's draw for that time.
  bool Hidden(std::size_t index, Clock::time_point t) const;
  // Directions and distances of the scene at time t.
  Sight SightOfPrism(std::size_t index, Clock::time_point t) const;
  // The prism nearest the direction within the angle and the distance; the
  // scene's index of it, or nullopt.
  std::optional<std::size_t> PrismNear(const Direction& direction, double angle,
                                       double range, Clock::time_point t) const;
  // Turns onto the prism's centre, aiming where it will be on arrival.
  Answer TurnOntoPrism(std::size_t index, Clock::time_point now,
                       AUT_AUTEVENT activity);
  Answer Measure(Clock::time_point now, bool distance);
  Answer Fine(RequestReader& in, Clock::time_point now, bool retry);
  Answer Positioning(double hz, double v, std::int32_t atrMode,
                     Clock::time_point now);
  void Unlock() { locked_.reset(); }
  double BatteryLevel(Clock::time_point now) const;
  std::time_t ClockSeconds(Clock::time_point now) const;

  Random random_;
  std::uint64_t seed_;
  Station station_;
  std::uint64_t requests_ = 0;

  // Switches and settings.
  bool atr_ = false;
  bool lockSwitch_ = false;
  bool compensator_ = true;
  std::int32_t atrSetting_ = 0;
  std::int32_t guideLight_ = 0;
  AUT_SEARCH_AREA searchArea_;
  std::int32_t searchRangeMin_ = 0;  // metres; max 0 means no limit
  std::int32_t searchRangeMax_ = 0;
  std::optional<std::int32_t> motorMode_;  // unset while stopped

  // Lock-in: the prism followed, and up to when its track was checked.
  std::optional<std::size_t> locked_;
  Clock::time_point lockCheckedAt_{};
  AUT_AUTEVENT activity_ = AUT_EVENT_NONE;
  Clock::time_point activityUntil_{};

  // The clock: its reading at clockSetAt_.
  std::time_t clockBase_;
  Clock::time_point clockSetAt_;

  // Files and the listings over them.
  std::vector<StoredFile> files_;
  std::optional<std::vector<std::size_t>> fileListing_;
  std::optional<std::size_t> fileCursor_;
  std::optional<std::vector<std::size_t>> objectListing_;
  std::size_t objectCursor_ = 0;
};

}  // namespace Core::GEOCOM::simulator

#endif
