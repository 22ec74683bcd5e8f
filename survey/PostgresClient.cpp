#include "PostgresClient.h"

#include <DazoZazIdoRezeraro/survey/Store.h>

#include <dlfcn.h>

#include <string>

namespace Core::GEOCOM::survey {
namespace {

// The client library's soname: its interface has kept this major version
// since PostgreSQL 8.0.
constexpr const char* kLibrary = "libpq.so.5";

PostgresClient Load() {
  void* library = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = ::dlerror();
    throw StoreError(StoreErrorKind::kIo,
                     std::string("the PostgreSQL client library ") + kLibrary +
                         " cannot be loaded (is libpq installed?): " +
                         (why != nullptr ? why : "unknown error"));
  }
  PostgresClient client{};
#define DAZO_POSTGRES_CLIENT_LOAD(name)                                 \
  client.name =                                                         \
      reinterpret_cast<decltype(client.name)>(::dlsym(library, #name)); \
  if (client.name == nullptr) {                                         \
    ::dlclose(library);                                                 \
    throw StoreError(                                                   \
        StoreErrorKind::kIo,                                            \
        std::string("the PostgreSQL client library ") + kLibrary +      \
            " has no " #name " (PostgreSQL 14 or later is needed)");    \
  }
  DAZO_POSTGRES_CLIENT_FUNCTIONS(DAZO_POSTGRES_CLIENT_LOAD)
#undef DAZO_POSTGRES_CLIENT_LOAD
  return client;
}

}  // namespace

const PostgresClient& Pq() {
  // Kept loaded for the life of the program; a throw leaves it unloaded, to
  // be tried again.
  static const PostgresClient client = Load();
  return client;
}

}  // namespace Core::GEOCOM::survey
