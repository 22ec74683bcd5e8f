#include <DazoZazIdoRezeraro/GeoComSentence.h>
#include <gtest/gtest.h>

#include <map>
#include <vector>

using Core::GEOCOM::GeoComSentence;
using Core::GEOCOM::GRC_TYPE;

// Every 16-bit number through a reply, which holds its return code where a
// request holds its procedure; the time-out looks only at that number.
TEST(ReplyTimeout, EveryListedProcedureAndTheDefaultForAllOthers) {
  const std::map<int, std::vector<unsigned short>> table = {
      {500, {0}},
      {3000, {5235}},
      {5000,
       {2026, 2068, 2113, 5065, 5072, 5082, 5083, 5106, 5124, 5128, 5129, 5138,
        5174, 5176, 18007, 23306}},
      {10000, {5035, 5224, 5229, 5230, 5231, 5233, 23309}},
      {18000,
       {2108, 2117, 5120, 6001, 6002, 6004, 9013, 9027, 9028, 9037, 9054, 9092,
        9115, 16007, 30164}},
      {60000, {5126, 9029, 9043, 9052}},
      {90000, {5234, 9051}},
      {300000, {5084, 5232}},
      {900000, {23200}},
  };
  std::map<unsigned, int> expected;
  for (const auto& [milliseconds, procedures] : table) {
    for (unsigned short procedure : procedures) {
      expected[procedure] = milliseconds;
    }
  }
  ASSERT_EQ(expected.size(), 49u);
  for (unsigned procedure = 0; procedure <= 65535; ++procedure) {
    const auto listed = expected.find(procedure);
    const int want = listed == expected.end() ? 1500 : listed->second;
    GeoComSentence sentence;
    sentence.CreateReply(0, static_cast<GRC_TYPE>(procedure), "");
    ASSERT_EQ(sentence.GetTimeout(), want) << procedure;
  }
  EXPECT_EQ(GeoComSentence().GetTimeout(), 500);
  EXPECT_EQ(GeoComSentence(2068).GetTimeout(), 5000);
}
