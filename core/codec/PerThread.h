#ifndef DAZOZAZIDOREZERARO_CODEC_PERTHREAD_H
#define DAZOZAZIDOREZERARO_CODEC_PERTHREAD_H

namespace Core::GEOCOM::codec {

namespace detail {

template <typename Value>
struct PerThreadOwner {
  explicit PerThreadOwner(bool& destroyedFlag) : destroyed(destroyedFlag) {}
  PerThreadOwner(const PerThreadOwner&) = delete;
  PerThreadOwner& operator=(const PerThreadOwner&) = delete;
  ~PerThreadOwner() { destroyed = true; }

  bool& destroyed;
  Value value;
};

}  // namespace detail

// The calling thread's own Value, built on its first use and destroyed when
// the thread ends, so that threads never share one. A host may still call
// the library while its thread's objects are being destroyed (from the
// destructor of one of its own thread-local objects, or of a static object
// once the main thread has ended); by then the Value may be gone, and the
// answer is null: the caller then works with a Value of its own for that
// call.
template <typename Value>
Value* ThisThreads() {
  // A plain flag has no destructor, so it can be read at any time.
  thread_local bool destroyed = false;
  if (destroyed) {
    return nullptr;
  }
  thread_local detail::PerThreadOwner<Value> owner(destroyed);
  return &owner.value;
}

}  // namespace Core::GEOCOM::codec

#endif
