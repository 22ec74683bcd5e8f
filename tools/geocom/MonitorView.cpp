#include "MonitorView.h"

#include <DazoZazIdoRezeraro/simulator/PageServer.h>

#include <boost/asio/post.hpp>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "JobSeries.h"

namespace geocom {

using namespace Core::GEOCOM;

namespace {

simulator::PageServerOptions PageOptions(const MonitorViewOptions& options) {
  simulator::PageServerOptions page;
  page.allowRemote = options.allowRemote;
  page.remoteNames = options.remoteNames;
  page.name = "monitor page";
  page.steers = "the monitor";
  page.index = "monitor.html";
  page.files = {"monitor.html", "monitor.js", "series.js", "page.css"};
  return page;
}

}  // namespace

struct MonitorViewState {
  MonitorViewState(boost::asio::io_context& io, const survey::Job& job,
                   const MonitorViewOptions& options)
      : series(job),
        server(io, PageOptions(options),
               {[this](const simulator::PageRequest& request) {
                  return series.Answer(request);
                },
                [this] { return series.Greeting(); }}) {}

  void Show(const std::string& target,
            const std::optional<survey::Displacement>& last,
            const std::vector<survey::Event>& raised) {
    std::set<std::string> changed;
    if (last && series.AddDisplacement(target, *last)) changed.insert(target);
    for (std::string& message : series.AddEvents(std::move(changed), raised)) {
      server.Broadcast(std::make_shared<const std::string>(std::move(message)));
    }
  }

  JobSeries series;
  simulator::PageServer server;
};

MonitorView::MonitorView(boost::asio::io_context& io, const survey::Job& job,
                         survey::Store& store, MonitorViewOptions options)
    : state_(std::make_shared<MonitorViewState>(io, job, options)) {
  state_->series.ReadHistory(store);
}

MonitorView::~MonitorView() { state_->server.Close(); }

host::Result<std::string> MonitorView::Listen(std::string_view address) {
  return state_->server.Listen(address);
}

void MonitorView::Show(const std::string& target,
                       const std::optional<survey::Displacement>& last,
                       std::vector<survey::Event> events) {
  boost::asio::post(state_->server.Executor(),
                    [state = state_, target, last, events = std::move(events)] {
                      state->Show(target, last, events);
                    });
}

}  // namespace geocom
