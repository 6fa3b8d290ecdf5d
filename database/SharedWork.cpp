#include "database/SharedWork.h"

#include <utility>

namespace ondrel {

#if ONDREL_READ_AHEAD_THREAD

void SharedWork::Take(const Part& part, std::size_t parts, int worker) {
  for (;;) {
    const std::size_t k = next_.fetch_add(1, std::memory_order_relaxed);
    if (k >= parts || Cancelled()) return;
    try {
      part(k, worker);
    } catch (...) {
      next_.store(parts, std::memory_order_relaxed);  // the other thread takes none after it
      throw;
    }
  }
}

void SharedWork::Run(std::size_t parts, const Part& part) {
  {
    std::lock_guard lock(mutex_);
    part_ = &part;
    parts_ = parts;
    next_.store(0, std::memory_order_relaxed);
    failure_ = nullptr;
  }
  // However the parts end, `part` is not left to the joiner once Run has
  // returned: it is closed to joining, and the joiner, if any, is waited for.
  struct Close {
    SharedWork& work;
    void Wait() {
      std::unique_lock lock(work.mutex_);
      work.part_ = nullptr;
      work.left_.wait(lock, [&] { return !work.joined_; });
    }
    ~Close() { Wait(); }
  } close{*this};
  if (opened_) opened_();
  Take(part, parts, 0);
  close.Wait();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

bool SharedWork::Join() {
  const Part* part = nullptr;
  std::size_t parts = 0;
  {
    std::lock_guard lock(mutex_);
    if (!part_ || joined_ || next_.load(std::memory_order_relaxed) >= parts_) return false;
    joined_ = true;
    part = part_;
    parts = parts_;
  }
  // A failure of the joiner's part is the Run's: it goes on from there.
  std::exception_ptr failure;
  try {
    Take(*part, parts, 1);
  } catch (...) {
    failure = std::current_exception();
  }
  // What the parts wrote reaches the runner through this lock.
  {
    std::lock_guard lock(mutex_);
    if (failure) failure_ = failure;
    joined_ = false;
  }
  left_.notify_all();
  return true;
}

#else

void SharedWork::Run(std::size_t parts, const Part& part) {
  if (opened_) opened_();
  for (std::size_t k = 0; k < parts && !Cancelled(); ++k) part(k, 0);
}

bool SharedWork::Join() { return false; }

#endif

void SharedWork::Cancel() { cancelled_.store(true, std::memory_order_relaxed); }

}  // namespace ondrel
