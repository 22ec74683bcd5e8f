#include <DazoZazIdoRezeraro/GeoComSentence.h>

namespace Core::GEOCOM {

namespace {

constexpr int kDefaultTimeoutMs = 1500;

// How long the instrument may take to answer each procedure, in
// milliseconds; motor, search and file operations take longest.
int TimeoutForProcedure(unsigned short procedure) {
  switch (procedure) {
    case 0:
      return 500;
    case 5235:
      return 3000;
    case 2026:
    case 2068:
    case 2113:
    case 5065:
    case 5072:
    case 5082:
    case 5083:
    case 5106:
    case 5124:
    case 5128:
    case 5129:
    case 5138:
    case 5174:
    case 5176:
    case 18007:
    case 23306:
      return 5000;
    case 5035:
    case 5224:
    case 5229:
    case 5230:
    case 5231:
    case 5233:
    case 23309:
      return 10000;
    case 2108:
    case 2117:
    case 5120:
    case 6001:
    case 6002:
    case 6004:
    case 9013:
    case 9027:
    case 9028:
    case 9037:
    case 9054:
    case 9092:
    case 9115:
    case 16007:
    case 30164:
      return 18000;
    case 5126:
    case 9029:
    case 9043:
    case 9052:
      return 60000;
    case 5234:
    case 9051:
      return 90000;
    case 5084:
    case 5232:
      return 300000;
    case 23200:
      return 900000;
    default:
      return kDefaultTimeoutMs;
  }
}

}  // namespace

int GeoComSentence::GetTimeout() const { return TimeoutForProcedure(geocomID); }

bool GeoComSentence::isResponseMessageValid() const {
  return type == TYPE_RESPONSE;
}

}  // namespace Core::GEOCOM
