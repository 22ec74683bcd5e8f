#include "Simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Procedures.h"
#include "Text.h"

namespace geocom {

using namespace Core::GEOCOM;

namespace {

constexpr double kFullCircle = 2 * 3.14159265358979323846;
// Not ready for the request in the present state (no listing set up, lock-in
// switched off, end of the listing).
constexpr GRC_TYPE kNotReady = GRC_IVRESULT;

double Normalised(double angle) {
  const double wrapped = std::fmod(angle, kFullCircle);
  return wrapped < 0 ? wrapped + kFullCircle : wrapped;
}

// The request's parameters in the reply form, so that the library's reply
// decoders read them from the first one on.
GeoComSentence Parameters(const GeoComSentence& request) {
  const std::string framed = "%R1P,0,0:0," + request.GetStringCommand() + "\r";
  GeoComSentence parameters;
  int last = 0;
  parameters.CreateMessageFromBuffer(
      reinterpret_cast<const unsigned char*>(framed.data()),
      static_cast<int>(framed.size()), last);
  return parameters;
}

}  // namespace

// The reply's parameter text, each value behind its own comma.
class Simulator::Reply {
 public:
  void Int(long long value) { text_ += "," + std::to_string(value); }
  void Double(double value) { text_ += "," + FormatDouble(value); }
  void Text(const std::string& value) { text_ += ",\"" + value + "\""; }
  void Byte(unsigned value) {
    char field[8];
    std::snprintf(field, sizeof field, ",'%02x'", value & 0xffu);
    text_ += field;
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

Simulator::Simulator()
    : clockBase_(std::time(nullptr)),
      clockSetAt_(std::chrono::steady_clock::now()),
      motorsAdvancedAt_(clockSetAt_),
      files_{{"survey.gsi", 48213, {9, 41, 7, 0}, {24, 5, 12}},
             {"points.txt", 2048, {14, 2, 55, 0}, {3, 6, 12}},
             {"station.cfg", 512, {8, 0, 0, 0}, {1, 1, 13}}} {}

std::string Simulator::Answer(const GeoComSentence& request) {
  Reply reply;
  GRC_TYPE code = GRC_OK;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++answered_;
    AdvanceMotors();
    code = Handle(request.GetGeocomID(), Parameters(request), reply);
  }
  GeoComSentence sentence;
  sentence.CreateReply(request.GetSequenceID(), code,
                       code == GRC_OK ? reply.text() : std::string());
  const unsigned char* bytes = nullptr;
  int length = 0;
  sentence.GetBuffer(bytes, length);
  return std::string(reinterpret_cast<const char*>(bytes),
                     static_cast<std::size_t>(length));
}

std::time_t Simulator::Now() const {
  const auto elapsed = std::chrono::steady_clock::now() - clockSetAt_;
  return clockBase_ +
         static_cast<std::time_t>(
             std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
}

// Under constant-speed control the telescope keeps turning between requests.
void Simulator::AdvanceMotors() {
  const auto now = std::chrono::steady_clock::now();
  const double seconds =
      std::chrono::duration<double>(now - motorsAdvancedAt_).count();
  motorsAdvancedAt_ = now;
  if (motorMode_ == MOT_OCONST) {
    hz_ = Normalised(hz_ + hzSpeed_ * seconds);
    v_ = Normalised(v_ + vSpeed_ * seconds);
  }
}

GRC_TYPE Simulator::Handle(unsigned short procedure,
                           const GeoComSentence& parameters, Reply& reply) {
  unsigned short cursor = 0;
  int number = 0;
  double value = 0;
  const auto readInt = [&]() { return parameters.unPack(number, cursor); };
  const auto readDouble = [&]() { return parameters.unPack(value, cursor); };

  switch (procedure) {
    case kNull:
      return GRC_OK;
    case kInstrumentNumber:
      reply.Int(412237);
      return GRC_OK;
    case kInstrumentName:
      reply.Text("SIMULATED-TS");
      return GRC_OK;
    case kSoftwareVersion:
      reply.Int(3);
      reply.Int(2);
      reply.Int(7);
      return GRC_OK;
    case kDeviceConfig:
      reply.Int(12);
      reply.Int(13);
      return GRC_OK;
    case kPower:
      // Drains a percent every twenty answers, down to a reserve.
      reply.Int(
          std::max<long long>(5, 100 - static_cast<long long>(answered_ / 20)));
      reply.Int(1);
      reply.Int(0);
      return GRC_OK;
    case kDateTime: {
      const std::time_t now = Now();
      std::tm parts{};
      gmtime_r(&now, &parts);
      reply.Int(parts.tm_year + 1900);
      reply.Byte(static_cast<unsigned>(parts.tm_mon + 1));
      reply.Byte(static_cast<unsigned>(parts.tm_mday));
      reply.Byte(static_cast<unsigned>(parts.tm_hour));
      reply.Byte(static_cast<unsigned>(parts.tm_min));
      reply.Byte(static_cast<unsigned>(parts.tm_sec));
      return GRC_OK;
    }
    case kSetDateTime: {
      DATE_TYPE date{};
      if (!parameters.UnPack(date)) return GRC_IVPARAM;
      // The time of day follows the three date fields.
      unsigned char skipped = 0;
      unsigned char time[3] = {0, 0, 0};
      parameters.unPack(number, cursor);
      parameters.unPack(skipped, cursor);
      parameters.unPack(skipped, cursor);
      for (unsigned char& part : time) {
        if (!parameters.unPack(part, cursor)) return GRC_IVPARAM;
      }
      std::tm parts{};
      parts.tm_year = date.year - 1900;
      parts.tm_mon = date.month - 1;
      parts.tm_mday = date.day;
      parts.tm_hour = time[0];
      parts.tm_min = time[1];
      parts.tm_sec = time[2];
      const std::tm requested = parts;
      const std::time_t set = timegm(&parts);
      // timegm normalises 31 April into 1 May: such a date is refused.
      if (set == static_cast<std::time_t>(-1) ||
          parts.tm_mday != requested.tm_mday ||
          parts.tm_mon != requested.tm_mon ||
          parts.tm_hour != requested.tm_hour ||
          parts.tm_min != requested.tm_min ||
          parts.tm_sec != requested.tm_sec) {
        return GRC_IVPARAM;
      }
      clockBase_ = set;
      clockSetAt_ = std::chrono::steady_clock::now();
      return GRC_OK;
    }
    case kAngles:
      if (!readInt()) return GRC_IVPARAM;
      reply.Double(hz_);
      reply.Double(v_);
      return GRC_OK;
    case kSimpleMeasurement:
      if (!readInt() || !readInt()) return GRC_IVPARAM;
      reply.Double(hz_);
      reply.Double(v_);
      // A wall of targets whose distance varies with the direction.
      reply.Double(std::round((150.0 + 50.0 * std::sin(hz_)) * 1e4) / 1e4);
      return GRC_OK;
    case kAtmosphere:
      reply.Double(6.58e-07);
      reply.Double(1013.25);
      reply.Double(20.5);
      reply.Double(14.0);
      return GRC_OK;
    case kStation:
      for (const double coordinate : station_) reply.Double(coordinate);
      return GRC_OK;
    case kSetStation: {
      double station[4];
      for (double& coordinate : station) {
        if (!parameters.unPack(coordinate, cursor)) return GRC_IVPARAM;
      }
      std::copy(station, station + 4, station_);
      return GRC_OK;
    }
    case kAngleSwitches:
      for (int i = 0; i < 4; ++i) reply.Int(1);
      return GRC_OK;
    case kSlopeDistanceCorrections:
      reply.Double(3.2);
      reply.Double(-0.0344);
      return GRC_OK;
    case kPosition: {
      double target[2];
      if (!parameters.unPack(target[0], cursor) ||
          !parameters.unPack(target[1], cursor)) {
        return GRC_IVPARAM;
      }
      hz_ = Normalised(target[0]);
      v_ = Normalised(target[1]);
      lockedIn_ = false;
      return GRC_OK;
    }
    case kFineAdjust:
      if (!readDouble() || !readDouble()) return GRC_IVPARAM;
      return GRC_OK;
    case kLockIn:
      if (!lockSwitch_) return kNotReady;
      lockedIn_ = true;
      return GRC_OK;
    case kSearchArea:
      for (const double field : searchArea_) reply.Double(field);
      reply.Int(searchEnabled_ ? 1 : 0);
      return GRC_OK;
    case kSetSearchArea: {
      double area[4];
      for (double& field : area) {
        if (!parameters.unPack(field, cursor)) return GRC_IVPARAM;
      }
      if (!readInt()) return GRC_IVPARAM;
      std::copy(area, area + 4, searchArea_);
      searchEnabled_ = number == 1;
      return GRC_OK;
    }
    case kMotorStart:
      if (!readInt()) return GRC_IVPARAM;
      motorMode_ = number;
      hzSpeed_ = vSpeed_ = 0;
      return GRC_OK;
    case kMotorStop:
      if (!readInt()) return GRC_IVPARAM;
      motorMode_ = -1;
      return GRC_OK;
    case kMotorVelocity: {
      double speeds[2];
      if (!parameters.unPack(speeds[0], cursor) ||
          !parameters.unPack(speeds[1], cursor)) {
        return GRC_IVPARAM;
      }
      if (motorMode_ != MOT_OCONST) return kNotReady;
      hzSpeed_ = speeds[0];
      vSpeed_ = speeds[1];
      return GRC_OK;
    }
    case kLockStatus:
      reply.Int(lockedIn_ ? MOT_LOCKED_IN : MOT_LOCKED_OUT);
      return GRC_OK;
    case kAtrState:
      reply.Int(atr_ ? 1 : 0);
      return GRC_OK;
    case kSetAtrState:
      if (!readInt()) return GRC_IVPARAM;
      atr_ = number != 0;
      return GRC_OK;
    case kLockState:
      reply.Int(lockSwitch_ ? 1 : 0);
      return GRC_OK;
    case kSetLockState:
      if (!readInt()) return GRC_IVPARAM;
      lockSwitch_ = number != 0;
      lockedIn_ = lockedIn_ && lockSwitch_;
      return GRC_OK;
    case kGuideLight:
      reply.Int(guideLight_);
      return GRC_OK;
    case kSetGuideLight:
      if (!readInt() || number < 0 || number > 3) return GRC_IVPARAM;
      guideLight_ = number;
      return GRC_OK;
    case kFileListSetup:
      if (!readInt() || !readInt()) return GRC_IVPARAM;
      listSetUp_ = true;
      listed_.reset();
      return GRC_OK;
    case kFileList: {
      if (!readInt()) return GRC_IVPARAM;
      const std::size_t index = number != 0 && listed_ ? *listed_ + 1 : 0;
      if (!listSetUp_ || index >= files_.size()) return kNotReady;
      listed_ = index;
      const File& file = files_[index];
      reply.Int(index + 1 == files_.size() ? 1 : 0);
      reply.Text(file.name);
      reply.Int(file.size);
      for (const unsigned char byte : file.modTime) reply.Byte(byte);
      for (const unsigned char byte : file.modDate) reply.Byte(byte);
      return GRC_OK;
    }
    case kFileDelete: {
      std::string name;
      if (!readInt() || !readInt() || !parameters.unPack(name, cursor)) {
        return GRC_IVPARAM;
      }
      const auto kept = std::remove_if(
          files_.begin(), files_.end(),
          [&name](const File& file) { return file.name == name; });
      reply.Int(files_.end() - kept);
      files_.erase(kept, files_.end());
      listSetUp_ = false;
      listed_.reset();
      return GRC_OK;
    }
    default:
      return GRC_NOT_IMPL;
  }
}

}  // namespace geocom
