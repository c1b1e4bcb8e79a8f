// What "publish --delta-from" adds to a tree: the compressed whole files, the deltas from the
// contents of earlier published trees, and the transfer index "forms.txt" that lists them
// (docs/transfer-index.md, docs/delta-format.md).
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "launcher/transfer/delta_apply.h"
#include "tools/talvpack/manifest_builder.h"

namespace talvpack {

struct SecretKey;

// A delta is kept only when at most this share of the compressed whole file.
constexpr double kDeltaKeepRatio = 0.9;

// Files of the host read by offset and written in order, for the codec.
class FileSource : public ByteSource {
 public:
  ~FileSource() override;
  bool Open(const std::filesystem::path& path);
  std::uint64_t Size() const override { return m_size; }
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;

 private:
  std::FILE* m_file = nullptr;
  std::uint64_t m_size = 0;
};

class FileSink : public ByteSink {
 public:
  ~FileSink() override;
  bool Open(const std::filesystem::path& path);
  bool Write(const void* data, std::size_t n) override;
  bool Close();  // false when a write was lost
  std::uint64_t Written() const { return m_written; }

 private:
  std::FILE* m_file = nullptr;
  std::uint64_t m_written = 0;
};

// Writes Talvenor.forms/ and forms.txt (signed with key when given) into the staged tree
// root, whose Talvenor/ holds the files of records. earlier are trees published before.
bool WriteTransferForms(const std::filesystem::path& root, const std::vector<Record>& records,
                        const std::vector<std::string>& earlier, const SecretKey* key, std::string* error);

}  // namespace talvpack
