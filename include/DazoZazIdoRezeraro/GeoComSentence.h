#ifndef DAZOZAZIDOREZERARO_GEOCOMSENTENCE_H
#define DAZOZAZIDOREZERARO_GEOCOMSENTENCE_H

#include <cstdint>
#include <memory>
#include <string>

#include "Export.h"
#include "IProtocol.h"
#include "MeasurementTypes.h"
#include "ServiceTypes.h"

namespace Core::GEOCOM {

enum TYPE : std::int32_t {
  TYPE_NONE = 0,
  TYPE_REQUEST = 1,
  TYPE_RESPONSE = 2,
};

// Return codes of a reply. Only the numeric value matters to the library.
enum GRC_TYPE : std::int32_t {
  GRC_OK = 0,
  GRC_UNDEFINED = 1,
  GRC_IVPARAM = 2,
  GRC_IVRESULT = 3,
  GRC_FATAL = 4,
  GRC_NOT_IMPL = 5,
  GRC_TIME_OUT = 6,
};

// One sentence of the ASCII protocol: a request composed for sending, or a
// sentence recognised in received bytes. Packers neither read nor change the
// object; decoders only read the parameter text of a recognised sentence.
class DAZOZAZIDOREZERARO_EXPORT GeoComSentence : public IProtocol {
 public:
  // Object, copying and accessors.
  GeoComSentence();
  // Composes the request for the procedure with an empty parameter text.
  explicit GeoComSentence(unsigned short procedure);
  GeoComSentence(const GeoComSentence& other);
  GeoComSentence& operator=(const GeoComSentence& other);
  ~GeoComSentence() override;

  bool CreateMessageFromBuffer(const unsigned char* buffer, int length,
                               int& lastByteIndex) override;
  void GetBuffer(const unsigned char*& data, int& length) const override;
  // The clone's unterminated-reply flag is false.
  std::shared_ptr<IProtocol> Copy() override;

  TYPE GetType() const;
  unsigned short GetGeocomID() const;
  unsigned short GetRetCode() const;
  unsigned short GetSequenceID() const;
  std::string GetStringCommand() const;
  std::string GetGeocomCommand();
  static void ResetSequenceID();

  // Arms, once, acceptance of a reply that the buffer's end cuts off.
  void SetAcceptUnterminatedReply(bool accept);
  bool GetAcceptUnterminatedReply() const;

  // Composition.
  bool CreateRequest(unsigned short procedure);
  bool CreateRequest(unsigned short procedure, std::string parameters);
  bool CreateReply(unsigned short sequence, GRC_TYPE returnCode,
                   std::string parameters);

  // Reply time-out in milliseconds for the procedure number held.
  int GetTimeout() const;
  bool isResponseMessageValid() const;

  // Scalar packers.
  std::string Pack(short value) const;
  std::string Pack(unsigned short value) const;
  std::string Pack(int value) const;
  std::string Pack(unsigned int value) const;
  std::string Pack(long value, double number, bool flag) const;
  std::string Pack(double value) const;
  std::string Pack(std::string text) const;
  std::string Pack(const char* text) const;
  std::string Pack(BAP_ATRSETTING value) const;
  std::string Pack(COM_TPS_STARTUP_MODE value) const;
  std::string Pack(COM_TPS_STOP_MODE value) const;
  std::string Pack(MOT_MODE value) const;
  std::string Pack(MOT_STOPMODE value) const;
  std::string Pack(ON_OFF_TYPE value) const;
  std::string Pack(bool value) const;

  // Primitive decoders. The positional forms read the field at the caller's
  // cursor and advance it; the single-argument forms read the first field.
  bool unPack(unsigned char& value, unsigned short& cursor) const;
  bool unPack(unsigned char& value) const;
  bool unPack(short& value, unsigned short& cursor) const;
  bool unPack(short& value) const;
  bool unPack(unsigned short& value, unsigned short& cursor) const;
  bool unPack(unsigned short& value) const;
  bool unPack(int& value, unsigned short& cursor) const;
  bool unPack(int& value) const;
  bool unPack(unsigned int& value, unsigned short& cursor) const;
  bool unPack(unsigned int& value) const;
  bool unPack(long& value, unsigned short& cursor) const;
  bool unPack(long& value) const;
  bool unPack(unsigned long& value, unsigned short& cursor) const;
  bool unPack(unsigned long& value) const;
  bool unPack(double& value, unsigned short& cursor) const;
  bool unPack(double& value) const;
  bool unPack(std::string& value, unsigned short& cursor) const;
  bool unPack(std::string& value) const;
  void UnPack(unsigned short& number, std::string& text) const;
  bool UnPackInterfacePort(int& port) const;
  bool UnPackCSVAuthenticationParam(int& parameter) const;
  bool UnPack(double& value) const;
  bool UnPackTMCStationID(std::string& stationId) const;

  // Measurement and motion request packers.
  std::string PackDeviceFastPositionRequest(double hz, double v,
                                            double accuracy,
                                            AUT_ATRMODE atrMode) const;
  std::string PackDevicePositionRequest(double hz, double v,
                                        AUT_POSMODE posMode,
                                        AUT_ATRMODE atrMode, bool dummy) const;
  std::string PackFineAdjustRequest(double hzRange, double vRange,
                                    bool dummy) const;
  std::string PackFineAdjustRetryRequest(double hzRange, double vRange,
                                         ATA_VISIBILITY visibility) const;
  std::string PackMotorSetVelocityRequest(double hzSpeed, double vSpeed) const;
  std::string PackSetSearchAreaRequest(double centerHz, double centerV,
                                       double rangeHz, double rangeV,
                                       bool enabled) const;
  std::string PackSetPowerSearchRangeRequest(int minimum, int maximum) const;
  std::string PackStartPowerSearchRequest(int direction, bool swing) const;
  std::string PackSetATRRequest(bool on) const;
  std::string PackSetUserLockInRequest(bool on) const;
  std::string PackGuideLightRequest(EDM_EGLINTENSITY_TYPE intensity) const;
  std::string PackStartCompensatorRequest() const;
  std::string PackStopCompenstorRequest() const;
  std::string PackGetATRRequest() const;
  std::string PackGetBatteryStatusRequest() const;
  std::string PackGetInstrumentNo() const;
  std::string PackStartLockInRequest() const;
  std::string Pack(double value1, double value2, double value3, double value4,
                   double value5, double value6, std::string text) const;
  std::string Pack(TMC_RAW_ANGLE first, TMC_RAW_ANGLE second) const;
  std::string Pack(TMC_RAW_INCLINE first, TMC_RAW_INCLINE second) const;
  std::string Pack(TMC_RAW_ANGLE firstRaw, TMC_ANGLE firstAngle,
                   TMC_RAW_ANGLE secondRaw, TMC_ANGLE secondAngle) const;

  // Measurement and motion reply decoders.
  bool UnPack(TMC_ANGLE& angle, TMC_RAW_INCLINE& rawIncline,
              TMC_RAW_ANGLE& rawAngle) const;
  bool UnPack(TMC_Ang_Switch& switches) const;
  bool UnPack(TMC_Atmos_Temperature& atmosphere) const;
  bool UnPack(TMC_Incline& incline) const;
  bool UnPack(TMC_Incline_Index& index) const;
  bool UnPack(TMC_Simple_Meas& measurement) const;
  bool UnPack(TMC_Hz_V_Ang& angles) const;
  bool UnPack(TMC_Slope_Dist_Corr& corrections) const;
  bool UnPack(TMC_Station& station) const;
  bool UnPackTMCStation(double& easting, double& northing, double& height,
                        double& instrumentHeight) const;
  bool UnPackInclinationValueResponse(double& first, double& second) const;
  bool UnPack(double& value, unsigned short& number, std::string& text) const;
  bool UnPackPowerSearchRange(int& minimum, int& maximum) const;
  bool UnPackPowerSearchWindow(AUT_SEARCH_AREA& area) const;
  bool UnPack(ON_OFF_TYPE& state) const;
  bool UnPackVisibilitySetting(BAP_ATRSETTING& setting) const;
  bool UnPackEGLIntensity(EDM_EGLINTENSITY_TYPE& intensity) const;
  bool UnPackGetATRResponse(bool& on) const;
  bool UnPackGetLPSwitch(bool& on) const;
  bool UnPackLockInStatusResponse(MOT_LOCK_STATUS& status) const;
  void UnPack(ATA_CALIB& calibration, ATA_ZERO_COORD& zero,
              ATA_TEMP_GRAD& gradient) const;
  void UnPack(AUT_CALPAR& parameters) const;

  // Service, port and file request packers.
  std::string PackCsvSetupList(CSV_DEVICETYPE device,
                               CSV_OBJECTTYPE object) const;
  std::string PackCsvDelete2(CSV_DEVICETYPE device, CSV_OBJECTTYPE object,
                             std::string name) const;
  std::string PackFtrSetupList(FTR_DEVICETYPE device, FTR_FILETYPE fileType,
                               std::string path) const;
  std::string PackFtrDelete(FTR_DEVICETYPE device, FTR_FILETYPE fileType,
                            FTR_MODDATE date, std::string name) const;
  std::string PackUploadObject(LOD_OBJECT object, std::string name,
                               LOD_DEVICETYPE device) const;
  std::string PackRequestSetDateTime(DATIME dateTime) const;
  std::string PackRequestGetInterfacePort(CSV_INTERFACE interface) const;
  std::string PackRequestConfigurePort(std::int32_t port,
                                       std::int32_t setting) const;
  std::string PackRequestPowerOnPort(std::int32_t port, bool on) const;
  std::string PackRequestSetDeviceOnPort(std::int32_t port, std::int32_t device,
                                         std::int32_t mode,
                                         std::int32_t option) const;
  std::string PackRequestSetDeviceOnPort(std::int32_t port,
                                         std::string device) const;
  std::string PackRequestSetupPortForwarding(std::int32_t from,
                                             std::int32_t to) const;
  std::string PackRequestRemovePortForwarding(std::int32_t from,
                                              std::int32_t to) const;
  std::string PackRequestSetRadio(std::string name, std::int32_t channel,
                                  std::int32_t power) const;
  std::string PackRequestEnableRCS(std::int32_t port, std::int32_t mode) const;
  std::string PackRequestDisableRCS(std::int32_t port) const;
  std::string PackRequestCSVAuthenticate(const char* password,
                                         std::int32_t parameter) const;
  std::string PackRequestCSVAuthenticateEx(const char* password,
                                           std::int32_t parameter,
                                           std::uint32_t key) const;

  // Service, device and file reply decoders.
  bool UnPack(CSV_PowerStatus& status) const;
  bool UnPack(DATE_TYPE& date) const;
  bool UnPack(TPS_Device& device) const;
  bool UnPackCsvDeviceType(std::int32_t& deviceClass,
                           std::int32_t& deviceType) const;
  bool UnPackCsvListResponse(std::string& first, std::string& second,
                             unsigned short& firstNumber,
                             unsigned short& secondNumber,
                             std::string& third) const;
  bool UnPackFtrListResponse(bool& last, FTR_DIRINFO& entry) const;
  bool UnPackGetBatteryStatusResponse(double& capacity,
                                      CSV_POWER_PATH& path) const;
  bool UnPackGetInstrumentNo(std::int32_t& serialNumber) const;
  bool UnPackGetAutomationActivity(AUT_AUTEVENT& event) const;
  bool UnPackGetSWVersionResponse(unsigned short& release,
                                  unsigned short& version,
                                  unsigned short& subversion) const;

 private:
  void Reset();
  static unsigned short TakeSequenceID();
  // Keeps a composed sentence, or empties the object when composing failed.
  bool StoreComposed(std::string sentence);
  bool CreateResponseFromBuffer(const unsigned char* buffer, int length,
                                int& lastByteIndex);
  bool CreateRequestFromBuffer(const unsigned char* buffer, int length,
                               int& lastByteIndex);
  bool ConvertHexToByte(const std::string& field, unsigned char& value) const;

  TYPE type;
  unsigned short geocomID;
  std::string command;
  unsigned short seqID;
  bool acceptUnterminatedReply;

  // The sequence number that the next composed request takes.
  static unsigned short sequenceID;
};

}  // namespace Core::GEOCOM

#endif
