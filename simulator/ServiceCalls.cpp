#include <DazoZazIdoRezeraro/host/Text.h>

#include <algorithm>
#include <cmath>

#include "InstrumentState.h"

namespace Core::GEOCOM::simulator {

namespace {

// A file's modification date as the file commands give it: day, month and
// year within the century.
unsigned DateKey(unsigned day, unsigned month, unsigned yearInCentury) {
  return yearInCentury * 10000 + month * 100 + day;
}

unsigned DateKey(const DATIME& t) {
  return DateKey(t.day, t.month, static_cast<unsigned>(t.year % 100));
}

}  // namespace

using State = InstrumentState;
using namespace host;

Answer State::InstrumentNumber(const Arguments&, Clock::time_point) {
  return Reply({{"serial_number", Whole(scene.instrument.serialNumber)}});
}

Answer State::InstrumentName(const Arguments&, Clock::time_point) {
  return Reply({{"name", scene.instrument.name}});
}

Answer State::SoftwareVersion(const Arguments&, Clock::time_point) {
  const InstrumentInfo& info = scene.instrument;
  return Reply({{"release", Whole(info.release)},
                {"version", Whole(info.version)},
                {"subversion", Whole(info.subversion)}});
}

// Answers both procedures that read the class and the type.
Answer State::DeviceConfig(const Arguments&, Clock::time_point) {
  return Reply({{"device_class", Whole(scene.instrument.deviceClass)},
                {"device_type", Whole(scene.instrument.deviceType)}});
}

Answer State::Power(const Arguments&, Clock::time_point now) {
  const CSV_POWER_PATH path =
      scene.battery.external ? CSV_POWER_EXTERNAL : CSV_POWER_INTERNAL;
  return Reply({{"level", Whole(static_cast<std::int64_t>(
                              std::floor(BatteryLevel(now))))},
                {"first_path", Whole(path)},
                {"second_path", Whole(CSV_POWER_NONE)}});
}

Answer State::BatteryStatus(const Arguments&, Clock::time_point now) {
  // The path as a number: exactly 1 for the internal battery.
  return Reply({{"level", BatteryLevel(now)},
                {"path", scene.battery.external ? double{CSV_POWER_EXTERNAL}
                                                : double{CSV_POWER_INTERNAL}}});
}

Answer State::DateTime(const Arguments&, Clock::time_point now) {
  return Reply({{"date_time", FormatDateTime(FromSeconds(ClockSeconds(now)))}});
}

Answer State::SetDateTime(const Arguments& in, Clock::time_point now) {
  clockBase_ = ToSeconds(in.DateTime("date_time"));
  clockSetAt_ = now;
  return Answer{};
}

// The object listing covers the files of a device: 0 internal memory,
// 1 memory card; directories and other devices list nothing.
Answer State::ObjectListSetup(const Arguments& in, Clock::time_point) {
  const std::int64_t device = in.Integer("device");
  const std::int64_t object = in.Integer("object_type");
  std::vector<std::size_t> listing;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (object == CSV_OBJECT_FILE && files_[i].device == device) {
      listing.push_back(i);
    }
  }
  objectListing_ = std::move(listing);
  objectCursor_ = 0;
  return Answer{};
}

Answer State::ObjectList(const Arguments&, Clock::time_point) {
  if (!objectListing_ || objectCursor_ >= objectListing_->size()) {
    return Code(GRC_IVRESULT);
  }
  const StoredFile& file = files_[(*objectListing_)[objectCursor_++]];
  const bool last = objectCursor_ == objectListing_->size();
  const std::uint32_t kib = std::min<std::uint32_t>(
      65535, file.size / 1024 + (file.size % 1024 != 0 ? 1 : 0));
  return Reply({{"name", file.name},
                {"modified", FormatDateTime(file.modified)},
                {"last", last},
                {"size", Whole(kib)},
                {"kind", std::string("file")}});
}

Answer State::ObjectDelete(const Arguments& in, Clock::time_point) {
  const std::int64_t device = in.Integer("device");
  const std::int64_t object = in.Integer("object_type");
  const std::string& name = in.Text("name");
  const auto kept =
      std::remove_if(files_.begin(), files_.end(), [&](const StoredFile& file) {
        return object == CSV_OBJECT_FILE && file.device == device &&
               file.name == name;
      });
  if (kept == files_.end()) return Code(GRC_IVPARAM);
  files_.erase(kept, files_.end());
  objectListing_.reset();
  fileListing_.reset();
  return Answer{};
}

Answer State::FileListSetup(const Arguments& in, Clock::time_point) {
  const std::int64_t device = in.Integer("device");
  const std::int64_t type = in.Integer("file_type");
  const std::string& path = in.Text("path");
  std::vector<std::size_t> listing;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    const StoredFile& file = files_[i];
    if (file.device == device &&
        (type == FTR_FILE_UNKNOWN || file.type == type) &&
        file.name.compare(0, path.size(), path) == 0) {
      listing.push_back(i);
    }
  }
  fileListing_ = std::move(listing);
  fileCursor_.reset();
  return Answer{};
}

Answer State::FileList(const Arguments& in, Clock::time_point) {
  const std::size_t index =
      in.Flag("next") && fileCursor_ ? *fileCursor_ + 1 : 0;
  if (!fileListing_ || index >= fileListing_->size()) {
    return Code(GRC_IVRESULT);
  }
  fileCursor_ = index;
  const StoredFile& file = files_[(*fileListing_)[index]];
  const DATIME& t = file.modified;
  return Reply(
      {{"last", index + 1 == fileListing_->size()},
       {"name", file.name},
       {"size", Whole(file.size)},
       {"mod_time", JoinBytes({t.hour, t.minute, t.second, 0})},
       {"mod_date",
        JoinBytes({t.day, t.month, static_cast<unsigned>(t.year % 100)})}});
}

// Deletes the files of the device and type with the name (any name when
// empty) modified before the date (any date when it is 00.00.00).
Answer State::FileDelete(const Arguments& in, Clock::time_point) {
  const std::int64_t device = in.Integer("device");
  const std::int64_t type = in.Integer("file_type");
  const std::vector<unsigned> date = in.Bytes("date");
  const std::string& name = in.Text("name");
  const unsigned before = DateKey(date.at(0), date.at(1), date.at(2));
  const auto kept =
      std::remove_if(files_.begin(), files_.end(), [&](const StoredFile& file) {
        return file.device == device &&
               (type == FTR_FILE_UNKNOWN || file.type == type) &&
               (name.empty() || file.name == name) &&
               (before == 0 || DateKey(file.modified) < before);
      });
  const auto deleted = files_.end() - kept;
  files_.erase(kept, files_.end());
  fileListing_.reset();
  objectListing_.reset();
  return Reply({{"deleted", Whole(deleted)}});
}

// Interfaces 0 to 3 (serial, bluetooth, radio, network) are on ports 1 to 4.
Answer State::InterfacePort(const Arguments& in, Clock::time_point) {
  return Reply({{"port", Whole(in.Integer("interface") + 1)}});
}

// Any password opens; the reply gives back the parameter. Answers both
// ways of authenticating.
Answer State::Authenticate(const Arguments& in, Clock::time_point) {
  return Reply({{"parameter", Whole(in.Integer("parameter"))}});
}

Answer State::UploadObject(const Arguments&, Clock::time_point) {
  return Answer{};
}

void AddServiceHandlers(Handlers& handlers) {
  handlers.insert({
      {kInstrumentNumber, &State::InstrumentNumber},
      {kInstrumentName, &State::InstrumentName},
      {kSoftwareVersion, &State::SoftwareVersion},
      {kDeviceConfig, &State::DeviceConfig},
      {kDeviceType, &State::DeviceConfig},
      {kPower, &State::Power},
      {kBatteryStatus, &State::BatteryStatus},
      {kDateTime, &State::DateTime},
      {kSetDateTime, &State::SetDateTime},
      {kObjectListSetup, &State::ObjectListSetup},
      {kObjectList, &State::ObjectList},
      {kObjectDelete, &State::ObjectDelete},
      {kFileListSetup, &State::FileListSetup},
      {kFileList, &State::FileList},
      {kFileDelete, &State::FileDelete},
      {kInterfacePort, &State::InterfacePort},
      {kAuthenticate, &State::Authenticate},
      {kAuthenticateWithKey, &State::Authenticate},
      {kUploadObject, &State::UploadObject},
  });
}

}  // namespace Core::GEOCOM::simulator
