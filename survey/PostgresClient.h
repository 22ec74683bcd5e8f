#ifndef DAZOZAZIDOREZERARO_SURVEY_POSTGRESCLIENT_H
#define DAZOZAZIDOREZERARO_SURVEY_POSTGRESCLIENT_H

#include <libpq-fe.h>

namespace Core::GEOCOM::survey {

// Every libpq function the PostgreSQL store calls.
// clang-format off
#define DAZO_POSTGRES_CLIENT_FUNCTIONS(X) \
  X(PQclear) \
  X(PQconnectdbParams) \
  X(PQconninfoFree) \
  X(PQconninfoParse) \
  X(PQconsumeInput) \
  X(PQenterPipelineMode) \
  X(PQerrorMessage) \
  X(PQexec) \
  X(PQexecPrepared) \
  X(PQexitPipelineMode) \
  X(PQfinish) \
  X(PQfreemem) \
  X(PQgetResult) \
  X(PQgetisnull) \
  X(PQgetvalue) \
  X(PQhost) \
  X(PQisBusy) \
  X(PQntuples) \
  X(PQpipelineStatus) \
  X(PQpipelineSync) \
  X(PQport) \
  X(PQprepare) \
  X(PQreset) \
  X(PQresultErrorField) \
  X(PQresultErrorMessage) \
  X(PQresultStatus) \
  X(PQsendQueryPrepared) \
  X(PQsetNoticeProcessor) \
  X(PQstatus)
// clang-format on

/// The PostgreSQL client library's functions, loaded when the first
/// PostgreSQL store is opened: a program that never opens one (the tool
/// decoding a capture, a monitor on SQLite) does not map libpq and the
/// twenty libraries it needs at every start.
struct PostgresClient {
#define DAZO_POSTGRES_CLIENT_MEMBER(name) decltype(&::name) name;
  DAZO_POSTGRES_CLIENT_FUNCTIONS(DAZO_POSTGRES_CLIENT_MEMBER)
#undef DAZO_POSTGRES_CLIENT_MEMBER
};

/// The loaded library; throws StoreError naming the library and why it could
/// not be loaded (not installed, a function missing), and tries again at the
/// next call.
const PostgresClient& Pq();

}  // namespace Core::GEOCOM::survey

#endif
