// The live view of a virtual instrument given a job: the store another
// program (the monitor) writes into is read on a thread of its own, new
// results and events since the last seen at a bounded rate, and each
// target's series is pushed over the live view's feed as it grows.
#ifndef GEOCOM_STOREFOLLOWER_H
#define GEOCOM_STOREFOLLOWER_H

#include <DazoZazIdoRezeraro/simulator/LiveView.h>
#include <DazoZazIdoRezeraro/survey/Job.h>
#include <DazoZazIdoRezeraro/survey/Store.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace geocom {

struct FollowedJob;

// Whether a store the monitor has yet to make, or that is busy, is worth
// waiting for; throws StoreError for one that can never be read (a folder
// that does not exist, a file that is not a store, a newer schema, a
// server that does not answer).
void CheckFollowable(const std::string& location);

class StoreFollower {
 public:
  // Shows the job on the view, reading its store every period once
  // started. The view must outlive the follower.
  StoreFollower(const Core::GEOCOM::survey::Job& job,
                Core::GEOCOM::simulator::LiveView& view,
                std::chrono::milliseconds period);
  // Stops reading and waits for the thread.
  ~StoreFollower();
  StoreFollower(const StoreFollower&) = delete;
  StoreFollower& operator=(const StoreFollower&) = delete;

  // Starts reading the store.
  void Start();

 private:
  void Run();

  std::shared_ptr<FollowedJob> followed_;
  const std::chrono::milliseconds period_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace geocom

#endif
