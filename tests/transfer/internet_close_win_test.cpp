// The bounded WinINet close: every handle handed over is closed, on a thread other than the
// caller's, by one reused closer while the callers take turns, and by threads of their own
// when they overlap.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "launcher/core/win_handle.h"
#include "launcher/transfer/download_mgr.h"

namespace {

std::mutex g_seenLock;
std::vector<DWORD> g_closingThreads;

void CALLBACK OnStatus(HINTERNET, DWORD_PTR, DWORD status, void*, DWORD) {
  if (status != INTERNET_STATUS_HANDLE_CLOSING) return;
  std::lock_guard<std::mutex> lock(g_seenLock);
  g_closingThreads.push_back(GetCurrentThreadId());
}

bool IsOpen(HINTERNET handle) {
  DWORD type = 0;
  DWORD size = sizeof(type);
  return InternetQueryOptionA(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &size) != FALSE;
}

class InternetClose : public ::testing::Test {
 protected:
  void SetUp() override {
    root_.reset(InternetOpenA("Microsoft Internet Explorer", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_TRUE(root_);
    InternetSetStatusCallbackA(root_.get(), &OnStatus);
    std::lock_guard<std::mutex> lock(g_seenLock);
    g_closingThreads.clear();
  }

  // A connection handle opens no socket; a context other than 0 makes WinINet report its
  // closing to the callback, on the thread that closes it.
  std::vector<HINTERNET> Connections(int n) {
    std::vector<HINTERNET> handles;
    for (int i = 0; i < n; ++i) {
      HINTERNET h = InternetConnectA(root_.get(), "127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1);
      EXPECT_NE(h, nullptr);
      if (h != nullptr) handles.push_back(h);
    }
    return handles;
  }

  CInternetHandle root_;
};

TEST_F(InternetClose, SuccessiveClosesRunOnOneThreadThatIsNotTheCallers) {
  std::vector<HINTERNET> handles = Connections(20);
  for (HINTERNET h : handles) {
    ASSERT_TRUE(IsOpen(h));
    Safe_InternetCloseHandle(h);
  }
  for (HINTERNET h : handles) EXPECT_FALSE(IsOpen(h));

  std::lock_guard<std::mutex> lock(g_seenLock);
  ASSERT_EQ(g_closingThreads.size(), handles.size());
  EXPECT_EQ(std::set<DWORD>(g_closingThreads.begin(), g_closingThreads.end()).size(), 1u);
  EXPECT_NE(g_closingThreads.front(), GetCurrentThreadId());
}

TEST_F(InternetClose, OverlappingCallersAllGetTheirHandlesClosed) {
  constexpr int kThreads = 4;
  constexpr int kEach = 25;
  std::vector<std::vector<HINTERNET>> work;
  for (int t = 0; t < kThreads; ++t) work.push_back(Connections(kEach));
  std::atomic<int> ready{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&, t] {
      ++ready;
      while (ready < kThreads) std::this_thread::yield();
      for (HINTERNET h : work[t]) Safe_InternetCloseHandle(h);
    });
  }
  for (std::thread& caller : callers) caller.join();
  for (const auto& handles : work) {
    for (HINTERNET h : handles) EXPECT_FALSE(IsOpen(h));
  }
  std::lock_guard<std::mutex> lock(g_seenLock);
  EXPECT_EQ(g_closingThreads.size(), static_cast<std::size_t>(kThreads * kEach));
}

}  // namespace
