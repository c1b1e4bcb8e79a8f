// What a repair run has to do, decided from the latest version's manifest and what lies in
// the game folder. Sizes come first because they cost no reading: a missing or truncated
// file is broken without hashing it, and only files of the right size are read for their
// digest. Entries of size 0 are the files the version removed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "launcher/transfer/md5.h"
#include "launcher/transfer/parallel_digest.h"

struct RepairEntry {
  std::string name;
  std::uint64_t size = 0;  // 0: the version removed the file
  unsigned char hash[kMd5DigestSize] = {};
};

// What a file of the game folder looked like when it was looked at.
struct ObservedFile {
  bool present = false;
  std::uint64_t size = 0;
};

struct RepairPlan {
  std::vector<std::size_t> broken;  // entries to fetch again, in manifest order
  std::vector<std::size_t> toHash;  // present with the right size: the digest decides
  std::vector<std::size_t> stale;   // removed entries whose file is still there
  std::uint64_t bytesToHash = 0;
};

// The manifest's entries with each name once (its first entry wins, as in a patch run).
std::vector<RepairEntry> UniqueRepairEntries(const std::vector<RepairEntry>& entries);

// The plan after the size check; observed[i] belongs to entries[i].
RepairPlan PlanBySize(const std::vector<RepairEntry>& entries, const std::vector<ObservedFile>& observed);

// Adds the files whose digest differs or could not be read (outcomes[k] belongs to
// plan.toHash[k]) to the broken ones, keeping manifest order; toHash is emptied.
void AddDigestFindings(const std::vector<RepairEntry>& entries, const std::vector<DigestOutcome>& outcomes,
                       RepairPlan* plan);
