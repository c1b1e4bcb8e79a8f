// Which forms of one file a patch run tries, in order: deltas whose source is the installed
// content, then the compressed whole file, each only when smaller than the raw file; the raw
// file itself always comes last (today's download).
#pragma once
#include <cstdint>
#include <vector>

#include "launcher/patch/transfer_index.h"

// The installed file a delta would apply to. Hashing is asked for only when a delta's source
// size equals the file's size, and at most once.
class InstalledContent {
 public:
  virtual ~InstalledContent() = default;
  // False when there is no such file.
  virtual bool Size(std::uint64_t* size) = 0;
  virtual bool Digest(unsigned char md5[kMd5DigestSize]) = 0;
};

// forms may be nullptr (the index lists no form of the file). In "/install" mode no delta is
// used: the files go straight into the game folder, where no earlier content is to be kept.
std::vector<const TransferForm*> ChooseForms(const TransferFileForms* forms, std::uint64_t rawSize, bool installMode,
                                             InstalledContent& installed);

// The bytes the first choice would move, which the panel's total counts.
inline std::uint64_t WireSize(const std::vector<const TransferForm*>& choice, std::uint64_t rawSize) {
  return choice.empty() ? rawSize : choice.front()->size;
}
