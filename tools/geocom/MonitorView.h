// The page of a running monitor: each target's displacements over time with
// its limits, drawn as the report draws them and pushed to the browsers as
// each target is measured.
#ifndef GEOCOM_MONITORVIEW_H
#define GEOCOM_MONITORVIEW_H

#include <DazoZazIdoRezeraro/host/Result.h>
#include <DazoZazIdoRezeraro/survey/Displacement.h>
#include <DazoZazIdoRezeraro/survey/Job.h>
#include <DazoZazIdoRezeraro/survey/Limits.h>
#include <DazoZazIdoRezeraro/survey/Store.h>

#include <boost/asio/io_context.hpp>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace geocom {

struct MonitorViewState;

// Who may reach the page: loopback, unless remote names are allowed.
struct MonitorViewOptions {
  bool allowRemote = false;
  std::vector<std::string> remoteNames;
};

class MonitorView {
 public:
  // The page of the job, starting from the history in the store.
  MonitorView(boost::asio::io_context& io, const Core::GEOCOM::survey::Job& job,
              Core::GEOCOM::survey::Store& store, MonitorViewOptions options);
  ~MonitorView();
  MonitorView(const MonitorView&) = delete;
  MonitorView& operator=(const MonitorView&) = delete;

  // Listens on "HOST:PORT"; returns the bound address.
  Core::GEOCOM::host::Result<std::string> Listen(std::string_view address);

  // The target's last displacement as the job's watch has it, and the
  // events it just raised; a displacement already shown is not added again.
  void Show(const std::string& target,
            const std::optional<Core::GEOCOM::survey::Displacement>& last,
            std::vector<Core::GEOCOM::survey::Event> events);

 private:
  std::shared_ptr<MonitorViewState> state_;
};

}  // namespace geocom

#endif
