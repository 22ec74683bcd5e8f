#ifndef DAZOZAZIDOREZERARO_SERVICETYPES_H
#define DAZOZAZIDOREZERARO_SERVICETYPES_H

#include <cstdint>
#include <string>

// Records and enumerations of the central-service (CSV_), file-transfer
// (FTR_) and upload (LOD_) commands and of the instrument's date and time.
namespace Core::GEOCOM {

enum CSV_DEVICETYPE : std::int32_t {
  CSV_DEVICE_INTERNAL = 0,
  CSV_DEVICE_CARD = 1,
  CSV_DEVICE_USB = 2,
};

enum CSV_OBJECTTYPE : std::int32_t {
  CSV_OBJECT_FILE = 0,
  CSV_OBJECT_DIRECTORY = 1,
};

enum CSV_INTERFACE : std::int32_t {
  CSV_INTERFACE_SERIAL = 0,
  CSV_INTERFACE_BLUETOOTH = 1,
  CSV_INTERFACE_RADIO = 2,
  CSV_INTERFACE_NETWORK = 3,
};

enum CSV_POWER_PATH : std::int32_t {
  CSV_POWER_NONE = 0,
  CSV_POWER_INTERNAL = 1,
  CSV_POWER_EXTERNAL = 2,
};

enum FTR_DEVICETYPE : std::int32_t {
  FTR_DEVICE_INTERNAL = 0,
  FTR_DEVICE_CARD = 1,
};

enum FTR_FILETYPE : std::int32_t {
  FTR_FILE_UNKNOWN = 0,
  FTR_FILE_IMAGES = 170,
};

enum LOD_OBJECT : std::int32_t {
  LOD_OBJECT_FIRMWARE = 0,
  LOD_OBJECT_APPLICATION = 1,
  LOD_OBJECT_CONFIGURATION = 2,
};

// -1 means that no device is named: the upload request then leaves the
// device parameter out.
enum LOD_DEVICETYPE : std::int32_t {
  LOD_DEVICE_NONE = -1,
  LOD_DEVICE_INTERNAL = 0,
  LOD_DEVICE_CARD = 1,
};

struct DATIME {
  std::uint16_t year;
  unsigned char month;
  unsigned char day;
  unsigned char hour;
  unsigned char minute;
  unsigned char second;
};

struct DATE_TYPE {
  std::uint16_t year;
  unsigned char month;
  unsigned char day;
};

struct FTR_MODDATE {
  unsigned char parts[3];
};

struct FTR_DIRINFO {
  std::string name;
  std::uint32_t size;
  unsigned char modTime[4];
  FTR_MODDATE modDate;
};

struct CSV_PowerStatus {
  std::int16_t level;
  CSV_POWER_PATH firstPath;
  CSV_POWER_PATH secondPath;
};

struct TPS_Device {
  std::uint16_t deviceClass;
  std::uint16_t deviceType;
};

}  // namespace Core::GEOCOM

#endif
