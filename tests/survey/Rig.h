#ifndef DAZOZAZIDOREZERARO_TESTS_SURVEY_RIG_H
#define DAZOZAZIDOREZERARO_TESTS_SURVEY_RIG_H

#include <DazoZazIdoRezeraro/simulator/Geometry.h>
#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>
#include <DazoZazIdoRezeraro/survey/Round.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/use_future.hpp>
#include <thread>
#include <vector>

namespace surveytest {

using namespace Core::GEOCOM;

// A station and prisms around it in every quadrant, up and down hill, with
// quick motion and measurement and no noise.
inline simulator::Scene MonitoringScene() {
  simulator::Scene scene;
  scene.station = {"PILLAR", 1000.0, 2000.0, 100.0, 1.5, 0.3};
  scene.prisms = {
      {"A", {1030.0, 2040.0, 106.6}, {}, {}, {}, 0},
      {"B", {960.0, 2025.0, 99.0}, {}, {}, {}, 0},
      {"C", {1080.0, 1950.0, 95.5}, {}, {}, {}, 0},
      {"D", {985.0, 1940.0, 112.0}, {}, {}, {}, 0},
  };
  scene.telescope.maxSpeed = 100;
  scene.edm.measureTime = 0;
  return scene;
}

// The survey station of a scene.
inline survey::Station StationOf(const simulator::Scene& scene) {
  const simulator::Station& s = scene.station;
  return {s.easting, s.northing, s.height, s.instrumentHeight, s.orientation};
}

// A plan measuring every prism of the scene from its coordinates.
inline survey::RoundPlan PlanFor(const simulator::Scene& scene, int faces) {
  survey::RoundPlan plan;
  plan.station = StationOf(scene);
  for (const simulator::Prism& prism : scene.prisms) {
    survey::Target target;
    target.id = prism.id;
    target.coordinates = survey::Coordinates{
        prism.position.easting, prism.position.northing, prism.position.height};
    target.faces = faces;
    plan.targets.push_back(target);
  }
  return plan;
}

// A virtual instrument and an asynchronous session to it, on an io_context
// run by threads of the rig's own.
class Rig {
 public:
  explicit Rig(const simulator::Scene& scene, int threads = 1)
      : instrument_(Options(scene)), work_(io_.get_executor()) {
    for (int i = 0; i < threads; ++i)
      threads_.emplace_back([this] { io_.run(); });
    session_ = Connect();
  }
  ~Rig() {
    session_.Close();
    work_.reset();
    for (std::thread& thread : threads_) thread.join();
  }

  host::Session Connect() {
    return host::Session::AsyncConnect(io_.get_executor(),
                                       instrument_.Address(), {},
                                       boost::asio::use_future)
        .get();
  }

  survey::RoundResult Measure(survey::RoundPlan plan,
                              survey::TargetHandler progress = {}) {
    return survey::AsyncMeasureRound(session_, std::move(plan),
                                     std::move(progress),
                                     boost::asio::use_future)
        .get();
  }

  simulator::LoopbackInstrument& instrument() { return instrument_; }
  host::Session& session() { return session_; }
  boost::asio::io_context& io() { return io_; }

 private:
  static simulator::LoopbackOptions Options(const simulator::Scene& scene) {
    simulator::LoopbackOptions options;
    options.scene = scene;
    options.seed = 7;
    return options;
  }

  simulator::LoopbackInstrument instrument_;
  boost::asio::io_context io_;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type>
      work_;
  std::vector<std::thread> threads_;
  host::Session session_;
};

}  // namespace surveytest

#endif
