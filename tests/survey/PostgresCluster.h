// One throwaway PostgreSQL cluster per test program, started by the first
// test that asks for it and removed when the program ends; tests that need
// it skip, saying why, when PostgreSQL is not installed.
#ifndef DAZOZAZIDOREZERARO_TESTS_SURVEY_POSTGRESCLUSTER_H
#define DAZOZAZIDOREZERARO_TESTS_SURVEY_POSTGRESCLUSTER_H

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace testing_postgres {

class Cluster : public testing::Environment {
 public:
  /// The cluster, started on first use; nullptr when it cannot run, with
  /// the reason in Why().
  static Cluster* Get() {
    Cluster& cluster = Instance();
    if (!cluster.tried_) cluster.Start();
    return cluster.uri_.empty() ? nullptr : &cluster;
  }
  static const std::string& Why() { return Instance().why_; }

  /// A new empty database; its URI.
  std::string NewDatabase() {
    const std::string name = "test_" + std::to_string(++databases_);
    PGconn* connection = PQconnectdb(uri_.c_str());
    PGresult* result = PQexec(connection, ("CREATE DATABASE " + name).c_str());
    const bool created = PQresultStatus(result) == PGRES_COMMAND_OK;
    const std::string error = PQerrorMessage(connection);
    PQclear(result);
    PQfinish(connection);
    if (!created) ADD_FAILURE() << "CREATE DATABASE " << name << ": " << error;
    return "postgresql:///" + name + "?host=" + directory_ + "&user=postgres";
  }
  /// Runs the SQL in the database of the URI; false on failure.
  static bool Execute(const std::string& uri, const std::string& sql) {
    PGconn* connection = PQconnectdb(uri.c_str());
    PGresult* result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    PQclear(result);
    PQfinish(connection);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  }
  /// Stops the server, keeping its data, or starts it again.
  void Halt() { Script("halt"); }
  void Resume() { Script("start"); }
  const std::string& directory() const { return directory_; }

  void TearDown() override {
    if (!directory_.empty()) Script("remove");
  }

  /// The one cluster, registered to be removed at the end of the program.
  static Cluster& Instance() {
    static Cluster* cluster = [] {
      auto* created = new Cluster;
      testing::AddGlobalTestEnvironment(created);
      return created;
    }();
    return *cluster;
  }

 private:
  void Start() {
    tried_ = true;
    char pattern[] = "/tmp/survey-pg-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
      why_ = "cannot make a folder for the cluster";
      return;
    }
    directory_ = pattern;
    const std::string command = std::string(POSTGRES_CLUSTER) + " start " +
                                directory_ + " 2>" + directory_ + ".err";
    FILE* output = ::popen(command.c_str(), "r");
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, output) != nullptr;
    const int status = ::pclose(output);
    if (!read || status != 0) {
      std::string error;
      if (FILE* log = std::fopen((directory_ + ".err").c_str(), "r")) {
        while (std::fgets(line, sizeof line, log) != nullptr) error += line;
        std::fclose(log);
      }
      why_ = WEXITSTATUS(status) == 77
                 ? "PostgreSQL is not installed: the PostgreSQL tests are "
                   "skipped (" +
                       error + ")"
                 : "the PostgreSQL cluster did not start: " + error;
      if (WEXITSTATUS(status) != 77) ADD_FAILURE() << why_;
      Script("remove");
      directory_.clear();
    } else {
      uri_ = line;
      while (!uri_.empty() && uri_.back() == '\n') uri_.pop_back();
    }
    std::filesystem::remove(std::string(pattern) + ".err");
  }

  void Script(const char* command) {
    const std::string line = std::string(POSTGRES_CLUSTER) + " " + command +
                             " " + directory_ + " >/dev/null";
    if (std::system(line.c_str()) != 0) {
      ADD_FAILURE() << line << " failed";
    }
  }

  bool tried_ = false;
  std::string directory_;
  std::string uri_;
  std::string why_;
  int databases_ = 0;
};

inline const bool kClusterRegistered = (Cluster::Instance(), true);

}  // namespace testing_postgres

#endif
