// Every procedure of the host's table gets an answer with the meaning the
// core's packers and decoders give it; those whose arguments the table
// does not describe answer 5.
#include <DazoZazIdoRezeraro/host/Catalogue.h>
#include <DazoZazIdoRezeraro/host/Fields.h>
#include <DazoZazIdoRezeraro/host/Text.h>
#include <DazoZazIdoRezeraro/simulator/VirtualInstrument.h>

#include <functional>
#include <map>

#include "Support.h"

namespace simtest {
namespace {

using namespace simulator;
using namespace host;

using Decoder = std::function<bool(const GeoComSentence&)>;
using Before = std::optional<std::pair<ProcedureId, const char*>>;

struct Entry {
  Entry(const char* p = "", Before b = {}, Decoder d = {},
        unsigned short c = GRC_OK)
      : parameters(p), before(b), decodes(std::move(d)), code(c) {}

  const char* parameters;
  Before before;    // a request made first, for a procedure that needs one
  Decoder decodes;  // a core decoder, for a reply the host's fields lack
  unsigned short code;
};

// "name=value,..." of named values, for comparing two readings of a reply.
std::string Listed(const std::optional<Fields>& values) {
  if (!values) return "(not decoded)";
  std::string text;
  for (const Field& field : *values) {
    text += field.name + "=" + FormatValue(field.value) + ",";
  }
  return text;
}

template <typename Record>
Decoder Decodes() {
  return [](const GeoComSentence& reply) {
    Record record{};
    return reply.UnPack(record);
  };
}

const std::map<ProcedureId, Entry>& Entries() {
  const auto int32 = [](bool (GeoComSentence::*decoder)(int&) const) {
    return [decoder](const GeoComSentence& reply) {
      int value = 0;
      return (reply.*decoder)(value);
    };
  };
  static const std::map<ProcedureId, Entry> entries = {
      {kNull, {}},
      {kGuideLight, {}},
      {kSetGuideLight, {"2"}},
      {kStation, {}},
      {kSetStation, {"1,2,3,1.5"}},
      {kAngleSwitches, {}},
      {kStartCompensator, {"1"}},
      {kAtmosphere, {}},
      {kStopCompensator, {"0"}},
      {kAngles, {"1"}},
      {kSimpleMeasurement, {"100,1"}},
      {kInclineIndex, {"", {}, Decodes<TMC_Incline_Index>()}},
      {kQuickDistance, {"", {}, Decodes<TMC_Simple_Meas>()}},
      {kSlopeDistanceCorrections, {}},
      {kInstrumentNumber, {}},
      {kInstrumentName, {}},
      {kSetDateTime, {"2024,'03','0f','0a','1e','00'"}},
      {kDateTime, {}},
      {kSoftwareVersion, {}},
      {kDeviceConfig, {}},
      {kPower, {}},
      {kAtrSetting,
       {"",
        {},
        [](const GeoComSentence& r) {
          BAP_ATRSETTING setting{};
          return r.UnPackVisibilitySetting(setting);
        }}},
      {kSetAtrSetting, {"1"}},
      {kObjectListSetup, {"0,0"}},
      {kObjectList,
       {"",
        {{kObjectListSetup, "0,0"}},
        [](const GeoComSentence& r) {
          std::string a, b, c;
          unsigned short m = 0, n = 0;
          return r.UnPackCsvListResponse(a, b, m, n, c);
        }}},
      {kObjectDelete, {"0,0,\"survey.gsi\""}},
      {kBatteryStatus,
       {"",
        {},
        [](const GeoComSentence& r) {
          double capacity = 0;
          CSV_POWER_PATH path{};
          return r.UnPackGetBatteryStatusResponse(capacity, path);
        }}},
      {kCalibration, {}},
      {kInterfacePort, {"0", {}, int32(&GeoComSentence::UnPackInterfacePort)}},
      {kConfigurePort, {"1,2"}},
      {kPowerOnPort, {"1,1"}},
      {kSetDeviceOnPort, {"1,\"GPS\"", {}, {}, GRC_NOT_IMPL}},
      {kDeviceType,
       {"",
        {},
        [](const GeoComSentence& r) {
          std::int32_t c = 0, t = 0;
          return r.UnPackCsvDeviceType(c, t);
        }}},
      {kSetupPortForwarding, {"1,2"}},
      {kRemovePortForwarding, {"1,2"}},
      {kSetRadio, {"\"R\",1,2"}},
      {kEnableRemoteControl, {"1,1,1,0"}},
      {kDisableRemoteControl, {"1,1,0"}},
      {kAuthenticate,
       {"\"pw\",3", {}, int32(&GeoComSentence::UnPackCSVAuthenticationParam)}},
      {kUploadObject, {"1,\"app\""}},
      {kAuthenticateWithKey,
       {"\"pw\",3,77",
        {},
        int32(&GeoComSentence::UnPackCSVAuthenticationParam)}},
      {kAutomationActivity,
       {"",
        {},
        [](const GeoComSentence& r) {
          AUT_AUTEVENT event{};
          return r.UnPackGetAutomationActivity(event);
        }}},
      {kStationId,
       {"",
        {},
        [](const GeoComSentence& r) {
          std::string id;
          return r.UnPackTMCStationID(id);
        }}},
      {kMotorStart, {"1"}},
      {kMotorStop, {"0"}},
      {kMotorVelocity, {"0.1,0", {{kMotorStart, "1"}}}},
      {kLockStatus, {}},
      {kLockIn, {}},
      {kPosition, {"0.6,1.5,0,0,0"}},
      {kChangeFace, {"0,0,0"}},
      {kSearch, {"0.1,0.1,0", {}, {}, GRC_NOT_IMPL}},
      {kFineAdjust, {"0.01,0.01,0"}},
      {kSearchArea, {}},
      {kSetSearchArea, {"0.6,1.5,0.2,0.2,1"}},
      {kPowerSearch, {"0,0"}},
      {kSetPowerSearchRange, {"0,100"}},
      {kFineAdjustRetry, {"0.01,0.01,0"}},
      {kFastPosition, {"0.6,1.5,0.01,0"}},
      {kCalibrationParameters, {}},
      {kSwitchOn, {"1"}},
      {kSetAtrState, {"1"}},
      {kAtrState, {}},
      {kSetLockState, {"1"}},
      {kLockState, {}},
      {kFirmwareUpload, {"", {}, {}, GRC_NOT_IMPL}},
      {kFileListSetup, {"0,0,\"\""}},
      {kFileList, {"0", {{kFileListSetup, "0,0,\"\""}}}},
      {kFileDelete, {"0,0,'00','00','00',\"points.txt\""}},
      {kSwitchOff, {"1"}},
  };
  return entries;
}

// Catches a procedure of the table left unanswered, a reply whose shape
// the host's or the core's decoders do not read, and a handler that
// answers where the core knows nothing of the procedure.
TEST(Procedures, EveryOneIsAnsweredAsTheDecodersReadIt) {
  const Clock::time_point t{};
  for (const Procedure& procedure : Procedures()) {
    SCOPED_TRACE(std::string(procedure.name));
    const auto entry = Entries().find(procedure.id);
    ASSERT_NE(entry, Entries().end()) << "no entry for this procedure";
    // Aimed at the prism P1, target recognition and lock switched on, the
    // search window around P1.
    Scene scene = DefaultScene();
    const Sight p1 = SightTo(scene.station, scene.prisms.at(0).position);
    scene.telescope.hz = p1.direction.hz;
    scene.telescope.v = p1.direction.v;
    VirtualInstrument instrument(scene, 0, t);
    Ask(instrument, t, kSetAtrState, "1");
    Ask(instrument, t, kSetLockState, "1");
    Ask(instrument, t, kSetSearchArea,
        FormatDouble(p1.direction.hz) + "," + FormatDouble(p1.direction.v) +
            ",0.2,0.2,1");
    if (entry->second.before) {
      Ask(instrument, t, entry->second.before->first,
          entry->second.before->second);
    }
    const GeoComSentence request =
        Request(procedure.id, entry->second.parameters);
    const GeoComSentence reply = ReplyOf(instrument.Respond(request, t));
    EXPECT_EQ(reply.GetRetCode(), entry->second.code);
    if (RequestFields(request)) {
      EXPECT_TRUE(ReplyFields(procedure.id, reply)) << reply.GetStringCommand();
    }
    if (entry->second.decodes) {
      EXPECT_TRUE(entry->second.decodes(reply)) << reply.GetStringCommand();
    }
    // A record read by the core and described by its row holds what the
    // row reads from the same reply, member for member.
    if (procedure.decode != nullptr) {
      EXPECT_EQ(Listed(procedure.decode(reply)),
                Listed(ReplyFields(procedure.id, reply)));
    }
  }
}

}  // namespace
}  // namespace simtest
