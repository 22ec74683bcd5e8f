#ifndef DAZOZAZIDOREZERARO_HOST_SESSIONSERVICE_H
#define DAZOZAZIDOREZERARO_HOST_SESSIONSERVICE_H

#include <algorithm>
#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/execution_context.hpp>
#include <memory>
#include <mutex>
#include <vector>

namespace Core::GEOCOM::host {

// Tells the sessions of an execution context that it is being destroyed, so
// that a session that outlives its context drops its I/O objects while
// their services still exist, instead of touching freed memory later.
class SessionService final : public boost::asio::execution_context::service {
 public:
  // What the service tells.
  class Member {
   public:
    virtual void ContextGone() = 0;

   protected:
    virtual ~Member() = default;
  };

  using key_type = SessionService;
  static inline boost::asio::execution_context::id id;

  explicit SessionService(boost::asio::execution_context& context)
      : service(context) {}

  static SessionService& Of(const boost::asio::any_io_executor& executor) {
    return boost::asio::use_service<SessionService>(boost::asio::query(
        executor, boost::asio::execution::context));
  }

  void Add(std::weak_ptr<Member> member) {
    const std::lock_guard<std::mutex> lock(mutex_);
    members_.erase(std::remove_if(members_.begin(), members_.end(),
                                  [](const std::weak_ptr<Member>& m) {
                                    return m.expired();
                                  }),
                   members_.end());
    members_.push_back(std::move(member));
  }

 private:
  void shutdown() override {
    std::vector<std::weak_ptr<Member>> members;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      members.swap(members_);
    }
    for (const std::weak_ptr<Member>& weak : members) {
      if (const auto member = weak.lock()) member->ContextGone();
    }
  }

  std::mutex mutex_;
  std::vector<std::weak_ptr<Member>> members_;
};

}  // namespace Core::GEOCOM::host

#endif
