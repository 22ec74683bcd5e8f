#include <DazoZazIdoRezeraro/survey/Store.h>

#include <array>
#include <utility>

namespace Core::GEOCOM::survey {
namespace {

constexpr std::array<std::pair<Outcome, std::string_view>, 5> kOutcomeNames{{
    {Outcome::kMeasured, "measured"},
    {Outcome::kNotFound, "not-found"},
    {Outcome::kOutOfTolerance, "out-of-tolerance"},
    {Outcome::kInstrumentError, "instrument-error"},
    {Outcome::kCancelled, "cancelled"},
}};

}  // namespace

std::string_view OutcomeName(Outcome outcome) {
  for (const auto& [value, name] : kOutcomeNames) {
    if (value == outcome) return name;
  }
  return "instrument-error";
}

std::optional<Outcome> ParseOutcome(std::string_view text) {
  for (const auto& [value, name] : kOutcomeNames) {
    if (name == text) return value;
  }
  return std::nullopt;
}

StoreError::StoreError(StoreErrorKind kind, const std::string& message)
    : std::runtime_error(message), kind_(kind) {}

Store::~Store() = default;

std::unique_ptr<Store> OpenStore(const std::string& location, StoreMode mode) {
  if (IsPostgresLocation(location)) return OpenPostgresStore(location, mode);
  return OpenSqliteStore(location, mode);
}

}  // namespace Core::GEOCOM::survey
