#include <DazoZazIdoRezeraro/host/BlockingSession.h>
#include <DazoZazIdoRezeraro/survey/History.h>
#include <DazoZazIdoRezeraro/survey/Job.h>
#include <DazoZazIdoRezeraro/survey/ResultFiles.h>
#include <DazoZazIdoRezeraro/survey/Round.h>
#include <DazoZazIdoRezeraro/survey/Store.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Bindings.h"

namespace Core::GEOCOM::python {

namespace py = pybind11;

namespace {

// A result as a row: the export's columns, numbers as numbers and a value
// not measured as None.
py::dict Row(const survey::TargetResult& result) {
  const std::vector<std::string>& columns = survey::ResultColumns();
  const std::vector<std::string> texts = survey::ResultRow(result);
  const auto real = [](double value) -> py::object {
    return std::isfinite(value) ? py::object(py::float_(value)) : py::none();
  };
  const auto& at = result.coordinates;
  const double nan = std::nan("");
  py::dict row;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    row[py::str(columns[i])] = py::str(texts[i]);
  }
  row["round"] = result.round;
  row["easting"] = real(at ? at->easting : nan);
  row["northing"] = real(at ? at->northing : nan);
  row["height"] = real(at ? at->height : nan);
  row["faces"] = result.faces;
  row["sets"] = result.sets;
  row["hz"] = real(result.hz);
  row["v"] = real(result.v);
  row["distance"] = real(result.distance);
  row["collimation"] = real(result.collimation);
  row["vertical_index"] = real(result.verticalIndex);
  row["hz_spread"] = real(result.hzSpread);
  row["v_spread"] = real(result.vSpread);
  row["distance_spread"] = real(result.distanceSpread);
  row["return_code"] = result.returnCode;
  return row;
}

std::optional<survey::TimePoint> Time(const std::optional<std::string>& text,
                                      const char* name) {
  if (!text) return std::nullopt;
  std::optional<survey::TimePoint> time = survey::ParseTime(*text);
  if (!time) {
    throw py::value_error(std::string(name) +
                          " must be a UTC time such as 2026-03-15T10:30:00Z");
  }
  return time;
}

// A store, opened once, read and written from Python.
class StoreHandle {
 public:
  StoreHandle(const std::string& path, bool readOnly)
      : store_(survey::OpenStore(path, readOnly
                                           ? survey::StoreMode::kReadOnly
                                           : survey::StoreMode::kReadWrite)) {}

  py::list Results(const std::optional<std::string>& target,
                   const std::optional<std::string>& since,
                   const std::optional<std::string>& until) {
    survey::ResultQuery query;
    query.target = target;
    query.since = Time(since, "since");
    query.until = Time(until, "until");
    py::list rows;
    store_->ReadResults(query, [&](const survey::TargetResult& result) {
      rows.append(Row(result));
      return true;
    });
    return rows;
  }

  // Each measured epoch from its target's reference epoch, in time order;
  // a target without a reference epoch yet has none.
  py::list Displacements(const std::optional<std::string>& target,
                         const std::optional<std::string>& since,
                         const std::optional<std::string>& until,
                         const std::optional<std::int64_t>& reference) {
    survey::ResultQuery query;
    query.target = target;
    query.since = Time(since, "since");
    query.until = Time(until, "until");
    const std::set<std::int64_t> complete = survey::CompleteRounds(*store_);
    // Each target's reference, found when its first epoch is read.
    std::map<std::string, std::optional<survey::Epoch>> references;
    py::list rows;
    survey::ReadEpochs(
        *store_, query, complete,
        [&](const std::string& id, const survey::Epoch& epoch) {
          auto found = references.find(id);
          if (found == references.end()) {
            found = references
                        .emplace(id, survey::ReferenceInStore(
                                         *store_, id, complete, reference))
                        .first;
          }
          if (!found->second) return true;
          const survey::Displacement d =
              survey::DisplacementBetween(*found->second, epoch);
          py::dict row;
          row["round"] = d.round;
          row["target"] = id;
          row["time"] = survey::FormatTime(survey::TimeOfSeconds(d.time));
          row["east"] = d.east;
          row["north"] = d.north;
          row["height"] = d.height;
          row["horizontal"] = d.horizontal;
          row["3d"] = d.spatial;
          row["reference_round"] = found->second->round;
          rows.append(row);
          return true;
        });
    return rows;
  }

  // The events a limit raised, in time order.
  py::list Events(const std::optional<std::string>& target,
                  const std::optional<std::string>& since,
                  const std::optional<std::string>& until) {
    survey::EventQuery query;
    query.target = target;
    query.since = Time(since, "since");
    const std::optional<survey::TimePoint> end = Time(until, "until");
    py::list rows;
    store_->ReadEvents(query, [&](const survey::Event& event) {
      const survey::TimePoint time = survey::TimeOfSeconds(event.time);
      if (end && time >= *end) return false;
      py::dict row;
      row["round"] = event.round;
      row["target"] = event.target;
      row["time"] = survey::FormatTime(time);
      row["level"] = survey::NameOf(event.level);
      row["component"] = survey::NameOf(event.component);
      row["value"] = event.value;
      row["limit"] = event.limit;
      row["unit"] =
          event.component == survey::Component::Velocity ? "m/d" : "m";
      rows.append(row);
      return true;
    });
    return rows;
  }

  py::list Rounds() {
    py::list rounds;
    store_->ReadRounds([&](const survey::RoundRecord& round) {
      py::dict row;
      row["round"] = round.id;
      row["job"] = round.start.job;
      row["instrument"] = round.start.instrument;
      row["started"] = survey::FormatTime(round.start.started);
      row["finished"] =
          round.finished
              ? py::object(py::str(survey::FormatTime(*round.finished)))
              : py::none();
      row["status"] = round.status == survey::RoundStatus::kComplete
                          ? "complete"
                          : "incomplete";
      rounds.append(row);
      return true;
    });
    return rounds;
  }

  int SchemaVersion() { return store_->SchemaVersion(); }
  survey::Store& store() { return *store_; }

 private:
  std::unique_ptr<survey::Store> store_;
};

// A job's round, measured on a blocking session of its own.
class RoundHandle {
 public:
  RoundHandle(const std::string& jobJson, const std::string& name,
              const std::optional<std::string>& instrument)
      : job_(survey::ParseJob(jobJson, name)) {
    if (instrument) job_.instrument = *instrument;
  }

  py::list Measure(StoreHandle* store) {
    survey::RoundPlan plan = job_.plan;
    std::vector<survey::TargetResult> results;
    survey::RoundResult round;
    {
      py::gil_scoped_release released;
      host::BlockingSession session =
          host::BlockingSession::Connect(job_.instrument);
      if (store != nullptr) {
        store->store().RegisterTargets(plan.targets);
        plan.round = store->store().BeginRound(
            {job_.name, job_.instrument, std::chrono::system_clock::now()});
      }
      round = survey::MeasureRound(session, plan,
                                   [&](const survey::TargetResult& result) {
                                     if (store != nullptr)
                                       store->store().RecordTarget(result);
                                   });
      if (store != nullptr) {
        store->store().FinishRound(plan.round, round.status, round.finished);
      }
    }
    py::list rows;
    for (const survey::TargetResult& result : round.targets) {
      rows.append(Row(result));
    }
    complete_ = round.status == survey::RoundStatus::kComplete;
    message_ = round.message;
    return rows;
  }

  std::vector<std::string> Targets() const {
    std::vector<std::string> ids;
    for (const survey::Target& target : job_.plan.targets) {
      ids.push_back(target.id);
    }
    return ids;
  }

  const survey::Job& job() const { return job_; }
  bool complete() const { return complete_; }
  const std::string& message() const { return message_; }

 private:
  survey::Job job_;
  bool complete_ = false;
  std::string message_;
};

}  // namespace

void BindSurvey(py::module_& module) {
  static py::exception<survey::JobError> jobError(module, "JobError",
                                                  PyExc_ValueError);
  static py::exception<survey::StoreError> storeError(module, "StoreError",
                                                      PyExc_OSError);
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const survey::JobError& error) {
      jobError(error.what());
    } catch (const survey::StoreError& error) {
      storeError(error.what());
    }
  });

  module.attr("RESULT_COLUMNS") = survey::ResultColumns();

  py::class_<StoreHandle>(module, "Store")
      .def(py::init<const std::string&, bool>(), py::arg("path"),
           py::arg("read_only") = false)
      .def("results", &StoreHandle::Results, py::arg("target") = py::none(),
           py::arg("since") = py::none(), py::arg("until") = py::none())
      .def("displacements", &StoreHandle::Displacements,
           py::arg("target") = py::none(), py::arg("since") = py::none(),
           py::arg("until") = py::none(), py::arg("reference") = py::none())
      .def("events", &StoreHandle::Events, py::arg("target") = py::none(),
           py::arg("since") = py::none(), py::arg("until") = py::none())
      .def("rounds", &StoreHandle::Rounds)
      .def_property_readonly("schema_version", &StoreHandle::SchemaVersion);

  py::class_<RoundHandle>(module, "Round")
      .def(py::init<const std::string&, const std::string&,
                    const std::optional<std::string>&>(),
           py::arg("job_json"), py::arg("name"),
           py::arg("instrument") = py::none())
      .def("measure", &RoundHandle::Measure, py::arg("store") = nullptr)
      .def_property_readonly("targets", &RoundHandle::Targets)
      .def_property_readonly("complete", &RoundHandle::complete)
      .def_property_readonly("message", &RoundHandle::message)
      .def_property_readonly(
          "instrument",
          [](const RoundHandle& round) { return round.job().instrument; })
      .def_property_readonly(
          "store", [](const RoundHandle& round) { return round.job().store; });
}

}  // namespace Core::GEOCOM::python
