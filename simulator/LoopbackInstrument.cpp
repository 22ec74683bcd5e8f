#include <DazoZazIdoRezeraro/simulator/LoopbackInstrument.h>

#include <boost/asio/executor_work_guard.hpp>
#include <thread>

namespace Core::GEOCOM::simulator {

class LoopbackInstrument::Impl {
 public:
  explicit Impl(LoopbackOptions options)
      : instrument(std::move(options.scene), options.seed),
        faults(instrument, options.seed, options.faultTiming),
        control(instrument, faults),
        server(io, faults, WithRecorder(std::move(options.server), control)),
        liveView(io, control, options.liveView) {
    control.Attach(server);
    const host::Result<host::Done> rates =
        control.SetFaultRates(options.faults);
    if (!rates) throw host::SessionError(rates.error());
    address = server.ListenTcp("127.0.0.1:0").value();
    if (options.pty) ptyPath = server.OpenPty().value();
    if (!options.http.empty())
      httpAddress = liveView.Listen(options.http).value();
    thread = std::thread([this] { io.run(); });
  }

  // The traffic log sees every exchange, as well as the caller's callback.
  static ServerOptions WithRecorder(ServerOptions options,
                                    InstrumentControl& control) {
    options.exchanges = [given = std::move(options.exchanges),
                         record =
                             control.Recorder()](const Exchange& exchange) {
      record(exchange);
      if (given) given(exchange);
    };
    return options;
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
  InstrumentControl control;
  Server server;
  LiveView liveView;
  std::string address;
  std::string httpAddress;
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

InstrumentControl& LoopbackInstrument::Control() { return impl_->control; }

const std::string& LoopbackInstrument::HttpAddress() const {
  return impl_->httpAddress;
}

ServerCounts LoopbackInstrument::Counts() const {
  return impl_->server.Counts();
}

}  // namespace Core::GEOCOM::simulator
