#ifndef DAZOZAZIDOREZERARO_SIMULATOR_ARGUMENTS_H
#define DAZOZAZIDOREZERARO_SIMULATOR_ARGUMENTS_H

#include <DazoZazIdoRezeraro/host/Catalogue.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Core::GEOCOM::simulator {

// A request's arguments by name, as the catalogue read and checked them:
// each one is there, of its type and within its range. Asking for a name
// the procedure does not have, or as another type, is a fault of the
// handler and throws std::logic_error naming the argument.
class Arguments {
 public:
  explicit Arguments(host::Fields fields) : fields_(std::move(fields)) {}

  std::int64_t Integer(std::string_view name) const;
  double Real(std::string_view name) const;
  bool Flag(std::string_view name) const;
  const std::string& Text(std::string_view name) const;
  // A byte-field argument ("10.5.24") as its byte values.
  std::vector<unsigned> Bytes(std::string_view name) const;
  // A date-and-time argument.
  DATIME DateTime(std::string_view name) const;

  const host::Fields& fields() const { return fields_; }

 private:
  template <typename Value>
  const Value& Get(std::string_view name) const;

  host::Fields fields_;
};

// Byte values as a byte-field value of a reply ("10.5.24").
std::string JoinBytes(const std::vector<unsigned>& bytes);

}  // namespace Core::GEOCOM::simulator

#endif
