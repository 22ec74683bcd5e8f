#include <DazoZazIdoRezeraro/host/Sentences.h>
#include <DazoZazIdoRezeraro/host/Session.h>

#include <atomic>
#include <mutex>
#include <random>

#include "Numbering.h"

namespace Core::GEOCOM::host {

namespace {

// The core numbers requests from one process-wide counter that is not
// atomic: every request composed in this library takes its number here.
std::mutex& SequenceMutex() {
  static std::mutex mutex;
  return mutex;
}

// Written under the mutex.
std::atomic<std::uint64_t> restarts{0};

}  // namespace

Result<GeoComSentence> ComposeRequest(unsigned short procedure,
                                      std::string_view parameters) {
  std::uint64_t numbering = 0;
  return ComposeRequest(procedure, parameters, numbering);
}

Result<GeoComSentence> ComposeRequest(unsigned short procedure,
                                      std::string_view parameters,
                                      std::uint64_t& numbering) {
  // The sentence is composed where the result keeps it, and the result is
  // returned as it is on every way: the core's sentence can only copy.
  Result<GeoComSentence> result{std::in_place};
  if (parameters.size() > kMaxParameterBytes) {
    result = Error{
        ErrorKind::kInvalidArgument,
        "the parameters of procedure " + std::to_string(procedure) + " are " +
            std::to_string(parameters.size()) + " bytes long, more than the " +
            std::to_string(kMaxParameterBytes) + " a request may carry"};
    return result;
  }
  // A CR would end the sentence early, and the rest would reach the
  // instrument as noise.
  if (parameters.find('\r') != std::string_view::npos) {
    result = Error{ErrorKind::kInvalidArgument, "the parameters of procedure " +
                                                    std::to_string(procedure) +
                                                    " hold a CR"};
    return result;
  }
  GeoComSentence& request = *result;
  bool composed = false;
  {
    const std::lock_guard<std::mutex> lock(SequenceMutex());
    numbering = restarts.load();
    // The same bytes either way; the form without parameters feeds the
    // formatter one value fewer.
    composed = parameters.empty()
                   ? request.CreateRequest(procedure)
                   : request.CreateRequest(procedure, std::string(parameters));
  }
  if (!composed) {
    result = Error{
        ErrorKind::kInvalidArgument,
        "cannot compose a request for procedure " + std::to_string(procedure)};
  }
  return result;
}

void StartSequenceAt(unsigned short start) {
  const std::lock_guard<std::mutex> lock(SequenceMutex());
  ++restarts;
  GeoComSentence::ResetSequenceID();
  GeoComSentence discarded;
  for (unsigned taken = 0; taken < start % kSequenceNumbers; ++taken) {
    discarded.CreateRequest(0);
  }
}

std::uint64_t NumberingRestarts() { return restarts.load(); }

void StartSequenceAtRandom() {
  std::random_device seed;
  StartSequenceAt(static_cast<unsigned short>(
      std::uniform_int_distribution<unsigned>(0, kSequenceNumbers - 1)(seed)));
}

}  // namespace Core::GEOCOM::host
