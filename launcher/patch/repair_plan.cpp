#include "launcher/patch/repair_plan.h"

#include <algorithm>
#include <cstring>
#include <set>

std::vector<RepairEntry> UniqueRepairEntries(const std::vector<RepairEntry>& entries) {
  std::vector<RepairEntry> unique;
  std::set<std::string> seen;
  for (const RepairEntry& entry : entries) {
    if (seen.insert(entry.name).second) unique.push_back(entry);
  }
  return unique;
}

RepairPlan PlanBySize(const std::vector<RepairEntry>& entries, const std::vector<ObservedFile>& observed) {
  RepairPlan plan;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const ObservedFile seen = i < observed.size() ? observed[i] : ObservedFile{};
    if (entries[i].size == 0) {
      if (seen.present) plan.stale.push_back(i);
    } else if (!seen.present || seen.size != entries[i].size) {
      plan.broken.push_back(i);
    } else {
      plan.toHash.push_back(i);
      plan.bytesToHash += entries[i].size;
    }
  }
  return plan;
}

void AddDigestFindings(const std::vector<RepairEntry>& entries, const std::vector<DigestOutcome>& outcomes,
                       RepairPlan* plan) {
  for (std::size_t k = 0; k < plan->toHash.size(); ++k) {
    const std::size_t i = plan->toHash[k];
    const bool intact = k < outcomes.size() && outcomes[k].read &&
                        std::memcmp(outcomes[k].digest, entries[i].hash, kMd5DigestSize) == 0;
    if (!intact) plan->broken.push_back(i);
  }
  std::sort(plan->broken.begin(), plan->broken.end());
  plan->toHash.clear();
  plan->bytesToHash = 0;
}
