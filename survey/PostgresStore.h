#ifndef DAZOZAZIDOREZERARO_SURVEY_POSTGRESSTORE_H
#define DAZOZAZIDOREZERARO_SURVEY_POSTGRESSTORE_H

#include <DazoZazIdoRezeraro/survey/Store.h>

#include <memory>
#include <string>
#include <vector>

namespace Core::GEOCOM::survey {

/// The store in a PostgreSQL database, with what the write-through buffer
/// needs to know beyond the Store interface.
class PostgresStore : public Store {
 public:
  /// Whether the last failure was the server going away (connection lost,
  /// server shut down or not accepting connections) rather than a refusal.
  virtual bool Lost() const = 0;
  /// The URI with any password hidden, for messages.
  virtual const std::string& Name() const = 0;
  /// Waits for the server's answer to every target in flight; throws
  /// StoreError when it refused one or went away first.
  virtual void Settle() = 0;
  /// The targets whose writes the server refused, or went away before
  /// answering, since the last call, in the order written; the store
  /// forgets them.
  virtual std::vector<TargetResult> TakeFailed() = 0;
};

/// Whether RecordTarget waits for the commit or sends the target and
/// returns, reading the server's answer at a later call.
enum class TargetWrites { kWaitForCommit, kPipelined };

/// Opens the store; throws StoreError. With kPipelined, the failure of a
/// target already sent is thrown by a later call (or Settle) and the target
/// is then in TakeFailed(); every other method waits for the targets in
/// flight first.
std::unique_ptr<PostgresStore> ConnectPostgresStore(
    const std::string& uri, StoreMode mode,
    TargetWrites writes = TargetWrites::kWaitForCommit);

}  // namespace Core::GEOCOM::survey

#endif
