// The write-through buffer in front of a PostgreSQL store: what the server
// cannot take waits in a local SQLite store, and is written through once the
// server is back. Rounds carry keys and results are unique per round and
// target, so writing through again after a crash adds nothing twice.
// Targets go to the server pipelined, without waiting for each commit: one
// the server refuses, or that is in flight when it goes away, comes back
// from a later call and is buffered then.
#include <DazoZazIdoRezeraro/survey/Store.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

#include "PostgresStore.h"
#include "StoreSchema.h"

namespace Core::GEOCOM::survey {
namespace {

// How long writes go to the buffer before the server is tried again.
constexpr std::chrono::seconds kRetryPause(1);

class BufferedStore final : public Store {
  // First, for the deduction of its type in the methods that use it.
  /// Calls the server; on failure buffers the targets it failed before the
  /// error goes on. When the failure was only the server refusing targets
  /// sent before, now in the buffer, the call itself is made again.
  template <typename Call>
  auto OnServer(Call&& call) {
    const std::lock_guard<std::recursive_mutex> lock(mutex_);
    try {
      return call();
    } catch (const StoreError& error) {
      if (!KeepFailed(error)) throw;
    }
    try {
      return call();
    } catch (const StoreError& error) {
      KeepFailed(error);
      throw;
    }
  }

 public:
  BufferedStore(std::unique_ptr<PostgresStore> server, std::string bufferPath,
                std::function<void(const std::string&)> notice);
  BufferedStore(const BufferedStore&) = delete;
  BufferedStore& operator=(const BufferedStore&) = delete;
  ~BufferedStore() override;

  int SchemaVersion() override {
    return OnServer([&] { return server_->SchemaVersion(); });
  }
  void RegisterTargets(const std::vector<Target>& targets) override;
  std::int64_t BeginRound(const RoundStart& start) override;
  void RecordTarget(const TargetResult& result) override;
  void FinishRound(std::int64_t round, RoundStatus status,
                   TimePoint finished) override;
  void ReadResults(
      const ResultQuery& query,
      const std::function<bool(const TargetResult&)>& each) override {
    OnServer([&] { server_->ReadResults(query, each); });
  }
  void ReadRounds(
      const std::function<bool(const RoundRecord&)>& each) override {
    OnServer([&] { server_->ReadRounds(each); });
  }
  std::vector<Target> Targets() override {
    return OnServer([&] { return server_->Targets(); });
  }
  void RecordEvent(const Event& event) override;
  void ReadEvents(const EventQuery& query,
                  const std::function<bool(const Event&)>& each) override {
    OnServer([&] { server_->ReadEvents(query, each); });
  }

 private:
  /// A round this store began, under the id it handed out, until it is
  /// finished on the server.
  struct Round {
    RoundStart start;
    std::optional<std::int64_t> server;
    std::optional<std::int64_t> buffered;
    bool finished = false;
  };

  /// Writes to the server, or to the buffer while the server is away.
  template <typename ToServer, typename ToBuffer>
  void Write(ToServer&& toServer, ToBuffer&& toBuffer) {
    if (!buffer_ || WriteThrough()) {
      try {
        OnServer(toServer);
        return;
      } catch (const StoreError& error) {
        if (!server_->Lost()) throw;
      }
    }
    toBuffer();
  }
  /// Buffers the targets the server failed; when it went away, or refused
  /// a target, the buffer is opened first, saying why. True when the server
  /// is there and refused only targets now in the buffer.
  bool KeepFailed(const StoreError& error);
  /// Buffers the targets of rounds this store began; the others' errors
  /// go to their callers. True when it buffered every one.
  bool Buffer(std::vector<TargetResult> failed);
  void StartBuffering(const StoreError& error);
  /// Writes the buffer through and removes it; false while the server is
  /// still away (tried at most once a kRetryPause).
  bool WriteThrough();
  std::int64_t BufferedRound(Round& round);
  Round* Find(std::int64_t id);
  Round* FindOnServer(std::int64_t serverId);

  std::unique_ptr<PostgresStore> server_;
  std::string bufferPath_;
  std::function<void(const std::string&)> notice_;
  std::unique_ptr<Store> buffer_;
  std::chrono::steady_clock::time_point nextTry_;
  std::map<std::int64_t, Round> rounds_;
  std::int64_t lastId_ = 0;
  std::recursive_mutex mutex_;
};

BufferedStore::BufferedStore(std::unique_ptr<PostgresStore> server,
                             std::string bufferPath,
                             std::function<void(const std::string&)> notice)
    : server_(std::move(server)),
      bufferPath_(std::move(bufferPath)),
      notice_(std::move(notice)) {
  // A buffer left by a program that died while the server was away.
  if (std::filesystem::exists(bufferPath_)) {
    buffer_ = OpenSqliteStore(bufferPath_);
    WriteThrough();
  }
}

BufferedStore::~BufferedStore() {
  try {
    OnServer([&] { server_->Settle(); });
  } catch (...) {
  }
  if (!buffer_) return;
  // A last try, however recent the one before.
  nextTry_ = {};
  try {
    if (WriteThrough()) return;
  } catch (...) {
  }
  notice_("results wait in " + bufferPath_ + " for " + server_->Name() +
          "; they are written through when the store is next opened");
}

bool BufferedStore::KeepFailed(const StoreError& error) {
  std::vector<TargetResult> failed = server_->TakeFailed();
  if (!server_->Lost() && failed.empty()) return false;
  if (!buffer_) {
    StartBuffering(error);
  } else if (!server_->Lost()) {
    notice_(std::string(error.what()) + "; kept in " + bufferPath_);
  }
  return Buffer(std::move(failed)) && !server_->Lost();
}

bool BufferedStore::Buffer(std::vector<TargetResult> failed) {
  bool all = true;
  for (TargetResult& result : failed) {
    Round* round = FindOnServer(result.round);
    if (round == nullptr) {
      all = false;
      continue;
    }
    result.round = BufferedRound(*round);
    buffer_->RecordTarget(result);
  }
  return all;
}

void BufferedStore::StartBuffering(const StoreError& error) {
  notice_(std::string(error.what()) + "; buffering into " + bufferPath_ +
          (server_->Lost() ? " until the server is back"
                           : " until the server takes it"));
  buffer_ = OpenSqliteStore(bufferPath_);
  nextTry_ = std::chrono::steady_clock::now() + kRetryPause;
}

bool BufferedStore::WriteThrough() {
  const auto clock = std::chrono::steady_clock::now();
  if (clock < nextTry_) return false;
  nextTry_ = clock + kRetryPause;
  try {
    server_->RegisterTargets(buffer_->Targets());
    std::map<std::int64_t, std::int64_t> serverIds;
    std::vector<RoundRecord> rounds;
    buffer_->ReadRounds([&](const RoundRecord& round) {
      rounds.push_back(round);
      return true;
    });
    for (const RoundRecord& round : rounds) {
      serverIds[round.id] = server_->BeginRound(round.start);
    }
    std::size_t results = 0;
    ResultQuery everything;
    everything.observations = true;
    buffer_->ReadResults(everything, [&](const TargetResult& result) {
      TargetResult through = result;
      through.round = serverIds.at(result.round);
      server_->RecordTarget(through);
      ++results;
      return true;
    });
    buffer_->ReadEvents({}, [&](const Event& event) {
      Event through = event;
      through.round = serverIds.at(event.round);
      server_->RecordEvent(through);
      return true;
    });
    for (const RoundRecord& round : rounds) {
      if (round.finished) {
        server_->FinishRound(serverIds.at(round.id), round.status,
                             *round.finished);
      }
    }
    // Every target committed before the buffer goes.
    server_->Settle();
    for (auto it = rounds_.begin(); it != rounds_.end();) {
      Round& mine = it->second;
      if (mine.buffered) mine.server = serverIds.at(*mine.buffered);
      mine.buffered.reset();
      it = mine.finished ? rounds_.erase(it) : std::next(it);
    }
    buffer_.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::error_code ignored;
      std::filesystem::remove(bufferPath_ + suffix, ignored);
    }
    notice_("wrote " + std::to_string(results) + " buffered results from " +
            bufferPath_ + " through to " + server_->Name());
    return true;
  } catch (const StoreError& error) {
    // The buffer's own targets are in it still; live ones join them.
    Buffer(server_->TakeFailed());
    if (!server_->Lost()) {
      notice_("cannot write " + bufferPath_ + " through yet: " + error.what());
    }
    return false;
  }
}

BufferedStore::Round* BufferedStore::Find(std::int64_t id) {
  const auto it = rounds_.find(id);
  return it == rounds_.end() ? nullptr : &it->second;
}

BufferedStore::Round* BufferedStore::FindOnServer(std::int64_t serverId) {
  for (auto& [id, round] : rounds_) {
    if (round.server == serverId) return &round;
  }
  return nullptr;
}

std::int64_t BufferedStore::BufferedRound(Round& round) {
  if (!round.buffered) round.buffered = buffer_->BeginRound(round.start);
  return *round.buffered;
}

void BufferedStore::RegisterTargets(const std::vector<Target>& targets) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Write([&] { server_->RegisterTargets(targets); },
        [&] { buffer_->RegisterTargets(targets); });
}

std::int64_t BufferedStore::BeginRound(const RoundStart& start) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Round round;
  round.start = start;
  if (round.start.key.empty()) round.start.key = NewRoundKey();
  std::int64_t id = 0;
  Write(
      [&] {
        round.server = server_->BeginRound(round.start);
        id = *round.server;
      },
      [&] {
        // Numbered after every id handed out so far: the server's number
        // is only known once it is written through.
        BufferedRound(round);
        id = lastId_ + 1;
      });
  lastId_ = std::max(lastId_, id);
  rounds_[id] = std::move(round);
  return id;
}

void BufferedStore::RecordTarget(const TargetResult& result) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Round* round = Find(result.round);
  if (round == nullptr) {
    // A round begun elsewhere cannot be buffered: its caller hears of a
    // failure, as from a store that waits for each commit.
    OnServer([&] {
      server_->RecordTarget(result);
      server_->Settle();
    });
    return;
  }
  TargetResult copy = result;
  Write(
      [&] {
        if (!round->server) round->server = server_->BeginRound(round->start);
        copy.round = *round->server;
        server_->RecordTarget(copy);
      },
      [&] {
        copy.round = BufferedRound(*round);
        buffer_->RecordTarget(copy);
      });
}

void BufferedStore::FinishRound(std::int64_t id, RoundStatus status,
                                TimePoint finished) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Round* round = Find(id);
  if (round == nullptr) {
    OnServer([&] { server_->FinishRound(id, status, finished); });
    return;
  }
  Write(
      [&] {
        if (!round->server) round->server = server_->BeginRound(round->start);
        server_->FinishRound(*round->server, status, finished);
      },
      [&] { buffer_->FinishRound(BufferedRound(*round), status, finished); });
  // A round finished on the server is done with; one in the buffer waits
  // for its write-through.
  round->finished = true;
  if (!buffer_) rounds_.erase(id);
}

void BufferedStore::RecordEvent(const Event& event) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  Round* round = Find(event.round);
  if (round == nullptr) {
    OnServer([&] { server_->RecordEvent(event); });
    return;
  }
  Event copy = event;
  Write(
      [&] {
        if (!round->server) round->server = server_->BeginRound(round->start);
        copy.round = *round->server;
        server_->RecordEvent(copy);
      },
      [&] {
        copy.round = BufferedRound(*round);
        buffer_->RecordEvent(copy);
      });
}

}  // namespace

std::unique_ptr<Store> OpenBufferedStore(
    const std::string& location, const std::string& bufferPath,
    std::function<void(const std::string&)> notice) {
  if (!IsPostgresLocation(location)) return OpenStore(location);
  return std::make_unique<BufferedStore>(
      ConnectPostgresStore(location, StoreMode::kReadWrite,
                           TargetWrites::kPipelined),
      bufferPath, std::move(notice));
}

}  // namespace Core::GEOCOM::survey
