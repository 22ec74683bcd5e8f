#ifndef DAZOZAZIDOREZERARO_SURVEY_POSTGRESSTORE_H
#define DAZOZAZIDOREZERARO_SURVEY_POSTGRESSTORE_H

#include <DazoZazIdoRezeraro/survey/Store.h>

#include <memory>
#include <string>

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
};

/// Opens the store; throws StoreError.
std::unique_ptr<PostgresStore> ConnectPostgresStore(const std::string& uri,
                                                    StoreMode mode);

}  // namespace Core::GEOCOM::survey

#endif
