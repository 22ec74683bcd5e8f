#ifndef DAZOZAZIDOREZERARO_SIMULATOR_VIRTUALINSTRUMENT_H
#define DAZOZAZIDOREZERARO_SIMULATOR_VIRTUALINSTRUMENT_H

#include <DazoZazIdoRezeraro/host/ReturnCodes.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Export.h"
#include "Geometry.h"
#include "Responder.h"
#include "Scene.h"

/// @file
/// The virtual instrument: a telescope on its station in a scene, answering
/// requests as an instrument would, in time.

namespace Core::GEOCOM::simulator {

class InstrumentState;

/// A prism where it is at one moment.
struct PrismView {
  std::string id;  ///< Its name.
  Point position;  ///< Where it is.
};

/// What the instrument is doing at one moment: what a live view draws.
struct InstrumentView {
  Station station;                    ///< The station last set.
  std::vector<PrismView> prisms;      ///< Every prism, in scene order.
  Direction telescope;                ///< Where the telescope points.
  bool moving = false;                ///< The motors are turning it.
  bool atr = false;                   ///< The ATR switch.
  bool lock = false;                  ///< The lock switch.
  std::string lockedPrism;            ///< The prism followed; empty for none.
  Direction searchCentre;             ///< The target-search window's centre.
  Direction searchRange;              ///< Its full width and height, radians.
  bool searchEnabled = false;         ///< The window limits a search.
  double fieldOfView = 0;             ///< ATR's full opening angle, radians.
  double beamDivergence = 0;          ///< The distance meter's, radians.
  double battery = 0;                 ///< Percent.
  DATIME clock{2024, 1, 1, 0, 0, 0};  ///< The instrument's clock.
  std::uint64_t requests = 0;         ///< Requests answered since the start.
};

/// The return code of a distance measurement, fine adjustment, search,
/// lock-in or positioning onto a target that finds no prism.
inline constexpr unsigned short kNoTargetCode = host::kNoTargetReturnCode;

/// An instrument on its station in a scene: a telescope that takes time to
/// turn, measurements that follow from the geometry, switches, a clock, a
/// battery and files. It answers every procedure of host::Procedures() that
/// the core packs or decodes, and return code 5 to the others. Requests in
/// the wrong state answer GRC_IVRESULT, bad parameters GRC_IVPARAM.
/// Thread-safe; time is whatever each call says it is, never earlier than
/// the latest time it was given.
class DAZOZAZIDOREZERARO_SIMULATOR_EXPORT VirtualInstrument final
    : public Responder {
 public:
  /// The instrument at start, its noise drawn from a generator seeded with
  /// seed: the same scene, seed and requests at the same times give the
  /// same replies.
  explicit VirtualInstrument(Scene scene, std::uint64_t seed = 0,
                             Clock::time_point start = Clock::now());
  ~VirtualInstrument() override;
  VirtualInstrument(const VirtualInstrument&) = delete;
  VirtualInstrument& operator=(const VirtualInstrument&) = delete;

  /// Answers the request as the instrument does at now: one reply, delayed
  /// by the time the procedure takes (a positioning lasts until the
  /// telescope arrives).
  ReplyPlan Respond(const GeoComSentence& request,
                    Clock::time_point now) override;

  /// Where the telescope points at now.
  Direction TelescopeAt(Clock::time_point now);

  /// Where the prism with the id is at now; nullopt when there is none.
  std::optional<Point> PrismAt(std::string_view id,
                               Clock::time_point now) const;

  /// The scene the instrument was made with; prisms moved later are not
  /// in it.
  const Scene& scene() const;

  /// What the instrument is doing at now.
  InstrumentView View(Clock::time_point now);

  /// Puts the prism at the position from now on, standing still; a
  /// telescope locked onto it turns after it. Fails with kInvalidArgument,
  /// changing nothing, for an unknown id or a position CheckPoint refuses.
  host::Result<host::Done> MovePrism(std::string_view id, const Point& position,
                                     Clock::time_point now);

  /// Starts again from the scene and seed it was made with, at now.
  void Reset(Clock::time_point now);

 private:
  const Scene original_;
  // Held while state_ is used, so that Reset can replace it.
  mutable std::mutex resetMutex_;
  std::uint64_t seed_;
  std::unique_ptr<InstrumentState> state_;
};

}  // namespace Core::GEOCOM::simulator

#endif
