// Writes a round to a results store through the installed survey library
// and reads it back; exits non-zero if anything fails.
#include <DazoZazIdoRezeraro/survey/Store.h>

#include <unistd.h>
#include <cstdio>
#include <iostream>
#include <string>

using namespace Core::GEOCOM;

int main() {
  const std::string path =
      "/tmp/survey-consumer-" + std::to_string(::getpid()) + ".sqlite";
  int rounds = 0;
  {
    auto store = survey::OpenSqliteStore(path);
    const std::int64_t round = store->BeginRound(
        {"consumer", "none", std::chrono::system_clock::now()});
    store->FinishRound(round, survey::RoundStatus::kComplete,
                       std::chrono::system_clock::now());
    store->ReadRounds([&](const survey::RoundRecord& record) {
      rounds += record.status == survey::RoundStatus::kComplete;
      return true;
    });
  }
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::remove((path + suffix).c_str());
  }
  std::cout << "survey consumer: " << rounds << " complete round\n";
  return rounds == 1 ? 0 : 1;
}
