#ifndef GEOCOM_TOOL_SIMULATOR_H
#define GEOCOM_TOOL_SIMULATOR_H

#include <DazoZazIdoRezeraro/GeoComSentence.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace geocom {

// A simulated instrument: a small, plausible state and the reply to each
// request. Answer may be called from several client threads at once.
class Simulator {
 public:
  Simulator();

  // The bytes of the reply to a recognised request: same sequence number,
  // return code 5 (not implemented) for a procedure it does not know.
  std::string Answer(const Core::GEOCOM::GeoComSentence& request);

 private:
  struct File {
    std::string name;
    std::uint32_t size;
    unsigned char modTime[4];
    unsigned char modDate[3];
  };

  class Reply;

  Core::GEOCOM::GRC_TYPE Handle(unsigned short procedure,
                                const Core::GEOCOM::GeoComSentence& parameters,
                                Reply& reply);
  std::time_t Now() const;
  void AdvanceMotors();

  std::mutex mutex_;
  std::uint64_t answered_ = 0;
  std::time_t clockBase_;
  std::chrono::steady_clock::time_point clockSetAt_;
  double hz_ = 0.7853981634;
  double v_ = 1.5707963268;
  std::int32_t motorMode_ = -1;  // -1 while the controller is stopped
  double hzSpeed_ = 0;
  double vSpeed_ = 0;
  std::chrono::steady_clock::time_point motorsAdvancedAt_;
  double station_[4] = {0, 0, 0, 0};
  double searchArea_[4] = {0, 1.5707963268, 0.1, 0.1};
  bool searchEnabled_ = true;
  bool atr_ = false;
  bool lockSwitch_ = false;
  bool lockedIn_ = false;
  std::int32_t guideLight_ = 0;
  std::vector<File> files_;
  std::optional<std::size_t> listed_;  // entry last listed, once set up
  bool listSetUp_ = false;
};

}  // namespace geocom

#endif
