// Work shared by the thread running it and one that joins: every part is
// done exactly once, Run returns only when all are done (the joiner's too),
// and a part that fails on either thread fails the Run, which still waits
// for the part the other thread is doing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "database/SharedWork.h"

namespace ondrel {
namespace {

#if ONDREL_READ_AHEAD_THREAD

// A thread that joins each Run of `work` once it is opened, until told to stop.
class Joiner {
 public:
  Joiner() : thread_([this] { Loop(); }) {}
  ~Joiner() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  void Opened() {
    {
      std::lock_guard lock(mutex_);
      ++opened_;
    }
    changed_.notify_all();
  }
  SharedWork work{[this] { Opened(); }};
  std::atomic<int> joined{0};  // Runs the joiner took parts of

 private:
  void Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stop_ || opened_ != seen_; });
      if (stop_) return;
      seen_ = opened_;
      lock.unlock();
      if (work.Join()) ++joined;
      lock.lock();
    }
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  int opened_ = 0, seen_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

TEST(SharedWorkTest, EveryPartIsDoneOnceAndRunWaitsForTheJoinersParts) {
  Joiner joiner;
  constexpr std::size_t kParts = 2000;
  for (int round = 0; round < 20; ++round) {
    std::vector<int> done(kParts, 0), by(kParts, -1);
    // The runner's first part waits until the joiner has done one, so that
    // every round is shared; the joiner's parts are slow, so that some are
    // still going when the runner has none left.
    std::atomic<bool> joinerDid{false};
    const SharedWork::Part part = [&](std::size_t k, int worker) {
      if (worker == 0 && k == 0)
        while (!joinerDid.load()) std::this_thread::yield();
      if (worker == 1) {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        joinerDid = true;
      }
      ++done[k];
      by[k] = worker;
    };
    joiner.work.Run(kParts, part);
    // Read right after Run: every write of the joiner's is seen by now.
    for (std::size_t k = 0; k < kParts; ++k) ASSERT_EQ(done[k], 1) << round << " part " << k;
    EXPECT_NE(std::count(by.begin(), by.end(), 1), 0);
    EXPECT_NE(std::count(by.begin(), by.end(), 0), 0);
  }
  EXPECT_EQ(joiner.joined.load(), 20);
  EXPECT_FALSE(joiner.work.Join());  // no Run going on
}

TEST(SharedWorkTest, APartThatFailsOnEitherThreadFailsTheRunAfterTheOtherThreadsPart) {
  Joiner joiner;
  for (const int failing : {0, 1}) {
    SCOPED_TRACE(failing);
    constexpr std::size_t kParts = 400;
    std::vector<int> done(kParts, 0);
    std::atomic<bool> joinerDid{false}, otherDone{false};
    const SharedWork::Part part = [&](std::size_t k, int worker) {
      if (worker == 0 && k == 0)
        while (!joinerDid.load()) std::this_thread::yield();
      if (worker == 1 && !joinerDid.exchange(true)) return;  // its first part
      if (worker == failing) {
        // The other thread is inside a part of its own, which Run waits for.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        throw std::runtime_error("part failed");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ++done[k];
      otherDone = true;
    };
    EXPECT_THROW(joiner.work.Run(kParts, part), std::runtime_error);
    // The other thread's part had finished when Run gave up, and no part was
    // taken after the failure: far from all were done.
    EXPECT_TRUE(otherDone.load());
    EXPECT_LT(std::count(done.begin(), done.end(), 1), 10);
  }
}

#else

TEST(SharedWorkTest, WithoutThreadsEveryPartIsDoneInOrderOnTheRunningThread) {
  int opened = 0;
  SharedWork work([&] { ++opened; });
  std::vector<std::size_t> order;
  work.Run(5, [&](std::size_t k, int worker) {
    EXPECT_EQ(worker, 0);
    order.push_back(k);
  });
  EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(opened, 1);
  EXPECT_FALSE(work.Join());
}

#endif

}  // namespace
}  // namespace ondrel
