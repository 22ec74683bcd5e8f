#ifndef DAZOZAZIDOREZERARO_GEOCOMSENTENCE_H
#define DAZOZAZIDOREZERARO_GEOCOMSENTENCE_H

/// \file
/// The sentence class: composing, recognising, packing and decoding the
/// sentences of the ASCII protocol. The one header a host includes.

#include <cstdint>
#include <memory>
#include <string>

#include "Export.h"
#include "IProtocol.h"
#include "MeasurementTypes.h"
#include "ServiceTypes.h"

/// The ASCII protocol: the sentence class and the records and enumerations of
/// the commands it packs and decodes.
namespace Core::GEOCOM {

/// What a sentence object holds.
enum TYPE : std::int32_t {
  TYPE_NONE = 0,      ///< Nothing: new, or emptied by a failed operation.
  TYPE_REQUEST = 1,   ///< A request, composed or recognised.
  TYPE_RESPONSE = 2,  ///< A reply, composed or recognised.
};

/// Return codes of a reply. Only the numeric value matters to the library,
/// which passes any 16-bit code through.
enum GRC_TYPE : std::int32_t {
  GRC_OK = 0,         ///< The procedure succeeded.
  GRC_UNDEFINED = 1,  ///< An unknown error.
  GRC_IVPARAM = 2,    ///< A parameter was invalid.
  GRC_IVRESULT = 3,   ///< The result is invalid.
  GRC_FATAL = 4,      ///< A fatal error.
  GRC_NOT_IMPL = 5,   ///< The instrument does not implement the procedure.
  GRC_TIME_OUT = 6,   ///< The procedure timed out on the instrument.
};

/// One sentence of the ASCII protocol: a request composed for sending, a
/// reply composed on the instrument's side, or a sentence recognised in
/// received bytes.
///
/// Composing stores the whole sentence, CR LF included; recognising stores
/// only the parameter text, which the decoders read. A reply's parameter text
/// starts with the comma after the return code. Packers neither read nor
/// change the object and never throw; decoders only read the parameter text.
///
/// A field is what follows a comma up to the next comma or the end of the
/// text. A positional read takes the field after the first comma at or after
/// its cursor and leaves the cursor on the comma that ends that field (or at
/// the end of the text), whether or not the field converts. An empty field
/// fails with the cursor just past its comma; with no comma left the read
/// fails and the cursor stays. Numbers are read in the classic locale, leading
/// white space skipped and whatever follows the number ignored. The cursor is
/// 16 bits wide: a text longer than 65535 bytes is walked wrongly but never
/// read outside its bytes.
class DAZOZAZIDOREZERARO_EXPORT GeoComSentence : public IProtocol {
 public:
  /// \name Object, copying and accessors
  /// @{

  /// An empty sentence (TYPE_NONE), the unterminated-reply flag off.
  GeoComSentence();
  /// Composes the request for the procedure with an empty parameter text,
  /// as CreateRequest(unsigned short) does.
  explicit GeoComSentence(unsigned short procedure);
  /// Copies everything, the unterminated-reply flag included.
  GeoComSentence(const GeoComSentence& other);
  /// Assigns everything, the unterminated-reply flag included.
  GeoComSentence& operator=(const GeoComSentence& other);
  /// Destroys the sentence.
  ~GeoComSentence() override;

  /// Recognises the first complete reply in the bytes, or else the first
  /// request; a CR alone ends a sentence and an LF right after it belongs to
  /// it. Bytes before the sentence are skipped, no byte at or beyond `length`
  /// is read, and numbers wrap modulo 65536. On success the object holds the
  /// sentence's kind, numbers and parameter text, and `lastByteIndex` is the
  /// index of its CR (or of the LF after it).
  ///
  /// When SetAcceptUnterminatedReply() armed it and no terminated reply is
  /// found, a buffer of at least 64 bytes with no "." among the parameters in
  /// its last eight bytes is taken as a reply that ends at its last byte, and
  /// the flag is disarmed. A cut before the parameters gives the numbers read
  /// so far and no text, even when the buffer holds no reply prefix at all.
  /// \return true when a sentence was recognised. On failure the object is
  /// empty (the flag kept) and `lastByteIndex` is untouched.
  bool CreateMessageFromBuffer(const unsigned char* buffer, int length,
                               int& lastByteIndex) override;
  /// Points `data` at the text held, the whole sentence when composed or the
  /// parameter text when recognised; valid until the object changes.
  void GetBuffer(const unsigned char*& data, int& length) const override;
  /// Returns a copy in a shared pointer; the clone's unterminated-reply flag
  /// is false.
  std::shared_ptr<IProtocol> Copy() override;

  /// Returns what the object holds: nothing, a request or a reply.
  TYPE GetType() const;
  /// Returns the procedure number of a request or the return code of a
  /// reply: both are kept in one 16-bit number.
  unsigned short GetGeocomID() const;
  /// Returns the same number as GetGeocomID(), named for replies.
  unsigned short GetRetCode() const;
  /// Returns the sequence number of the sentence held, 0 when empty.
  unsigned short GetSequenceID() const;
  /// Returns a copy of the text held, as GetBuffer() exposes it.
  std::string GetStringCommand() const;
  /// Returns the text held without its last two bytes (a composed sentence
  /// without its CR LF); empty when the text has fewer than three bytes.
  std::string GetGeocomCommand();
  /// Makes the next composed request, in any object, take sequence number 0.
  static void ResetSequenceID();

  /// Arms (true) or disarms (false) acceptance of one reply that the
  /// buffer's end cuts off (see CreateMessageFromBuffer()); composing and
  /// failed recognition keep the setting.
  void SetAcceptUnterminatedReply(bool accept);
  /// Returns whether acceptance of an unterminated reply is still armed.
  bool GetAcceptUnterminatedReply() const;

  /// @}
  /// \name Composition
  /// The sentence counter is process-wide: requests take 0 to 32767 in turn,
  /// then 0 again. Composing on several threads needs the host's own
  /// serialisation. A composition fails only when memory runs out; the
  /// object is then empty.
  /// @{

  /// Composes `%%R1Q,procedure,sequence:` CR LF with the next sequence number.
  /// \return true when composed; false leaves the object empty.
  bool CreateRequest(unsigned short procedure);
  /// Composes `%%R1Q,procedure,sequence:parameters` CR LF with the next
  /// sequence number; the parameters go out as they are, unescaped.
  /// \return true when composed; false leaves the object empty.
  bool CreateRequest(unsigned short procedure, std::string parameters);
  /// Composes the reply `%%R1P,0,sequence:returnCodeparameters` CR LF; the
  /// parameters start with a comma unless empty. Takes no sequence number.
  /// \return true when composed; false leaves the object empty.
  bool CreateReply(unsigned short sequence, GRC_TYPE returnCode,
                   std::string parameters);

  /// Returns how long, in milliseconds, the instrument may take to answer
  /// the procedure whose number is held (a reply holds its return code
  /// there): a value listed for each of 49 procedures, else 1500.
  int GetTimeout() const;
  /// Returns true when the object holds a reply, composed or recognised.
  bool isResponseMessageValid() const;

  /// @}
  /// \name Scalar packers
  /// Each returns a parameter text for CreateRequest(); numbers in decimal,
  /// truth values as 1 and 0, enumerations as their integer values. An empty
  /// result means that memory ran out.
  /// @{

  /// Returns the value in decimal.
  std::string Pack(short value) const;
  /// Returns the value in decimal.
  std::string Pack(unsigned short value) const;
  /// Returns the value in decimal.
  std::string Pack(int value) const;
  /// Returns the value in decimal.
  std::string Pack(unsigned int value) const;
  /// Returns `value,number,flag`: the value reduced to a 32-bit signed
  /// integer, the number with six significant digits, the flag as 1 or 0.
  std::string Pack(long value, double number, bool flag) const;
  /// Returns the value with exactly six decimals.
  std::string Pack(double value) const;
  /// Returns the text between double quotes, unescaped; `""` when even that
  /// cannot be built.
  std::string Pack(std::string text) const;
  /// Returns the text between double quotes, unescaped; a null pointer gives
  /// `""`. A literal is never taken for a truth value.
  std::string Pack(const char* text) const;
  /// Returns the setting's integer value.
  std::string Pack(BAP_ATRSETTING value) const;
  /// Returns the mode's integer value.
  std::string Pack(COM_TPS_STARTUP_MODE value) const;
  /// Returns the mode's integer value.
  std::string Pack(COM_TPS_STOP_MODE value) const;
  /// Returns the mode's integer value.
  std::string Pack(MOT_MODE value) const;
  /// Returns the mode's integer value.
  std::string Pack(MOT_STOPMODE value) const;
  /// Returns the state's integer value.
  std::string Pack(ON_OFF_TYPE value) const;
  /// Returns `1` or `0`.
  std::string Pack(bool value) const;

  /// @}
  /// \name Primitive decoders
  /// The positional forms read the field at the caller's cursor and advance
  /// it as the class description says; the single-argument forms read the
  /// field after the first comma, the first parameter of a reply.
  /// @{

  /// Reads a byte field: four characters whose middle two are hex digits.
  /// Once a field is found the value is rewritten: 0 for a field of another
  /// length, the other digit's value for one bad digit, 0 for two. Without a
  /// field it is untouched.
  /// \return true when both digits were read.
  bool unPack(unsigned char& value, unsigned short& cursor) const;
  /// Reads the first field as a byte field; see the positional form.
  bool unPack(unsigned char& value) const;
  /// Reads a signed 16-bit integer; the value changes only on success, an
  /// out-of-range number failing.
  bool unPack(short& value, unsigned short& cursor) const;
  /// Reads the first field as a signed 16-bit integer; see the positional
  /// form.
  bool unPack(short& value) const;
  /// Reads an unsigned 16-bit integer; the value changes only on success, a
  /// negative or out-of-range number failing.
  bool unPack(unsigned short& value, unsigned short& cursor) const;
  /// Reads the first field as an unsigned 16-bit integer; see the positional
  /// form.
  bool unPack(unsigned short& value) const;
  /// Reads a 32-bit integer. A field that does not convert sets the value to
  /// 0, one out of range to INT_MAX or INT_MIN; without a field it is
  /// untouched.
  /// \return true when the field converted.
  bool unPack(int& value, unsigned short& cursor) const;
  /// Reads the first field as a 32-bit integer; see the positional form.
  bool unPack(int& value) const;
  /// Reads an unsigned 32-bit integer (a negative number wraps, as stream
  /// extraction does). A field that does not convert sets the value to 0,
  /// one out of range to 4294967295; without a field it is untouched.
  /// \return true when the field converted.
  bool unPack(unsigned int& value, unsigned short& cursor) const;
  /// Reads the first field as an unsigned 32-bit integer; see the positional
  /// form.
  bool unPack(unsigned int& value) const;
  /// Reads a 32-bit signed integer whatever the platform's long; the value
  /// changes only on success.
  bool unPack(long& value, unsigned short& cursor) const;
  /// Reads the first field as a 32-bit signed integer; see the positional
  /// form.
  bool unPack(long& value) const;
  /// Reads a 32-bit unsigned integer whatever the platform's long (a negative
  /// number wraps); the value changes only on success.
  bool unPack(unsigned long& value, unsigned short& cursor) const;
  /// Reads the first field as a 32-bit unsigned integer; see the positional
  /// form.
  bool unPack(unsigned long& value) const;
  /// Reads a double. A field that does not convert sets the value to 0, one
  /// out of range to the largest finite value of its sign; without a field
  /// it is untouched.
  /// \return true when the field converted.
  bool unPack(double& value, unsigned short& cursor) const;
  /// Reads the first field as a double; see the positional form.
  bool unPack(double& value) const;
  /// Reads the characters between the next two double quotes at or after the
  /// cursor, commas included, and leaves the cursor just after the closing
  /// quote. Without both quotes, value and cursor stay as they were.
  bool unPack(std::string& value, unsigned short& cursor) const;
  /// Reads the first quoted text; see the positional form.
  bool unPack(std::string& value) const;
  /// Reads an unsigned 16-bit number, then the quoted text from where that
  /// read left the cursor; each output changes only when its own read passes.
  void UnPack(unsigned short& number, std::string& text) const;
  /// Reads the first field as a 32-bit integer, as unPack(int&) does.
  bool UnPackInterfacePort(int& port) const;
  /// Reads the first field as a 32-bit integer, as unPack(int&) does.
  bool UnPackCSVAuthenticationParam(int& parameter) const;
  /// Reads the first field as a double, as unPack(double&) does.
  bool UnPack(double& value) const;
  /// Reads the first quoted text, as unPack(std::string&) does.
  bool UnPackTMCStationID(std::string& stationId) const;

  /// @}
  /// \name Measurement and motion request packers
  /// Each returns the parameter text of one request. "Fixed" numbers go out
  /// with six decimals, the others with six significant digits; truth values
  /// as 1 and 0. An empty result from a packer that takes values means that
  /// memory ran out.
  /// @{

  /// Returns `hz,v,accuracy,atrMode`, the three angles fixed.
  std::string PackDeviceFastPositionRequest(double hz, double v,
                                            double accuracy,
                                            AUT_ATRMODE atrMode) const;
  /// Returns `hz,v,posMode,atrMode,dummy`, the two angles fixed.
  std::string PackDevicePositionRequest(double hz, double v,
                                        AUT_POSMODE posMode,
                                        AUT_ATRMODE atrMode, bool dummy) const;
  /// Returns `hzRange,vRange,dummy`, the two ranges fixed.
  std::string PackFineAdjustRequest(double hzRange, double vRange,
                                    bool dummy) const;
  /// Returns `hzRange,vRange,visibility`, the two ranges fixed.
  std::string PackFineAdjustRetryRequest(double hzRange, double vRange,
                                         ATA_VISIBILITY visibility) const;
  /// Returns `hzSpeed,vSpeed`, both fixed.
  std::string PackMotorSetVelocityRequest(double hzSpeed, double vSpeed) const;
  /// Returns `centerHz,centerV,rangeHz,rangeV,enabled`, the angles fixed.
  std::string PackSetSearchAreaRequest(double centerHz, double centerV,
                                       double rangeHz, double rangeV,
                                       bool enabled) const;
  /// Returns `minimum,maximum`.
  std::string PackSetPowerSearchRangeRequest(int minimum, int maximum) const;
  /// Returns `direction,swing`.
  std::string PackStartPowerSearchRequest(int direction, bool swing) const;
  /// Returns `1` to switch automatic target recognition on, `0` for off.
  std::string PackSetATRRequest(bool on) const;
  /// Returns `1` to switch the user's lock-in on, `0` for off.
  std::string PackSetUserLockInRequest(bool on) const;
  /// Returns the intensity's integer value.
  std::string PackGuideLightRequest(EDM_EGLINTENSITY_TYPE intensity) const;
  /// Returns `1`, the parameter that starts the compensator.
  std::string PackStartCompensatorRequest() const;
  /// Returns `0`, the parameter that stops the compensator.
  std::string PackStopCompenstorRequest() const;
  /// Returns the empty text: the query takes no parameters.
  std::string PackGetATRRequest() const;
  /// Returns the empty text: the query takes no parameters.
  std::string PackGetBatteryStatusRequest() const;
  /// Returns the empty text: the query takes no parameters.
  std::string PackGetInstrumentNo() const;
  /// Returns the empty text: the command takes no parameters.
  std::string PackStartLockInRequest() const;
  /// Returns the six values with six significant digits, then the text
  /// between double quotes, unescaped: `value1,...,value6,"text"`.
  std::string Pack(double value1, double value2, double value3, double value4,
                   double value5, double value6, std::string text) const;
  /// Returns the ten fields of two raw angles in declaration order.
  std::string Pack(TMC_RAW_ANGLE first, TMC_RAW_ANGLE second) const;
  /// Returns the twelve fields of two raw inclinations in declaration order.
  std::string Pack(TMC_RAW_INCLINE first, TMC_RAW_INCLINE second) const;
  /// Returns the 28 fields of a raw angle, an angle, a raw angle and an angle
  /// in declaration order; empty when any part fails.
  std::string Pack(TMC_RAW_ANGLE firstRaw, TMC_ANGLE firstAngle,
                   TMC_RAW_ANGLE secondRaw, TMC_ANGLE secondAngle) const;

  /// @}
  /// \name Measurement and motion reply decoders
  /// Each reads the parameter text of a reply from its first field. Unless
  /// a decoder says otherwise it stops at the first field that fails: the
  /// fields before it are stored, the failed one holds what its primitive
  /// read leaves (see the primitive decoders) and the later ones are
  /// untouched. They return true when every read and check passed.
  /// @{

  /// Reads the nine values of the angle, then the raw inclination and the
  /// raw angle (each flag a signed 16-bit value, non-zero being true). Reads
  /// every field whatever the earlier ones gave; the face and the flags
  /// change only when read. True when all twenty passed.
  bool UnPack(TMC_ANGLE& angle, TMC_RAW_INCLINE& rawIncline,
              TMC_RAW_ANGLE& rawAngle) const;
  /// Reads four corrections, each 0 or 1; a field that fails, and every
  /// field after it, is untouched.
  bool UnPack(TMC_Ang_Switch& switches) const;
  /// Reads lambda, pressure and the dry and wet temperatures.
  bool UnPack(TMC_Atmos_Temperature& atmosphere) const;
  /// Reads the cross and length inclinations, the accuracy and the time.
  bool UnPack(TMC_Incline& incline) const;
  /// Reads two doubles, as UnPackInclinationValueResponse() does.
  bool UnPack(TMC_Incline_Index& index) const;
  /// Reads the horizontal and vertical angles and the slope distance.
  bool UnPack(TMC_Simple_Meas& measurement) const;
  /// Reads two doubles, as UnPackInclinationValueResponse() does.
  bool UnPack(TMC_Hz_V_Ang& angles) const;
  /// Reads two doubles, as UnPackInclinationValueResponse() does.
  bool UnPack(TMC_Slope_Dist_Corr& corrections) const;
  /// Reads easting, northing and height; if any fails, the height becomes
  /// +infinity. The instrument height is then read from where the cursor
  /// stands, and its read alone decides the result.
  bool UnPack(TMC_Station& station) const;
  /// Reads easting, northing, height and instrument height.
  bool UnPackTMCStation(double& easting, double& northing, double& height,
                        double& instrumentHeight) const;
  /// Reads two doubles, the shape of every two-value reply.
  bool UnPackInclinationValueResponse(double& first, double& second) const;
  /// Reads a double, an unsigned 16-bit number and a quoted text.
  bool UnPack(double& value, unsigned short& number, std::string& text) const;
  /// Reads two 32-bit integers; both outputs change only when both are read.
  bool UnPackPowerSearchRange(int& minimum, int& maximum) const;
  /// Reads the four angles, then an unsigned 16-bit flag. `enabled` is
  /// always written: true only when every read passed and the flag is 1.
  bool UnPackPowerSearchWindow(AUT_SEARCH_AREA& area) const;
  /// Reads 0 or 1; anything else fails and leaves the state untouched.
  bool UnPack(ON_OFF_TYPE& state) const;
  /// Reads an unsigned 16-bit setting; always written, 0 on failure.
  bool UnPackVisibilitySetting(BAP_ATRSETTING& setting) const;
  /// Reads an unsigned 16-bit intensity; always written, 0 on failure.
  bool UnPackEGLIntensity(EDM_EGLINTENSITY_TYPE& intensity) const;
  /// Reads a signed 16-bit flag, any non-zero value being true; untouched on
  /// failure.
  bool UnPackGetATRResponse(bool& on) const;
  /// Reads a signed 16-bit flag, as UnPackGetATRResponse() does.
  bool UnPackGetLPSwitch(bool& on) const;
  /// Reads 0, 1 or 2; anything else fails and leaves the status untouched.
  bool UnPackLockInStatusResponse(MOT_LOCK_STATUS& status) const;
  /// Reads six calibration values, two zero coordinates and two gradients,
  /// trying every field whatever the earlier ones gave.
  void UnPack(ATA_CALIB& calibration, ATA_ZERO_COORD& zero,
              ATA_TEMP_GRAD& gradient) const;
  /// Reads six values, trying every field whatever the earlier ones gave.
  void UnPack(AUT_CALPAR& parameters) const;

  /// @}
  /// \name Service, port and file request packers
  /// Each returns the parameter text of one request; texts go out between
  /// double quotes, unescaped, and truth values as 1 and 0. An empty result
  /// means that memory ran out.
  /// @{

  /// Returns `device,object`.
  std::string PackCsvSetupList(CSV_DEVICETYPE device,
                               CSV_OBJECTTYPE object) const;
  /// Returns `device,object,"name"`.
  std::string PackCsvDelete2(CSV_DEVICETYPE device, CSV_OBJECTTYPE object,
                             std::string name) const;
  /// Returns `device,fileType,"path"`.
  std::string PackFtrSetupList(FTR_DEVICETYPE device, FTR_FILETYPE fileType,
                               std::string path) const;
  /// Returns `device,fileType,'dd','dd','dd',"name"`, the three date bytes as
  /// two lower-case hex digits each.
  std::string PackFtrDelete(FTR_DEVICETYPE device, FTR_FILETYPE fileType,
                            FTR_MODDATE date, std::string name) const;
  /// Returns `object,"name",device`, or `object,"name"` when the device is
  /// LOD_DEVICE_NONE.
  std::string PackUploadObject(LOD_OBJECT object, std::string name,
                               LOD_DEVICETYPE device) const;
  /// Returns the year in decimal, then month, day, hour, minute and second as
  /// quoted two-digit hex bytes: `2024,'03','0f','0a','1e','00'`.
  std::string PackRequestSetDateTime(DATIME dateTime) const;
  /// Returns the interface's integer value.
  std::string PackRequestGetInterfacePort(CSV_INTERFACE interface) const;
  /// Returns `port,setting`.
  std::string PackRequestConfigurePort(std::int32_t port,
                                       std::int32_t setting) const;
  /// Returns `port,on`.
  std::string PackRequestPowerOnPort(std::int32_t port, bool on) const;
  /// Returns `port,device,mode,option`.
  std::string PackRequestSetDeviceOnPort(std::int32_t port, std::int32_t device,
                                         std::int32_t mode,
                                         std::int32_t option) const;
  /// Returns `port,"device"`.
  std::string PackRequestSetDeviceOnPort(std::int32_t port,
                                         std::string device) const;
  /// Returns `from,to`.
  std::string PackRequestSetupPortForwarding(std::int32_t from,
                                             std::int32_t to) const;
  /// Returns `from,to`.
  std::string PackRequestRemovePortForwarding(std::int32_t from,
                                              std::int32_t to) const;
  /// Returns `"name",channel,power`.
  std::string PackRequestSetRadio(std::string name, std::int32_t channel,
                                  std::int32_t power) const;
  /// Returns `1,port,1,mode`: the first and third values are fixed, the
  /// third meaning enable.
  std::string PackRequestEnableRCS(std::int32_t port, std::int32_t mode) const;
  /// Returns `1,port,0`: the last value means disable.
  std::string PackRequestDisableRCS(std::int32_t port) const;
  /// Returns `"password",parameter`.
  std::string PackRequestCSVAuthenticate(const char* password,
                                         std::int32_t parameter) const;
  /// Returns `"password",parameter,key`.
  std::string PackRequestCSVAuthenticateEx(const char* password,
                                           std::int32_t parameter,
                                           std::uint32_t key) const;

  /// @}
  /// \name Service, device and file reply decoders
  /// Each reads the parameter text of a reply from its first field and stops
  /// at the first field that fails, as the measurement decoders do; they
  /// return true when every read and check passed.
  /// @{

  /// Clears the record, then reads the signed 16-bit level and two power
  /// paths of 0 to 2; fields not reached, the failed one included, stay 0.
  bool UnPack(CSV_PowerStatus& status) const;
  /// Reads the year (unsigned 16 bits) and the month and day as byte fields;
  /// the record is not cleared, and the failed field and those after it keep
  /// their values.
  bool UnPack(DATE_TYPE& date) const;
  /// Clears the record, then reads class and type, each unsigned 16 bits. A
  /// class outside 0 to 301 and 500 to 509, or a type above 32767, is stored
  /// and then fails the reply.
  bool UnPack(TPS_Device& device) const;
  /// Reads two 32-bit integers.
  bool UnPackCsvDeviceType(std::int32_t& deviceClass,
                           std::int32_t& deviceType) const;
  /// Reads two quoted texts, two unsigned 16-bit numbers and a quoted text;
  /// the numbers change only when read.
  bool UnPackCsvListResponse(std::string& first, std::string& second,
                             unsigned short& firstNumber,
                             unsigned short& secondNumber,
                             std::string& third) const;
  /// Reads a 32-bit flag, any non-zero number being true, then the entry:
  /// quoted name, unsigned 32-bit size, four time bytes and three date bytes
  /// (byte fields). When the flag fails, flag and entry are untouched.
  bool UnPackFtrListResponse(bool& last, FTR_DIRINFO& entry) const;
  /// Reads the capacity, then the power path as a number: exactly 1.0 means
  /// CSV_POWER_INTERNAL, any other CSV_POWER_EXTERNAL. The path changes only
  /// when both were read.
  bool UnPackGetBatteryStatusResponse(double& capacity,
                                      CSV_POWER_PATH& path) const;
  /// Reads a 32-bit signed integer; untouched on failure.
  bool UnPackGetInstrumentNo(std::int32_t& serialNumber) const;
  /// Reads a 32-bit signed integer as the event; untouched on failure.
  bool UnPackGetAutomationActivity(AUT_AUTEVENT& event) const;
  /// Reads three unsigned 16-bit numbers; each changes only when read.
  bool UnPackGetSWVersionResponse(unsigned short& release,
                                  unsigned short& version,
                                  unsigned short& subversion) const;

  /// @}

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
