#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <boost/asio/executor_work_guard.hpp>
#include <thread>

namespace Core::GEOCOM::simulator {

class LoopbackInstrument::Impl {
 public:
  explicit Impl(LoopbackOptions options)
      : instrument(std::move(options.scene), options.seed),
        faults(instrument, options.seed, options.faultTiming),
        server(io, faults, std::move(options.server)) {
    const host::Result<host::Done> rates = faults.SetRates(options.faults);
    if (!rates) throw host::SessionError(rates.error());
    address = server.ListenTcp("127.0.0.1:0").value();
    if (options.pty) ptyPath = server.OpenPty().value();
    thread = std::thread([this] { io.run(); });
  }

  // The server's own destructor closes what is still open, once the
  // thread no longer runs the io_context.
  ~Impl() {
    work.reset();
    io.stop();
    thread.join();
  }

  boost::asio::io_context io;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type>
      work = boost::asio::make_work_guard(io);
  VirtualInstrument instrument;
  FaultInjector faults;
  Server server;
  std::string address;
  std::string ptyPath;
  std::thread thread;
};

LoopbackInstrument::LoopbackInstrument(LoopbackOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

LoopbackInstrument::~LoopbackInstrument() = default;

const std::string& LoopbackInstrument::Address() const {
  return impl_->address;
}

const std::string& LoopbackInstrument::PtyPath() const {
  return impl_->ptyPath;
}

VirtualInstrument& LoopbackInstrument::Instrument() {
  return impl_->instrument;
}

FaultInjector& LoopbackInstrument::Faults() { return impl_->faults; }

ServerCounts LoopbackInstrument::Counts() const {
  return impl_->server.Counts();
}

}  // namespace Core::GEOCOM::simulator
