#ifndef DAZOZAZIDOREZERARO_PYTHON_WAITING_H
#define DAZOZAZIDOREZERARO_PYTHON_WAITING_H

#include <DazoZazIdoRezeraro/host/Result.h>
#include <pybind11/pybind11.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace Core::GEOCOM::python {

/// How often a thread that waits for a call looks for a signal (Ctrl-C).
inline constexpr std::chrono::milliseconds kSignalPollInterval{50};

/// Where a call's result meets the thread that waits for it.
template <typename T>
class Pending {
 public:
  /// Stores the result and wakes the waiting thread; any thread.
  void Complete(host::Result<T> result) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      result_.emplace(std::move(result));
    }
    done_.notify_one();
  }

  /// Waits for the result without the GIL, which the caller holds. Every
  /// kSignalPollInterval it takes the GIL to run Python's signal handlers;
  /// a handler that raises (KeyboardInterrupt) ends the wait with that
  /// exception, and the call completes later unseen.
  host::Result<T> Wait() {
    pybind11::gil_scoped_release release;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done_.wait_for(lock, kSignalPollInterval,
                           [this] { return result_.has_value(); })) {
      lock.unlock();
      {
        pybind11::gil_scoped_acquire acquire;
        if (PyErr_CheckSignals() != 0) throw pybind11::error_already_set();
      }
      lock.lock();
    }
    return std::move(*result_);
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  std::optional<host::Result<T>> result_;
};

/// Runs start(complete) without the GIL and waits as Pending::Wait does;
/// complete may be called on any thread, after the wait was interrupted too.
template <typename T, typename Start>
host::Result<T> StartAndWait(Start&& start) {
  auto pending = std::make_shared<Pending<T>>();
  {
    pybind11::gil_scoped_release release;
    start([pending](host::Result<T> result) {
      pending->Complete(std::move(result));
    });
  }
  return pending->Wait();
}

}  // namespace Core::GEOCOM::python

#endif
