#include "launcher/core/windows_version.h"

#include <gtest/gtest.h>

TEST(WindowsVersion, ClassTable) {
  struct Case {
    unsigned major, minor;
    bool queried;
    int expected;
  } cases[] = {
      {4, 0, true, 1},  {4, 10, true, 2}, {4, 90, true, 3}, {5, 0, true, 4},
      {5, 2, true, 5},  {5, 1, true, 6},  {4, 1, true, 6},  {4, 2, true, 5},
      {4, 3, true, 7},  {5, 3, true, 7},  {6, 0, true, 7},  {6, 1, true, 7},
      {6, 3, true, 7},  {7, 0, true, 7},  {8, 0, true, 0},  {10, 0, true, 0},
      {3, 51, true, 0}, {6, 1, false, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WindowsVersionClassOf(c.major, c.minor, c.queried), c.expected)
        << c.major << "." << c.minor << (c.queried ? "" : " (query failed)");
  }
}
