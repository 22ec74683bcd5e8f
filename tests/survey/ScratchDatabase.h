#ifndef DAZOZAZIDOREZERARO_TESTS_SURVEY_SCRATCHDATABASE_H
#define DAZOZAZIDOREZERARO_TESTS_SURVEY_SCRATCHDATABASE_H

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace surveytest {

// An SQLite file in the temporary directory, named for the test process,
// gone before and after the test with the write-ahead log and shared memory
// files beside it (a read-only reader leaves those behind).
class ScratchDatabase {
 public:
  explicit ScratchDatabase(const std::string& stem)
      : path_((std::filesystem::temp_directory_path() /
               (stem + "-" + std::to_string(::getpid()) + ".sqlite"))
                  .string()) {
    Remove();
  }
  ~ScratchDatabase() { Remove(); }
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;

  const std::string& path() const { return path_; }

 private:
  void Remove() const {
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::error_code ignored;
      std::filesystem::remove(path_ + suffix, ignored);
    }
  }

  std::string path_;
};

}  // namespace surveytest

#endif
