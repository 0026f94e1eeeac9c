#include "monitor/ui_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
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

// A poster from another thread waits while the queue is full and loses nothing; a window thread
// that announces its own wait for another thread lets it through.
TEST(UiQueue, AFullQueueHoldsOtherThreadsBackWithoutLosingACommand) {
  app();
  UiQueue queue;
  queue.setCapacity(100);
  std::vector<int> seen;
  std::atomic<int> posted{0};
  std::thread receiver([&] {
    for (int i = 0; i < 1000; ++i) {
      queue.post([&seen, i] { seen.push_back(i); });
      ++posted;
    }
  });
  // The window thread is busy: the poster stops at the capacity and stays there.
  for (int i = 0; i < 5000 && posted.load() < 100; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(posted.load(), 100);
  EXPECT_EQ(queue.pendingCount(), 100u);
  {
    UiQueue::WindowWait waiting(queue);
    receiver.join();  // a wait for that thread must not close a circle
  }
  settle(queue);
  ASSERT_EQ(seen.size(), 1000u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
}

// The newest waiting command of a tag stands in for later ones; anything posted in between keeps
// the order.
TEST(UiQueue, LatestWinsOnlyWhileNothingElseCameBetween) {
  app();
  UiQueue queue;
  std::vector<std::string> seen;
  int tag = 0;
  auto latest = std::make_shared<std::string>();
  std::thread receiver([&] {
    for (const char* text : {"a", "b", "c", "|", "d", "e"}) {
      if (std::string(text) == "|") {
        queue.post([&] { seen.push_back("|"); });
        continue;
      }
      auto fresh = std::make_shared<std::string>(text);
      const bool merged = queue.postLatest(
          &tag, [&seen, fresh] { seen.push_back(*fresh); },
          [&] {
            *latest = text;
            return true;
          });
      if (!merged) latest = fresh;
    }
  });
  receiver.join();
  settle(queue);
  EXPECT_EQ(seen, (std::vector<std::string>{"c", "|", "e"}));
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
