// The benchmarks' stopwatch: seconds on the monotonic high-resolution clock.
#pragma once
#include <chrono>

inline double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
