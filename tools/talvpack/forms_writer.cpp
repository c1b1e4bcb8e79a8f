#include "tools/talvpack/forms_writer.h"

#include <cstring>
#include <map>
#include <system_error>

#include "launcher/core/paths.h"
#include "launcher/patch/transfer_index.h"
#include "tools/talvpack/delta_encode.h"
#include "tools/talvpack/host_names.h"
#include "tools/talvpack/progress.h"
#include "tools/talvpack/signing.h"

namespace fs = std::filesystem;

namespace talvpack {

namespace {

bool Seek(std::FILE* f, std::uint64_t offset) {
#if defined(_WIN32)
  return _fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// The separators of a code page 950 name as "/", scanned by character: the trail byte 0x5C
// of a Big5 character (許, 功) separates nothing.
std::string Slashed(const std::string& name) {
  std::string out = name;
  ToForwardSlashes(&out[0]);
  return out;
}

// Where the tree keeps what the launcher fetches as name (relative to base).
fs::path Served(const fs::path& base, const std::string& name) {
  fs::path relative;
  if (!ServedPathOf(name, &relative)) relative = fs::path(name);  // publish refused such names already
  return base / relative;
}

std::string Hex(const unsigned char* digest) {
  char text[2 * kMd5DigestSize + 1];
  FormatDigest(digest, text);
  return text;
}

struct EarlierContent {
  fs::path path;
  std::uint64_t size = 0;
  unsigned char digest[kMd5DigestSize] = {};
};

// The distinct earlier contents of each file, from every earlier tree whose copy still has
// the digest its manifest gives.
bool CollectEarlier(const std::vector<std::string>& trees, std::map<std::string, std::vector<EarlierContent>>* out,
                    std::string* error) {
  for (const std::string& tree : trees) {
    std::vector<Record> records;
    if (!LoadManifest((fs::path(tree) / "version.txt").string(), &records, error)) {
      *error = "--delta-from " + tree + ": " + *error;
      return false;
    }
    for (const Record& r : records) {
      if (r.size == 0) continue;
      std::vector<EarlierContent>& list = (*out)[r.name];
      bool known = false;
      for (const EarlierContent& e : list) known = known || std::memcmp(e.digest, r.digest, kMd5DigestSize) == 0;
      if (known) continue;
      EarlierContent e;
      e.path = Served(fs::path(tree) / "Talvenor", r.name);
      std::string hashError;
      if (!HashFile(e.path, &e.size, e.digest, &hashError) || e.size != r.size ||
          std::memcmp(e.digest, r.digest, kMd5DigestSize) != 0) {
        std::fprintf(stderr, "talvpack publish: warning: %s does not hold what its version.txt says; no delta from it\n",
                     e.path.string().c_str());
        continue;
      }
      list.push_back(e);
    }
  }
  return true;
}

bool WriteForm(const fs::path& path, std::string* error, bool (*make)(void*, ByteSink&, std::string*), void* ctx,
               std::uint64_t* size, unsigned char digest[kMd5DigestSize]) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  FileSink sink;
  if (!sink.Open(path)) {
    *error = "cannot write \"" + path.string() + "\"";
    return false;
  }
  if (!make(ctx, sink, error)) return false;
  if (!sink.Close()) {
    *error = "cannot write \"" + path.string() + "\"";
    return false;
  }
  return HashFile(path, size, digest, error);
}

}  // namespace

FileSource::~FileSource() {
  if (m_file != nullptr) std::fclose(m_file);
}

bool FileSource::Open(const fs::path& path) {
  std::error_code ec;
  m_size = fs::file_size(path, ec);
  if (ec) return false;
  m_file = OpenHostFile(path, "rb");  // a wide name on Windows: Chinese names
  return m_file != nullptr;
}

bool FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
  if (offset > m_size || n > m_size - offset) return false;
  return n == 0 || (Seek(m_file, offset) && std::fread(buffer, 1, n, m_file) == n);
}

FileSink::~FileSink() { Close(); }

bool FileSink::Open(const fs::path& path) {
  m_file = OpenHostFile(path, "wb");
  return m_file != nullptr;
}

bool FileSink::Write(const void* data, std::size_t n) {
  m_written += n;
  return m_file != nullptr && std::fwrite(data, 1, n, m_file) == n;
}

bool FileSink::Close() {
  if (m_file == nullptr) return true;
  const bool ok = std::ferror(m_file) == 0;
  const bool closed = std::fclose(m_file) == 0;
  m_file = nullptr;
  return ok && closed;
}

bool WriteTransferForms(const fs::path& root, const std::vector<Record>& records,
                        const std::vector<std::string>& earlier, const SecretKey* key, std::string* error) {
  std::map<std::string, std::vector<EarlierContent>> sources;
  if (!CollectEarlier(earlier, &sources, error)) return false;
  std::uint64_t total = 0;
  for (const Record& r : records) total += r.size;
  Progress progress("forms");
  progress.SetTotal(records.size(), total);
  std::string index = "talvenor-forms 1\r\n";
  const std::string formsDir = "Talvenor.forms";
  for (std::size_t i = 0; i < records.size(); ++i) {
    const Record& r = records[i];
    if (r.size == 0) continue;
    const fs::path file = Served(root / "Talvenor", r.name);
    FileSource result;
    if (!result.Open(file)) {
      *error = "cannot read \"" + file.string() + "\"";
      return false;
    }
    // The whole file first: a delta is worth its place only when clearly smaller than it.
    struct WholeCtx {
      FileSource* file;
    } whole{&result};
    const std::string wholePath = formsDir + "/" + Slashed(r.name) + ".zst";
    std::uint64_t wholeSize = 0;
    unsigned char wholeMd5[kMd5DigestSize];
    if (!WriteForm(
            Served(root, wholePath), error,
            [](void* c, ByteSink& sink, std::string* e) {
              return MakeWholeFile(*static_cast<WholeCtx*>(c)->file, sink, kFormLevel, e);
            },
            &whole, &wholeSize, wholeMd5))
      return false;
    std::uint64_t best = r.size;
    const std::string resultHex = Hex(r.digest);
    if (wholeSize < r.size) {
      index += "whole," + r.name + "," + resultHex + "," + wholePath + "," + std::to_string(wholeSize) + "," +
               Hex(wholeMd5) + "\r\n";
      best = wholeSize;
    } else {
      fs::remove(Served(root, wholePath));
    }
    for (const EarlierContent& from : sources[r.name]) {
      if (std::memcmp(from.digest, r.digest, kMd5DigestSize) == 0) continue;  // unchanged since then
      FileSource source;
      if (!source.Open(from.path)) {
        *error = "cannot read \"" + from.path.string() + "\"";
        return false;
      }
      struct DeltaCtx {
        FileSource* source;
        const EarlierContent* from;
        FileSource* result;
        const Record* record;
      } ctx{&source, &from, &result, &r};
      const std::string deltaPath = formsDir + "/" + Slashed(r.name) + ".from-" + Hex(from.digest) + ".delta";
      std::uint64_t deltaSize = 0;
      unsigned char deltaMd5[kMd5DigestSize];
      if (!WriteForm(
              Served(root, deltaPath), error,
              [](void* c, ByteSink& sink, std::string* e) {
                auto* d = static_cast<DeltaCtx*>(c);
                DeltaEncodeOptions options;
                return MakeDelta(*d->source, d->from->digest, *d->result, d->record->digest, sink, options, e);
              },
              &ctx, &deltaSize, deltaMd5))
        return false;
      if (static_cast<double>(deltaSize) <= kDeltaKeepRatio * static_cast<double>(best)) {
        index += "delta," + r.name + "," + resultHex + "," + deltaPath + "," + std::to_string(deltaSize) + "," +
                 Hex(deltaMd5) + "," + std::to_string(from.size) + "," + Hex(from.digest) + "\r\n";
      } else {
        fs::remove(Served(root, deltaPath));
      }
    }
    progress.Add(1, r.size);
  }
  // Read back as the launcher will before it is published.
  CTransferIndex back;
  if (!back.Read(index.data(), index.size())) {
    *error = "the transfer index would not read back as written";
    return false;
  }
  const fs::path indexPath = root / kTransferIndexName;
  FileSink sink;
  if (!sink.Open(indexPath) || !sink.Write(index.data(), index.size()) || !sink.Close()) {
    *error = "cannot write \"" + indexPath.string() + "\"";
    return false;
  }
  return key == nullptr || SignFile(*key, indexPath, error);
}

}  // namespace talvpack
