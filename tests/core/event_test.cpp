// CEvent as the panels use it: a lock taken with Wait and given back with Set.
#include "launcher/core/process.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(Event, GuardsSharedStateAcrossThreads) {
  CEvent lock;
  ASSERT_TRUE(lock.Create());
  volatile int counter = 0;  // read and written in two steps: lost updates show a broken lock
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        lock.Wait();
        const int value = counter;
        counter = value + 1;
        lock.Set();
      }
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(counter, 80000);

  // Created signalled: the first Wait returns at once; Close and the calls after it are safe.
  lock.Close();
  ASSERT_TRUE(lock.Create());
  lock.Wait();
  lock.Set();
  lock.Close();
  lock.Wait();
  lock.Set();
}
