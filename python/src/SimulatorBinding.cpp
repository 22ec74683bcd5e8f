#include <DazoZazIdoRezeraro/host/Capture.h>
#include <DazoZazIdoRezeraro/simulator/Faults.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>
#include <pybind11/stl.h>

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Bindings.h"
#include "Errors.h"

namespace Core::GEOCOM::python {

namespace py = pybind11;

namespace {

// The latest traffic the server's monitor has seen, at most a limit of
// records, each stamped with the seconds since the log began. The monitor
// runs on the server's thread, Python reads on its own.
class TrafficLog {
 public:
  explicit TrafficLog(std::size_t limit) : limit_(limit) {}

  // Only bytes are traffic: a connection opened or closed is not, and is
  // told on the server's thread only after the host has moved on.
  void Add(host::CaptureRecord record) {
    if (record.event != host::CaptureEvent::kBytes) return;
    record.time =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_)
            .count();
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(std::move(record));
    Trim();
  }
  std::vector<host::CaptureRecord> Take(bool clear) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<host::CaptureRecord> taken(records_.begin(), records_.end());
    if (clear) records_.clear();
    return taken;
  }
  std::size_t Limit() {
    std::lock_guard<std::mutex> lock(mutex_);
    return limit_;
  }
  void SetLimit(std::size_t limit) {
    std::lock_guard<std::mutex> lock(mutex_);
    limit_ = limit;
    Trim();
  }

 private:
  void Trim() {
    while (records_.size() > limit_) records_.pop_front();
  }

  const std::chrono::steady_clock::time_point start_ =
      std::chrono::steady_clock::now();
  std::mutex mutex_;
  std::size_t limit_;
  std::deque<host::CaptureRecord> records_;
};

py::dict PointDict(const simulator::Point& point) {
  py::dict values;
  values["easting"] = point.easting;
  values["northing"] = point.northing;
  values["height"] = point.height;
  return values;
}

// A LoopbackInstrument with its traffic log.
class InstrumentHandle {
 public:
  InstrumentHandle(simulator::LoopbackOptions options, std::size_t trafficLimit)
      : log_(std::make_shared<TrafficLog>(trafficLimit)) {
    options.server.monitor = [log = log_](host::CaptureRecord record) {
      log->Add(std::move(record));
    };
    instrument_.emplace(std::move(options));
  }

  const std::string& Address() const { return instrument_->Address(); }
  const std::string& PtyPath() const { return instrument_->PtyPath(); }

  py::dict Station() {
    const simulator::Station& station = Scene().station;
    py::dict values;
    values["id"] = station.id;
    values["easting"] = station.easting;
    values["northing"] = station.northing;
    values["height"] = station.height;
    values["instrument_height"] = station.instrumentHeight;
    values["orientation"] = station.orientation;
    return values;
  }

  // Every prism where it is now.
  py::list Prisms() {
    py::list prisms;
    const auto now = simulator::Clock::now();
    for (const simulator::Prism& prism : Scene().prisms) {
      const std::optional<simulator::Point> position =
          instrument_->Instrument().PrismAt(prism.id, now);
      py::dict values = PointDict(position.value_or(prism.position));
      values["id"] = prism.id;
      prisms.append(values);
    }
    return prisms;
  }

  py::tuple Telescope() {
    const simulator::Direction direction =
        instrument_->Instrument().TelescopeAt(simulator::Clock::now());
    return py::make_tuple(direction.hz, direction.v);
  }

  // Puts the prism at the position, standing still from now on.
  void MovePrism(const std::string& id, double easting, double northing,
                 double height) {
    const host::Result<host::Done> moved = instrument_->Control().MovePrism(
        id, simulator::Point{easting, northing, height});
    if (!moved) Raise(moved.error());
  }

  void Inject(unsigned short procedure, const std::string& fault,
              unsigned count) {
    const std::optional<simulator::FaultKind> kind =
        simulator::FindFault(fault);
    if (!kind) {
      Raise(host::Error(host::ErrorKind::kInvalidArgument,
                        "no fault is named '" + fault + "'"));
    }
    instrument_->Faults().Inject(procedure, *kind, count);
  }

  void SetFaults(const std::string& rates) {
    host::Result<simulator::FaultRates> parsed =
        rates.empty()
            ? host::Result<simulator::FaultRates>(simulator::FaultRates{})
            : simulator::ParseFaultRates(rates);
    if (!parsed) Raise(parsed.error());
    const host::Result<host::Done> set =
        instrument_->Faults().SetRates(std::move(*parsed));
    if (!set) Raise(set.error());
  }

  std::size_t TrafficLimit() { return log_->Limit(); }
  void SetTrafficLimit(std::size_t limit) { log_->SetLimit(limit); }

  py::list Traffic(bool clear) {
    py::list records;
    for (const host::CaptureRecord& record : log_->Take(clear)) {
      records.append(py::make_tuple(
          record.time.value_or(0), host::DirectionName(record.direction),
          py::bytes(record.bytes), record.note, record.fault));
    }
    return records;
  }

  py::dict Counts() const {
    const simulator::ServerCounts counts = instrument_->Counts();
    py::dict values;
    values["connections"] = counts.connections;
    values["refused"] = counts.refused;
    values["requests"] = counts.requests;
    values["idle_closed"] = counts.idleClosed;
    values["dropped_replies"] = counts.droppedReplies;
    return values;
  }

  void Stop() {
    py::gil_scoped_release release;
    instrument_.reset();
  }

  bool Running() const { return instrument_.has_value(); }

 private:
  const simulator::Scene& Scene() {
    if (!instrument_) {
      Raise(host::Error(host::ErrorKind::kClosed,
                        "the virtual instrument has stopped"));
    }
    return instrument_->Instrument().scene();
  }

  std::shared_ptr<TrafficLog> log_;
  std::optional<simulator::LoopbackInstrument> instrument_;
};

simulator::Scene ReadScene(const std::optional<std::string>& json,
                           const std::optional<std::string>& path) {
  if (json) return simulator::ParseScene(*json, "scene").value();
  if (path) return simulator::LoadScene(*path).value();
  return simulator::DefaultScene();
}

}  // namespace

void BindSimulator(py::module_& module) {
  py::class_<InstrumentHandle>(module, "Instrument")
      .def(py::init([](const std::optional<std::string>& sceneJson,
                       const std::optional<std::string>& scenePath,
                       const std::string& faults, std::uint64_t seed,
                       std::optional<double> faultTimeout,
                       std::optional<double> lateBy,
                       std::optional<double> splitPause, bool pty,
                       std::size_t trafficLimit) {
             simulator::LoopbackOptions options;
             options.scene = ReadScene(sceneJson, scenePath);
             if (!faults.empty()) {
               options.faults = simulator::ParseFaultRates(faults).value();
             }
             options.seed = seed;
             if (faultTimeout) {
               options.faultTiming.hostTimeout = std::chrono::milliseconds(
                   std::llround(*faultTimeout * 1000));
             }
             if (lateBy) {
               options.faultTiming.lateBy =
                   std::chrono::milliseconds(std::llround(*lateBy * 1000));
             }
             if (splitPause) {
               options.faultTiming.splitPause =
                   std::chrono::milliseconds(std::llround(*splitPause * 1000));
             }
             options.pty = pty;
             py::gil_scoped_release release;
             return std::make_unique<InstrumentHandle>(std::move(options),
                                                       trafficLimit);
           }),
           py::arg("scene_json"), py::arg("scene_path"), py::arg("faults"),
           py::arg("seed"), py::arg("fault_timeout"), py::arg("late_by"),
           py::arg("split_pause"), py::arg("pty"), py::arg("traffic_limit"))
      .def_property_readonly("address", &InstrumentHandle::Address)
      .def_property_readonly("pty_path", &InstrumentHandle::PtyPath)
      .def("station", &InstrumentHandle::Station)
      .def("prisms", &InstrumentHandle::Prisms)
      .def("telescope", &InstrumentHandle::Telescope)
      .def("move_prism", &InstrumentHandle::MovePrism, py::arg("prism_id"),
           py::arg("easting"), py::arg("northing"), py::arg("height"))
      .def("inject", &InstrumentHandle::Inject, py::arg("procedure"),
           py::arg("fault"), py::arg("count"))
      .def("set_faults", &InstrumentHandle::SetFaults, py::arg("rates"))
      .def("traffic", &InstrumentHandle::Traffic, py::arg("clear"))
      .def_property("traffic_limit", &InstrumentHandle::TrafficLimit,
                    &InstrumentHandle::SetTrafficLimit)
      .def("counts", &InstrumentHandle::Counts)
      .def("stop", &InstrumentHandle::Stop)
      .def_property_readonly("running", &InstrumentHandle::Running);
  module.def("fault_names", [] {
    std::vector<std::string> names;
    for (const simulator::FaultKind kind : simulator::FaultKinds()) {
      names.emplace_back(simulator::FaultName(kind));
    }
    return names;
  });
}

}  // namespace Core::GEOCOM::python
