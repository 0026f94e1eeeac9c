#include "monitor/ui_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/support/core_application.h"

namespace kestrune {
namespace {

QCoreApplication& app() { return test::ensureCoreApplication(); }

// Runs the event loop until the queue has nothing left.
void settle(UiQueue& queue) {
  while (queue.pendingCount() > 0) QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

TEST(UiQueue, KeepsTheOrderOfTwoThreadsPostsAndCoalescesABurst) {
  app();
  UiQueue queue;
  queue.setSliceBudget(std::chrono::seconds(10));  // slicing is the next test's
  std::vector<int> seen;
  int batchEnds = 0;
  queue.setBatchEndHandler([&] { ++batchEnds; });

  constexpr int kCount = 20000;
  std::thread receiver([&] {
    for (int i = 0; i < kCount; ++i) queue.post([&seen, i] { seen.push_back(i); });
  });
  receiver.join();
  settle(queue);

  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kCount));
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
  // Everything was queued before the window thread looked: one batch, one repaint.
  EXPECT_EQ(queue.batchCount(), 1u);
  EXPECT_EQ(batchEnds, 1);
}

TEST(UiQueue, ASlicedBurstStaysInOrderWithNewPostsBehindIt) {
  app();
  UiQueue queue;
  queue.setSliceBudget(std::chrono::milliseconds(0));
  std::vector<int> seen;
  for (int i = 0; i < 1000; ++i) {
    queue.post([&, i] {
      seen.push_back(i);
      // Posted while draining: runs after everything already queued.
      if (i == 10) queue.post([&] { seen.push_back(-1); });
    });
  }
  settle(queue);
  ASSERT_EQ(seen.size(), 1001u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
  EXPECT_EQ(seen.back(), -1);
  // A zero budget gives the event loop back after every slice of 64 commands.
  EXPECT_GT(queue.batchCount(), 10u);
}

// However fast commands come, the window thread drains them at most once a frame.
TEST(UiQueue, DrainsComeAtMostOnceAFrame) {
  app();
  UiQueue queue;
  queue.setFrameInterval(std::chrono::hours(1));
  int ran = 0;
  queue.post([&] { ++ran; });
  settle(queue);  // the first drain comes at once
  queue.post([&] { ++ran; });
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 100) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(queue.pendingCount(), 1u);
  queue.setFrameInterval(std::chrono::milliseconds(0));
  queue.post([&] { ++ran; });
  settle(queue);
  EXPECT_EQ(ran, 3);
}

TEST(UiQueue, DrainingFromInsideACommandRunsTheRestFirst) {
  app();
  UiQueue queue;
  std::vector<std::string> seen;
  queue.post([&] {
    seen.push_back("a");
    queue.drainNow();
    seen.push_back("inline");
    seen.push_back("a-end");
  });
  queue.post([&] { seen.push_back("b"); });
  settle(queue);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "inline", "a-end"}));
  EXPECT_EQ(queue.pendingCount(), 0u);
}

}  // namespace
}  // namespace kestrune
