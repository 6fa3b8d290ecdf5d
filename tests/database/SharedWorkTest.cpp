// Work shared by the thread running it and one that joins: every part is
// done exactly once, Run returns only when all are done (the joiner's too),
// and a part that fails on either thread fails the Run, which still waits
// for the part the other thread is doing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "database/SharedWork.h"

namespace ondrel {
namespace {

#if ONDREL_READ_AHEAD_THREAD

// A thread that joins every Run of `work` it can, until it is stopped.
struct Joiner {
  explicit Joiner(SharedWork& work)
      : thread([this, &work] {
          while (!stop)
            if (!work.Join()) std::this_thread::yield();
        }) {}
  ~Joiner() {
    stop = true;
    thread.join();
  }
  std::atomic<bool> stop{false};
  std::thread thread;
};

TEST(SharedWorkTest, EveryPartIsDoneOnceAndAFailureOnEitherThreadFailsTheRunAfterTheOthersPart) {
  SharedWork work;
  Joiner joiner(work);
  constexpr std::size_t kParts = 2000;
  // Rounds with no failure, then a part failing on the running thread, then
  // on the joining one.
  for (const int failing : {-1, -1, -1, -1, -1, 0, 1}) {
    SCOPED_TRACE(failing);
    std::vector<int> done(kParts, 0), by(kParts, -1);
    // The runner's first part waits until the joiner has begun one, so that
    // every round is shared; the joiner's parts are slow, so that one is
    // still going when the runner has none left or fails.
    std::atomic<bool> joinerDid{false}, otherDone{false};
    const SharedWork::Part part = [&](std::size_t k, int worker) {
      if (worker == 0 && k == 0)
        while (!joinerDid.load()) std::this_thread::yield();
      if (worker == 1 && !joinerDid.exchange(true) && failing >= 0) return;  // its first part
      if (worker == failing) {
        // The other thread is inside a part of its own, which Run waits for.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        throw std::runtime_error("part failed");
      }
      std::this_thread::sleep_for(std::chrono::microseconds(failing < 0 ? 50 : 5000));
      ++done[k];
      by[k] = worker;
      otherDone = true;
    };
    if (failing < 0) {
      work.Run(kParts, part);
      // Read right after Run: every write of the joiner's is seen by now.
      for (std::size_t k = 0; k < kParts; ++k) ASSERT_EQ(done[k], 1) << "part " << k;
      EXPECT_NE(std::count(by.begin(), by.end(), 1), 0);
      EXPECT_NE(std::count(by.begin(), by.end(), 0), 0);
    } else {
      EXPECT_THROW(work.Run(kParts, part), std::runtime_error);
      // The other thread's part had finished when Run gave up, and no part
      // was taken after the failure: far from all were done.
      EXPECT_TRUE(otherDone.load());
      EXPECT_LT(std::count(done.begin(), done.end(), 1), 10);
    }
  }
  // Cancelled from a part, as a stream's owner cancels while a batch is
  // read: the Run ends without the parts left, and a later Run takes none.
  std::atomic<int> taken{0};
  work.Run(kParts, [&](std::size_t, int) {
    if (++taken == 5) work.Cancel();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  });
  EXPECT_GE(taken.load(), 5);
  EXPECT_LT(taken.load(), 10);
  const int before = taken.load();
  work.Run(kParts, [&](std::size_t, int) { ++taken; });
  EXPECT_EQ(taken.load(), before);
}

#endif

}  // namespace
}  // namespace ondrel
