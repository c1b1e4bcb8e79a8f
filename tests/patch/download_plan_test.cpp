#include "launcher/patch/download_plan.h"

#include <gtest/gtest.h>

TEST(DownloadPlan, LargestFirstKeepsTheGivenOrderAmongEqualSizes) {
  const struct {
    std::vector<std::uint64_t> sizes;
    std::vector<std::size_t> order;
  } cases[] = {
      {{}, {}},
      {{5}, {0}},
      {{1, 9, 4}, {1, 2, 0}},
      {{3, 3, 7, 3}, {2, 0, 1, 3}},
      {{0xFFFFFFFFFull + 1, 0xFFFFFFFFFull}, {0, 1}},  // beyond 32 bits
  };
  for (const auto& c : cases) EXPECT_EQ(LargestFirst(c.sizes), c.order);
}

TEST(DownloadPlan, AFailedServerIsTriedLastAfterwards) {
  ServerOrder servers(3);
  EXPECT_EQ(servers.Order(), (std::vector<std::size_t>{0, 1, 2}));
  servers.Demote(0);
  EXPECT_EQ(servers.Order(), (std::vector<std::size_t>{1, 2, 0}));
  servers.Demote(2);
  EXPECT_EQ(servers.Order(), (std::vector<std::size_t>{1, 0, 2}));
  servers.Demote(2);  // already last
  servers.Demote(7);  // no such server
  EXPECT_EQ(servers.Order(), (std::vector<std::size_t>{1, 0, 2}));
}

TEST(DownloadPlan, TransfersNeverOutnumberTheFiles) {
  const struct {
    int connections;
    std::size_t files;
    std::size_t transfers;
  } cases[] = {{1, 200, 1}, {4, 200, 4}, {16, 3, 3}, {8, 0, 1}, {0, 5, 1}};
  for (const auto& c : cases) EXPECT_EQ(TransferCount(c.connections, c.files), c.transfers) << c.connections;
}
