#include "launcher/patch/repair_plan.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

RepairEntry Entry(const char* name, std::uint64_t size, unsigned char fill = 0) {
  RepairEntry entry;
  entry.name = name;
  entry.size = size;
  std::memset(entry.hash, fill, sizeof(entry.hash));
  return entry;
}

DigestOutcome Read(unsigned char fill) {
  DigestOutcome outcome;
  outcome.read = true;
  std::memset(outcome.digest, fill, sizeof(outcome.digest));
  return outcome;
}

}  // namespace

TEST(RepairPlan, SizesDecideWithoutReading) {
  struct Case {
    ObservedFile seen;
    std::uint64_t listed;
    const char* verdict;  // broken, hash, stale, nothing
  };
  const Case cases[] = {
      {{false, 0}, 10, "broken"},   // missing
      {{true, 9}, 10, "broken"},    // truncated
      {{true, 11}, 10, "broken"},   // grown
      {{true, 0}, 10, "broken"},    // emptied
      {{true, 10}, 10, "hash"},     // right size: the digest decides
      {{true, 5}, 0, "stale"},      // removed by the version, still there
      {{true, 0}, 0, "stale"},
      {{false, 0}, 0, "nothing"},   // removed and gone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.verdict);
    const RepairPlan plan = PlanBySize({Entry("a", c.listed)}, {c.seen});
    const std::string verdict = !plan.broken.empty() ? "broken" : !plan.toHash.empty() ? "hash"
                                : !plan.stale.empty() ? "stale" : "nothing";
    EXPECT_EQ(verdict, c.verdict);
    EXPECT_EQ(plan.bytesToHash, verdict == "hash" ? c.listed : 0u);
  }
}

TEST(RepairPlan, DigestsAddTheChangedAndUnreadFilesInManifestOrder) {
  const std::vector<RepairEntry> entries = {Entry("a", 4, 1), Entry("b", 4, 2), Entry("c", 4, 3),
                                            Entry("d", 4, 4), Entry("gone", 0)};
  const std::vector<ObservedFile> seen = {{true, 4}, {false, 0}, {true, 4}, {true, 4}, {true, 1}};
  RepairPlan plan = PlanBySize(entries, seen);
  ASSERT_EQ(plan.toHash, (std::vector<std::size_t>{0, 2, 3}));
  EXPECT_EQ(plan.bytesToHash, 12u);
  DigestOutcome unread = Read(4);
  unread.read = false;  // a digest that was never finished must not pass, whatever it holds
  AddDigestFindings(entries, {Read(9), Read(3), unread}, &plan);
  EXPECT_EQ(plan.broken, (std::vector<std::size_t>{0, 1, 3}));
  EXPECT_EQ(plan.stale, (std::vector<std::size_t>{4}));
  EXPECT_TRUE(plan.toHash.empty());
  // Fewer outcomes than files (a check cut short) count the rest as broken, never intact.
  RepairPlan cut = PlanBySize(entries, seen);
  AddDigestFindings(entries, {Read(1)}, &cut);
  EXPECT_EQ(cut.broken, (std::vector<std::size_t>{1, 2, 3}));
}

TEST(RepairPlan, FirstEntryOfANameWins) {
  const std::vector<RepairEntry> unique =
      UniqueRepairEntries({Entry("a", 4, 1), Entry("b", 0), Entry("a", 0), Entry("b", 7)});
  ASSERT_EQ(unique.size(), 2u);
  EXPECT_EQ(unique[0].size, 4u);
  EXPECT_EQ(unique[1].size, 0u);
}
