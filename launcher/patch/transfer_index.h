// The transfer index "forms.txt" (docs/transfer-index.md): for files of the latest version,
// the smaller forms the patch file server holds besides the raw file, a compressed whole file
// and deltas from earlier contents, each with its path on the server, size and MD5.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "launcher/transfer/md5.h"

constexpr char kTransferIndexName[] = "forms.txt";
// The launcher reads no longer index; talvpack verify holds a tree to the same bound.
constexpr std::size_t kMaxTransferIndexSize = 64u << 20;

enum class TransferFormKind { kWhole, kDelta };

struct TransferForm {
  TransferFormKind kind = TransferFormKind::kWhole;
  std::string path;  // on the patch file server, relative to its directory
  std::uint64_t size = 0;
  unsigned char md5[kMd5DigestSize] = {};
  // Deltas only: the earlier content they apply to.
  std::uint64_t sourceSize = 0;
  unsigned char sourceMd5[kMd5DigestSize] = {};
};

struct TransferFileForms {
  unsigned char resultMd5[kMd5DigestSize] = {};  // the content every form of the file decodes to
  std::vector<TransferForm> forms;
};

class CTransferIndex {
 public:
  // Parses a downloaded block (need not be terminated). All or nothing: on any fault the index
  // is left empty and one line is logged.
  bool Read(const char* block, std::size_t size);

  // The forms of name that decode to resultMd5; nullptr when there are none.
  const TransferFileForms* Find(const std::string& name, const unsigned char resultMd5[kMd5DigestSize]) const;
  std::size_t FileCount() const { return m_files.size(); }
  bool Empty() const { return m_files.empty(); }
  // Every file the index lists, by name (talvpack verify checks each form).
  const std::map<std::string, TransferFileForms>& Files() const { return m_files; }

 private:
  std::map<std::string, TransferFileForms> m_files;
};
