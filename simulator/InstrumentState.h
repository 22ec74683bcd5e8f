#ifndef DAZOZAZIDOREZERARO_SIMULATOR_INSTRUMENTSTATE_H
#define DAZOZAZIDOREZERARO_SIMULATOR_INSTRUMENTSTATE_H

#include <DazoZazIdoRezeraro/simulator/VirtualInstrument.h>

#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Random.h"
#include "Telescope.h"

namespace Core::GEOCOM::simulator {

// What the instrument answers to one request: a return code, the reply's
// named values as the catalogue lists them (none for a bare code), and how
// long the answer takes.
struct Answer {
  unsigned short code = GRC_OK;
  host::Fields values;
  Clock::duration delay{0};
};

// The answer to one request as it goes out: the reply's parameter text,
// and by name what the request asked and the reply carries.
struct Outcome {
  unsigned short code = GRC_OK;
  std::string text;
  Clock::duration delay{0};
  std::optional<host::Fields> arguments;  // nullopt when they did not read
  host::Fields values;
};

// An answer with only a return code.
inline Answer Code(unsigned short code) {
  Answer answer;
  answer.code = code;
  return answer;
}

// A successful answer carrying the reply's values.
inline Answer Reply(host::Fields values) {
  Answer answer;
  answer.values = std::move(values);
  return answer;
}

// An integer value of a reply.
inline host::FieldValue Whole(std::int64_t value) { return value; }

class InstrumentState;

// A handler: the answer to one procedure, from its checked arguments.
using Handler = Answer (InstrumentState::*)(const Arguments& in,
                                            Clock::time_point now);
using Handlers = std::map<host::ProcedureId, Handler>;

// Each file of handlers adds those it defines.
void AddMotionHandlers(Handlers& handlers);
void AddMeasurementHandlers(Handlers& handlers);
void AddServiceHandlers(Handlers& handlers);

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
  // The answer to a request, its arguments read and checked by the
  // catalogue and its reply composed by it.
  Outcome Handle(const GeoComSentence& request, Clock::time_point now);

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
  Answer Position(const Arguments& in, Clock::time_point now);
  Answer ChangeFace(const Arguments& in, Clock::time_point now);
  Answer FastPosition(const Arguments& in, Clock::time_point now);
  Answer FineAdjust(const Arguments& in, Clock::time_point now);
  Answer FineAdjustRetry(const Arguments& in, Clock::time_point now);
  Answer LockIn(const Arguments& in, Clock::time_point now);
  Answer LockStatus(const Arguments& in, Clock::time_point now);
  Answer PowerSearch(const Arguments& in, Clock::time_point now);
  Answer SetPowerSearchRange(const Arguments& in, Clock::time_point now);
  Answer SearchArea(const Arguments& in, Clock::time_point now);
  Answer SetSearchArea(const Arguments& in, Clock::time_point now);
  Answer MotorStart(const Arguments& in, Clock::time_point now);
  Answer MotorStop(const Arguments& in, Clock::time_point now);
  Answer MotorVelocity(const Arguments& in, Clock::time_point now);
  Answer AutomationActivity(const Arguments& in, Clock::time_point now);
  Answer AtrState(const Arguments& in, Clock::time_point now);
  Answer SetAtrState(const Arguments& in, Clock::time_point now);
  Answer LockState(const Arguments& in, Clock::time_point now);
  Answer SetLockState(const Arguments& in, Clock::time_point now);
  Answer AtrSetting(const Arguments& in, Clock::time_point now);
  Answer SetAtrSetting(const Arguments& in, Clock::time_point now);

  // ---- Measurement, station and corrections.
  Answer Angles(const Arguments& in, Clock::time_point now);
  Answer SimpleMeasurement(const Arguments& in, Clock::time_point now);
  Answer QuickDistance(const Arguments& in, Clock::time_point now);
  Answer InclineIndex(const Arguments& in, Clock::time_point now);
  Answer AngleSwitches(const Arguments& in, Clock::time_point now);
  Answer StartCompensator(const Arguments& in, Clock::time_point now);
  Answer StopCompensator(const Arguments& in, Clock::time_point now);
  Answer AtmosphereValues(const Arguments& in, Clock::time_point now);
  Answer SlopeDistanceCorrections(const Arguments& in, Clock::time_point now);
  Answer StationValues(const Arguments& in, Clock::time_point now);
  Answer SetStation(const Arguments& in, Clock::time_point now);
  Answer StationId(const Arguments& in, Clock::time_point now);
  Answer Calibration(const Arguments& in, Clock::time_point now);
  Answer CalibrationParameters(const Arguments& in, Clock::time_point now);
  Answer GuideLight(const Arguments& in, Clock::time_point now);
  Answer SetGuideLight(const Arguments& in, Clock::time_point now);

  // ---- Identity, power, clock, files and ports.
  Answer InstrumentNumber(const Arguments& in, Clock::time_point now);
  Answer InstrumentName(const Arguments& in, Clock::time_point now);
  Answer SoftwareVersion(const Arguments& in, Clock::time_point now);
  Answer DeviceConfig(const Arguments& in, Clock::time_point now);
  Answer Power(const Arguments& in, Clock::time_point now);
  Answer BatteryStatus(const Arguments& in, Clock::time_point now);
  Answer DateTime(const Arguments& in, Clock::time_point now);
  Answer SetDateTime(const Arguments& in, Clock::time_point now);
  Answer ObjectListSetup(const Arguments& in, Clock::time_point now);
  Answer ObjectList(const Arguments& in, Clock::time_point now);
  Answer ObjectDelete(const Arguments& in, Clock::time_point now);
  Answer FileListSetup(const Arguments& in, Clock::time_point now);
  Answer FileList(const Arguments& in, Clock::time_point now);
  Answer FileDelete(const Arguments& in, Clock::time_point now);
  Answer InterfacePort(const Arguments& in, Clock::time_point now);
  Answer Authenticate(const Arguments& in, Clock::time_point now);
  Answer UploadObject(const Arguments& in, Clock::time_point now);

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
  Answer Fine(Clock::time_point now);
  Answer Positioning(double hz, double v, std::int64_t atrMode,
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
