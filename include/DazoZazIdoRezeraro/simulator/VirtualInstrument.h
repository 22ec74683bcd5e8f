#ifndef DAZOZAZIDOREZERARO_SIMULATOR_VIRTUALINSTRUMENT_H
#define DAZOZAZIDOREZERARO_SIMULATOR_VIRTUALINSTRUMENT_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "Export.h"
#include "Geometry.h"
#include "Responder.h"
#include "Scene.h"

/// @file
/// The virtual instrument: a telescope on its station in a scene, answering
/// requests as an instrument would, in time.

namespace Core::GEOCOM::simulator {

class InstrumentState;

/// The return code of a distance measurement, fine adjustment, search,
/// lock-in or positioning onto a target that finds no prism.
inline constexpr unsigned short kNoTargetCode = 8710;

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

  /// The scene the instrument was made with.
  const Scene& scene() const;

 private:
  std::unique_ptr<InstrumentState> state_;
};

}  // namespace Core::GEOCOM::simulator

#endif
