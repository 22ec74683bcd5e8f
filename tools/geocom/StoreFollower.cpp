#include "StoreFollower.h"

#include <DazoZazIdoRezeraro/survey/History.h>

#include <boost/asio/post.hpp>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>
#include <tuple>
#include <vector>

#include "JobSeries.h"

namespace geocom {

using namespace Core::GEOCOM;
using json = nlohmann::ordered_json;

namespace {

// A SQLite store the monitor writes is read without waiting long for its
// lock: the next reading tries again.
constexpr std::chrono::milliseconds kBusyTimeout{200};

// How every SQLite database file begins.
constexpr std::string_view kSqliteHeader{"SQLite format 3\0", 16};

std::unique_ptr<survey::Store> OpenToRead(const std::string& location) {
  if (survey::IsPostgresLocation(location)) {
    return survey::OpenPostgresStore(location, survey::StoreMode::kReadOnly);
  }
  return survey::OpenSqliteStore(location, survey::StoreMode::kReadOnly,
                                 kBusyTimeout);
}

// Whether the store is only not there yet, or busy: the monitor makes it
// when it starts and holds it while it writes.
bool Transient(const std::string& location, const survey::StoreError& error) {
  if (error.kind() == survey::StoreErrorKind::kBusy) return true;
  if (survey::IsPostgresLocation(location)) {
    return error.kind() == survey::StoreErrorKind::kNotAStore;
  }
  // A file not there yet, or a database the monitor is still making
  // into a store.
  std::error_code ignored;
  const std::filesystem::path path(location);
  if (!std::filesystem::exists(path, ignored)) return true;
  if (error.kind() != survey::StoreErrorKind::kNotAStore) return false;
  std::ifstream file(path, std::ios::binary);
  std::string header(kSqliteHeader.size(), '\0');
  file.read(header.data(), static_cast<std::streamsize>(header.size()));
  return file.gcount() == 0 || header == kSqliteHeader;
}

std::string StatusMessage(const std::string& state, const std::string& text) {
  return json{{"type", "store"}, {"state", state}, {"message", text}}.dump(
      -1, ' ', false, json::error_handler_t::replace);
}

// One result or event, to skip those read at the last time seen again.
using ResultKey = std::pair<std::int64_t, std::string>;
using EventKey = std::tuple<std::int64_t, std::string, double, int, int>;

EventKey KeyOf(const survey::Event& event) {
  return {event.round, event.target, event.time, static_cast<int>(event.level),
          static_cast<int>(event.component)};
}

}  // namespace

void CheckFollowable(const std::string& location) {
  if (!survey::IsPostgresLocation(location)) {
    const std::filesystem::path path(location);
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : ".";
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
      throw survey::StoreError(
          survey::StoreErrorKind::kIo,
          location + ": cannot reach the store: no folder " + folder.string());
    }
  }
  try {
    OpenToRead(location);
  } catch (const survey::StoreError& error) {
    if (!Transient(location, error)) throw;
  }
}

// What the live view shows of the job, on its strand.
struct FollowedJob {
  FollowedJob(const survey::Job& givenJob, simulator::LiveView& givenView)
      : job(givenJob), view(givenView), series(job) {}

  void Publish(const std::string& message) {
    view.Publish(std::make_shared<const std::string>(message));
  }

  void SetStatus(const std::string& message) {
    if (message == status) return;
    status = message;
    Publish(status);
  }

  std::vector<std::string> Greeting() const {
    std::vector<std::string> messages = series.Greeting();
    messages.push_back(status);
    return messages;
  }

  const survey::Job& job;
  simulator::LiveView& view;
  JobSeries series;
  std::string status =
      StatusMessage("waiting", "the store has not been read yet");
};

namespace {

// What one reading of the store found, handed to the strand.
struct Reading {
  std::optional<survey::ReportBuilder> rebuilt;
  std::deque<survey::Event> rebuiltEvents;
  std::vector<std::pair<std::string, survey::Epoch>> epochs;
  std::vector<survey::Event> events;
  std::string status;
};

// The thread's side: the store and how far it has been read.
class StoreReader {
 public:
  explicit StoreReader(const survey::Job& job) : job_(job) {}

  Reading Read() {
    Reading reading;
    try {
      if (!store_) {
        store_ = OpenToRead(job_.store);
        rebuild_ = true;
      }
      const std::set<std::int64_t> complete = survey::CompleteRounds(*store_);
      if (rebuild_ || (!pending_.empty() && complete != complete_)) {
        Rebuild(complete, reading);
      } else {
        ReadSince(complete, reading);
      }
      complete_ = complete;
      reading.status = StatusMessage(
          "following", "showing the results in the job's store as they come");
    } catch (const survey::StoreError& error) {
      // A server that went away is connected to again; a busy store is
      // read again as it is.
      if (error.kind() != survey::StoreErrorKind::kBusy) store_.reset();
      reading = Reading();
      reading.status = StatusMessage(
          Transient(job_.store, error) ? "waiting" : "failing", error.what());
    }
    return reading;
  }

 private:
  void Rebuild(const std::set<std::int64_t>& complete, Reading& reading) {
    survey::ReportBuilder series = JobSeries::EmptySeries(job_);
    std::set<std::string> measured;
    for (const survey::Target& target : store_->Targets()) {
      if (const auto reference = survey::ReferenceInStore(
              *store_, target.id, complete, job_.referenceRound)) {
        series.SetReference(target.id, *reference);
      }
    }
    std::optional<survey::TimePoint> last;
    std::set<ResultKey> atLast;
    survey::ReadEpochs(
        *store_, {}, complete,
        [&](const std::string& target, const survey::Epoch& epoch) {
          series.Add(target, epoch);
          measured.insert(target);
          Seen(target, epoch, last, atLast);
          return true;
        });
    std::deque<survey::Event> events;
    std::optional<double> lastEvent;
    std::set<EventKey> eventsAtLast;
    store_->ReadEvents({}, [&](const survey::Event& event) {
      series.AddEvent(event);
      events.push_back(event);
      if (events.size() > JobSeries::kEventsKept) events.pop_front();
      SeenEvent(event, lastEvent, eventsAtLast);
      return true;
    });
    pending_.clear();
    referenced_.clear();
    for (const std::string& target : measured) {
      (series.Last(target) ? referenced_ : pending_).insert(target);
    }
    lastResult_ = last;
    resultsAtLast_ = std::move(atLast);
    lastEvent_ = lastEvent;
    eventsAtLast_ = std::move(eventsAtLast);
    rebuild_ = false;
    reading.rebuilt.emplace(std::move(series));
    reading.rebuiltEvents = std::move(events);
  }

  void ReadSince(const std::set<std::int64_t>& complete, Reading& reading) {
    survey::ResultQuery query;
    query.since = lastResult_;
    std::optional<survey::TimePoint> last = lastResult_;
    std::set<ResultKey> atLast = resultsAtLast_;
    std::set<std::string> pending = pending_;
    survey::ReadEpochs(
        *store_, query, complete,
        [&](const std::string& target, const survey::Epoch& epoch) {
          if (lastResult_ &&
              survey::TimeOfSeconds(epoch.time) == *lastResult_ &&
              resultsAtLast_.count({epoch.round, target}) > 0) {
            return true;
          }
          Seen(target, epoch, last, atLast);
          // A target's first epochs wait for its reference, which the
          // rounds still to end decide.
          if (referenced_.count(target) == 0) {
            pending.insert(target);
          } else {
            reading.epochs.emplace_back(target, epoch);
          }
          return true;
        });
    survey::EventQuery events;
    std::optional<double> lastEvent = lastEvent_;
    std::set<EventKey> eventsAtLast = eventsAtLast_;
    if (lastEvent_) events.since = survey::TimeOfSeconds(*lastEvent_);
    store_->ReadEvents(events, [&](const survey::Event& event) {
      if (lastEvent_ && event.time == *lastEvent_ &&
          eventsAtLast_.count(KeyOf(event)) > 0) {
        return true;
      }
      reading.events.push_back(event);
      SeenEvent(event, lastEvent, eventsAtLast);
      return true;
    });
    lastResult_ = last;
    resultsAtLast_ = std::move(atLast);
    pending_ = std::move(pending);
    lastEvent_ = lastEvent;
    eventsAtLast_ = std::move(eventsAtLast);
  }

  static void Seen(const std::string& target, const survey::Epoch& epoch,
                   std::optional<survey::TimePoint>& last,
                   std::set<ResultKey>& atLast) {
    const survey::TimePoint time = survey::TimeOfSeconds(epoch.time);
    if (!last || time > *last) {
      last = time;
      atLast.clear();
    }
    atLast.insert({epoch.round, target});
  }

  static void SeenEvent(const survey::Event& event, std::optional<double>& last,
                        std::set<EventKey>& atLast) {
    if (!last || event.time > *last) {
      last = event.time;
      atLast.clear();
    }
    atLast.insert(KeyOf(event));
  }

  const survey::Job& job_;
  std::unique_ptr<survey::Store> store_;
  bool rebuild_ = true;
  std::set<std::int64_t> complete_;
  // Targets measured with a reference, and those measured still without.
  std::set<std::string> referenced_;
  std::set<std::string> pending_;
  std::optional<survey::TimePoint> lastResult_;
  std::set<ResultKey> resultsAtLast_;
  std::optional<double> lastEvent_;
  std::set<EventKey> eventsAtLast_;
};

// Shows what a reading found; on the view's strand.
void Show(FollowedJob& followed, Reading reading) {
  followed.SetStatus(reading.status);
  std::set<std::string> changed;
  if (reading.rebuilt) {
    followed.series.Replace(std::move(*reading.rebuilt),
                            std::move(reading.rebuiltEvents));
    for (std::string& message : followed.series.Greeting()) {
      followed.Publish(message);
    }
  }
  for (const auto& [target, epoch] : reading.epochs) {
    followed.series.AddEpoch(target, epoch);
    changed.insert(target);
  }
  for (std::string& message :
       followed.series.AddEvents(std::move(changed), reading.events)) {
    followed.Publish(message);
  }
}

}  // namespace

StoreFollower::StoreFollower(const survey::Job& job, simulator::LiveView& view,
                             std::chrono::milliseconds period)
    : followed_(std::make_shared<FollowedJob>(job, view)), period_(period) {
  view.Extend({[followed = followed_](const simulator::PageRequest& request) {
                 return followed->series.Answer(request);
               },
               [followed = followed_] { return followed->Greeting(); }});
}

StoreFollower::~StoreFollower() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void StoreFollower::Start() {
  thread_ = std::thread([this] { Run(); });
}

void StoreFollower::Run() {
  StoreReader reader(followed_->job);
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    Reading reading = reader.Read();
    boost::asio::post(
        followed_->view.Executor(),
        [followed = followed_,
         reading = std::make_shared<Reading>(std::move(reading))]() mutable {
          Show(*followed, std::move(*reading));
        });
    lock.lock();
    wake_.wait_for(lock, period_, [this] { return stopping_; });
  }
}

}  // namespace geocom
