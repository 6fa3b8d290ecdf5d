// Work cut into parts that the thread running it and one other thread, one
// that would otherwise wait for it, take one at a time.
//
// A record stream reads its next batch on a thread of its own while the
// caller writes the rows of the batch before.  When the batch costs more to
// read than the rows to write (a profile whose order scatters the records,
// read in passes over the data file), the caller would wait: it joins the
// read instead (RecordStream::Settle), and the two threads share the pass.
// The parts are taken in order from a counter, so each is done once, by
// whichever thread comes to it first; Run returns when every part is done,
// so what the parts wrote is the runner's to read then.  A part must touch
// nothing another part touches.  A build without threads
// (ONDREL_READ_AHEAD_THREAD 0) runs every part on the running thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

#include "database/Threads.h"

namespace ondrel {

class SharedWork {
 public:
  // Part `part` (from 0) of the work, done by `worker`: 0 for the thread
  // running it, 1 for the one that joined.  A worker's parts run one after
  // another, so memory of a worker's own needs no lock.
  using Part = std::function<void(std::size_t part, int worker)>;

  // `opened`, when given, is called on the running thread once a Run's
  // parts may be joined, before the first is taken: a thread that may join
  // learns there is work to take.
  explicit SharedWork(std::function<void()> opened = {}) : opened_(std::move(opened)) {}
  SharedWork(const SharedWork&) = delete;
  SharedWork& operator=(const SharedWork&) = delete;

  // Does parts 0 to parts - 1, some of them perhaps on a thread that joins,
  // and returns when all are done.  When a part throws, on either thread,
  // no part is taken after it, Run waits for the one the other thread is
  // doing, and the failure goes on from Run.
  void Run(std::size_t parts, const Part& part);

  // Takes parts of the Run going on on another thread until none is left;
  // false when none was taken (no Run is going on, its parts are all taken,
  // or another thread has joined it).
  bool Join();

  // For an owner done with the work (a stream closed while its next batch
  // is read): no part is taken after it, of the Run going on or of any
  // later one; the parts in progress end as they would, and Run returns.
  void Cancel();
  bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

 private:
  // Takes the next part not yet taken and does it, while there is one.
  void Take(const Part& part, std::size_t parts, int worker);

  std::function<void()> opened_;
  std::atomic<bool> cancelled_{false};
#if ONDREL_READ_AHEAD_THREAD
  std::mutex mutex_;
  std::condition_variable left_;  // the joiner left
  const Part* part_ = nullptr;    // of the Run that may be joined
  std::size_t parts_ = 0;
  std::atomic<std::size_t> next_{0};
  bool joined_ = false;
  std::exception_ptr failure_;  // the joiner's
#endif
};

// Runs the parts on `work`, where another thread may join, or, without
// it, one after another on this thread.
inline void RunParts(SharedWork* work, std::size_t parts, const SharedWork::Part& part) {
  if (work)
    work->Run(parts, part);
  else
    for (std::size_t k = 0; k < parts; ++k) part(k, 0);
}

}  // namespace ondrel
