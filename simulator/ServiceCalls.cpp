#include <DazoZazIdoRezeraro/host/Requests.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "InstrumentState.h"

namespace Core::GEOCOM::simulator {

namespace {

std::string IsoText(const DATIME& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u",
                static_cast<unsigned>(t.year), t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

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

Answer State::InstrumentNumber(RequestReader&, Clock::time_point) {
  return Reply(ReplyText().Int(scene.instrument.serialNumber));
}

Answer State::InstrumentName(RequestReader&, Clock::time_point) {
  return Reply(ReplyText().Text(scene.instrument.name));
}

Answer State::SoftwareVersion(RequestReader&, Clock::time_point) {
  const InstrumentInfo& info = scene.instrument;
  return Reply(
      ReplyText().Int(info.release).Int(info.version).Int(info.subversion));
}

Answer State::DeviceConfig(RequestReader&, Clock::time_point) {
  return Reply(ReplyText()
                   .Int(scene.instrument.deviceClass)
                   .Int(scene.instrument.deviceType));
}

Answer State::Power(RequestReader&, Clock::time_point now) {
  const CSV_POWER_PATH path =
      scene.battery.external ? CSV_POWER_EXTERNAL : CSV_POWER_INTERNAL;
  return Reply(
      ReplyText()
          .Int(static_cast<std::int64_t>(std::floor(BatteryLevel(now))))
          .Int(path)
          .Int(CSV_POWER_NONE));
}

Answer State::BatteryStatus(RequestReader&, Clock::time_point now) {
  // The path as a number: exactly 1 for the internal battery.
  return Reply(ReplyText()
                   .Double(BatteryLevel(now))
                   .Double(scene.battery.external ? CSV_POWER_EXTERNAL
                                                  : CSV_POWER_INTERNAL));
}

Answer State::DateTime(RequestReader&, Clock::time_point now) {
  const DATIME t = FromSeconds(ClockSeconds(now));
  return Reply(ReplyText()
                   .Int(t.year)
                   .Byte(t.month)
                   .Byte(t.day)
                   .Byte(t.hour)
                   .Byte(t.minute)
                   .Byte(t.second));
}

Answer State::SetDateTime(RequestReader& in, Clock::time_point now) {
  std::int32_t year = 0;
  DATIME t{};
  if (!in.Int(year) || year < 0 || year > 65535 || !in.Byte(t.month) ||
      !in.Byte(t.day) || !in.Byte(t.hour) || !in.Byte(t.minute) ||
      !in.Byte(t.second)) {
    return Code(GRC_IVPARAM);
  }
  t.year = static_cast<std::uint16_t>(year);
  if (!host::CheckDateTime(t)) return Code(GRC_IVPARAM);
  clockBase_ = ToSeconds(t);
  clockSetAt_ = now;
  return Answer{};
}

// The object listing covers the files of a device: 0 internal memory,
// 1 memory card; directories and other devices list nothing.
Answer State::ObjectListSetup(RequestReader& in, Clock::time_point) {
  std::int32_t device = 0, object = 0;
  if (!in.Int(device) || !in.Int(object)) return Code(GRC_IVPARAM);
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

Answer State::ObjectList(RequestReader&, Clock::time_point) {
  if (!objectListing_ || objectCursor_ >= objectListing_->size()) {
    return Code(GRC_IVRESULT);
  }
  const StoredFile& file = files_[(*objectListing_)[objectCursor_++]];
  const bool last = objectCursor_ == objectListing_->size();
  const std::uint32_t kib = std::min<std::uint32_t>(
      65535, file.size / 1024 + (file.size % 1024 != 0 ? 1 : 0));
  return Reply(ReplyText()
                   .Text(file.name)
                   .Text(IsoText(file.modified))
                   .Int(last ? 1 : 0)
                   .Int(kib)
                   .Text("file"));
}

Answer State::ObjectDelete(RequestReader& in, Clock::time_point) {
  std::int32_t device = 0, object = 0;
  std::string name;
  if (!in.Int(device) || !in.Int(object) || !in.Text(name)) {
    return Code(GRC_IVPARAM);
  }
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

Answer State::FileListSetup(RequestReader& in, Clock::time_point) {
  std::int32_t device = 0, type = 0;
  std::string path;
  if (!in.Int(device) || !in.Int(type)) return Code(GRC_IVPARAM);
  in.Text(path);
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

Answer State::FileList(RequestReader& in, Clock::time_point) {
  std::int32_t next = 0;
  if (!in.Int(next)) return Code(GRC_IVPARAM);
  const std::size_t index = next != 0 && fileCursor_ ? *fileCursor_ + 1 : 0;
  if (!fileListing_ || index >= fileListing_->size()) {
    return Code(GRC_IVRESULT);
  }
  fileCursor_ = index;
  const StoredFile& file = files_[(*fileListing_)[index]];
  const DATIME& t = file.modified;
  return Reply(ReplyText()
                   .Int(index + 1 == fileListing_->size() ? 1 : 0)
                   .Text(file.name)
                   .Int(file.size)
                   .Byte(t.hour)
                   .Byte(t.minute)
                   .Byte(t.second)
                   .Byte(0)
                   .Byte(t.day)
                   .Byte(t.month)
                   .Byte(static_cast<unsigned>(t.year % 100)));
}

// Deletes the files of the device and type with the name (any name when
// empty) modified before the date (any date when it is 00.00.00).
Answer State::FileDelete(RequestReader& in, Clock::time_point) {
  std::int32_t device = 0, type = 0;
  unsigned char day = 0, month = 0, year = 0;
  std::string name;
  if (!in.Int(device) || !in.Int(type) || !in.Byte(day) || !in.Byte(month) ||
      !in.Byte(year) || !in.Text(name)) {
    return Code(GRC_IVPARAM);
  }
  const unsigned before = DateKey(day, month, year);
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
  return Reply(ReplyText().Int(deleted));
}

// Interfaces 0 to 3 (serial, bluetooth, radio, network) are on ports 1 to 4.
Answer State::InterfacePort(RequestReader& in, Clock::time_point) {
  std::int32_t interface = 0;
  if (!in.Int(interface) || interface < CSV_INTERFACE_SERIAL ||
      interface > CSV_INTERFACE_NETWORK) {
    return Code(GRC_IVPARAM);
  }
  return Reply(ReplyText().Int(interface + 1));
}

// The device goes by its numbers, or by its name.
Answer State::SetDeviceOnPort(RequestReader& in, Clock::time_point) {
  std::int32_t port = 0, device = 0, mode = 0, option = 0;
  std::string name;
  if (!in.Int(port)) return Code(GRC_IVPARAM);
  RequestReader byName = in;
  const bool read =
      (in.Int(device) && in.Int(mode) && in.Int(option)) || byName.Text(name);
  return read ? Answer{} : Code(GRC_IVPARAM);
}

// Any password opens; the reply gives back the parameter.
Answer State::Authenticate(RequestReader& in, Clock::time_point) {
  std::string password;
  std::int32_t parameter = 0;
  if (!in.Text(password) || !in.Int(parameter)) return Code(GRC_IVPARAM);
  return Reply(ReplyText().Int(parameter));
}

Answer State::UploadObject(RequestReader& in, Clock::time_point) {
  std::int32_t object = 0;
  std::string name;
  if (!in.Int(object) || !in.Text(name)) return Code(GRC_IVPARAM);
  return Answer{};
}

}  // namespace Core::GEOCOM::simulator
