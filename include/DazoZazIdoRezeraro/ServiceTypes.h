#ifndef DAZOZAZIDOREZERARO_SERVICETYPES_H
#define DAZOZAZIDOREZERARO_SERVICETYPES_H

/// \file
/// Records and enumerations of the central-service (CSV_), file-transfer
/// (FTR_) and upload (LOD_) commands and of the instrument's date and time.
/// Like the measurement enumerations, every enumeration is 32 bits wide and
/// passes any value through.

#include <cstdint>
#include <string>

namespace Core::GEOCOM {

/// Storage devices of the central-service listing and delete commands.
enum CSV_DEVICETYPE : std::int32_t {
  CSV_DEVICE_INTERNAL = 0,  ///< Internal memory.
  CSV_DEVICE_CARD = 1,      ///< Memory card.
  CSV_DEVICE_USB = 2,       ///< USB stick.
};

/// Kinds of object the central-service commands list and delete.
enum CSV_OBJECTTYPE : std::int32_t {
  CSV_OBJECT_FILE = 0,       ///< A file.
  CSV_OBJECT_DIRECTORY = 1,  ///< A directory.
};

/// Communication interfaces of the instrument.
enum CSV_INTERFACE : std::int32_t {
  CSV_INTERFACE_SERIAL = 0,     ///< Serial line.
  CSV_INTERFACE_BLUETOOTH = 1,  ///< Bluetooth.
  CSV_INTERFACE_RADIO = 2,      ///< Radio.
  CSV_INTERFACE_NETWORK = 3,    ///< Network.
};

/// Where the instrument draws its power from.
enum CSV_POWER_PATH : std::int32_t {
  CSV_POWER_NONE = 0,      ///< No source.
  CSV_POWER_INTERNAL = 1,  ///< Internal battery.
  CSV_POWER_EXTERNAL = 2,  ///< External supply.
};

/// Storage devices of the file-transfer commands.
enum FTR_DEVICETYPE : std::int32_t {
  FTR_DEVICE_INTERNAL = 0,  ///< Internal memory.
  FTR_DEVICE_CARD = 1,      ///< Memory card.
};

/// Kinds of file the file-transfer commands list and delete.
enum FTR_FILETYPE : std::int32_t {
  FTR_FILE_UNKNOWN = 0,   ///< Any file.
  FTR_FILE_IMAGES = 170,  ///< Images.
};

/// Kinds of object an upload carries.
enum LOD_OBJECT : std::int32_t {
  LOD_OBJECT_FIRMWARE = 0,       ///< Firmware.
  LOD_OBJECT_APPLICATION = 1,    ///< An application.
  LOD_OBJECT_CONFIGURATION = 2,  ///< A configuration.
};

/// Devices an upload goes to. -1 means that no device is named: the upload
/// request then leaves the device parameter out.
enum LOD_DEVICETYPE : std::int32_t {
  LOD_DEVICE_NONE = -1,     ///< No device named; left out of the request.
  LOD_DEVICE_INTERNAL = 0,  ///< Internal memory.
  LOD_DEVICE_CARD = 1,      ///< Memory card.
};

/// A date and time to set on the instrument.
struct DATIME {
  std::uint16_t year;    ///< Year, in decimal on the wire.
  unsigned char month;   ///< Month, a hex byte on the wire.
  unsigned char day;     ///< Day, a hex byte on the wire.
  unsigned char hour;    ///< Hour, a hex byte on the wire.
  unsigned char minute;  ///< Minute, a hex byte on the wire.
  unsigned char second;  ///< Second, a hex byte on the wire.
};

/// A date the instrument reports.
struct DATE_TYPE {
  std::uint16_t year;   ///< Year.
  unsigned char month;  ///< Month, a hex byte on the wire.
  unsigned char day;    ///< Day, a hex byte on the wire.
};

/// A file's modification date: three bytes, hex bytes on the wire.
struct FTR_MODDATE {
  unsigned char parts[3];  ///< The three date bytes in wire order.
};

/// One entry of a file-transfer directory listing.
struct FTR_DIRINFO {
  std::string name;          ///< File name, quoted on the wire.
  std::uint32_t size;        ///< File size.
  unsigned char modTime[4];  ///< Modification time: four hex bytes.
  FTR_MODDATE modDate;       ///< Modification date.
};

/// The instrument's power state.
struct CSV_PowerStatus {
  std::int16_t level;         ///< Charge level.
  CSV_POWER_PATH firstPath;   ///< First power path reported.
  CSV_POWER_PATH secondPath;  ///< Second power path reported.
};

/// The instrument's device class and type.
struct TPS_Device {
  std::uint16_t deviceClass;  ///< Device class: 0 to 301 or 500 to 509.
  std::uint16_t deviceType;   ///< Device type: 0 to 32767.
};

}  // namespace Core::GEOCOM

#endif
