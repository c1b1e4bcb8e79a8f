#include "tools/talvpack/manifest_builder.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <exception>
#include <system_error>
#include <thread>

#include "launcher/core/limits.h"
#include "launcher/core/paths.h"
#include "launcher/patch/manifest_name.h"
#include "launcher/storage/zip_archive.h"
#include "launcher/patch/version_info.h"
#include "launcher/transfer/file_digest.h"
#include "tools/talvpack/host_names.h"

namespace fs = std::filesystem;

namespace talvpack {

namespace {

// Names as the launcher compares them: single-byte letters without case, "/" as "\"; the
// bytes of a double-byte character stay as they are.
std::string Folded(const std::string& name) {
  std::string out;
  for (const char* p = name.c_str(); *p != '\0';) {
    const char* next = NextPathChar(p);
    if (next == p + 1) {
      char c = *p;
      if (c == '/') c = '\\';
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      out += c;
    } else {
      out.append(p, next);
    }
    p = next;
  }
  return out;
}

std::u32string CaseKeyOf(const fs::path& relative) {
  std::u32string joined;
  for (const fs::path& component : relative) {
    std::u32string text;
    CodePointsOf(component, &text);
    if (!joined.empty()) joined += U'\\';
    joined += text;
  }
  return CaseKey(joined);
}

}  // namespace

std::string NameProblem(const std::string& name) {
  if (name.empty()) return "an empty name";
  if (name.find_first_of(",\t\r\n") != std::string::npos) {
    return "a comma, tab or line break, which separate the manifest's fields";
  }
  if (CVersionInfo::IsNumericToken(name.c_str())) {
    return "a name that reads as a number, which the launcher takes for the older counted manifest";
  }
  if (name.size() >= kMaxPath) return "longer than " + std::to_string(kMaxPath - 1) + " characters";
  return "";
}

std::string ArchiveName(const std::string& manifestName) {
  std::string out = manifestName;
  for (char* p = &out[0]; *p != '\0'; p = const_cast<char*>(NextPathChar(p))) {
    if (*p == '\\') *p = '/';
  }
  return out;
}

std::string LauncherRefusal(const std::string& name) {
  if (!IsSafeManifestName(name.c_str())) {
    return "an empty, \".\" or \"..\" component, a drive or stream (\":\"), or a leading separator";
  }
  if (!IsSafeZipEntryName(ArchiveName(name).c_str())) {
    return "a component of dots and blanks (the launcher's archive reader takes every \"\\\" byte for a "
           "separator there)";
  }
  return "";
}

std::string ArchiveNamesProblem(const ZipArchive& archive) {
  std::map<std::u32string, std::string> seen;
  const std::uint32_t count = GetZipEntryCount(archive);
  for (std::uint32_t i = 0; i < count; ++i) {
    char name[kMaxPath] = {};
    std::u32string text;
    if (!GetZipEntryName(archive, name, i) || !FromCodePage950(name, &text)) {
      return "the entry name \"" + std::string(name) + "\" is not code page 950 (Big5) text, which the launcher reads";
    }
    if (!IsSafeZipEntryName(name)) return "the launcher refuses the entry name \"" + std::string(name) + "\"";
    std::u32string key = CaseKey(text);
    const bool folder = IsZipFolderName(name);
    while (!key.empty() && key.back() == U'\\') key.pop_back();
    const auto entry = seen.emplace(key, name);
    if (!entry.second && !(folder && IsZipFolderName(entry.first->second.c_str()))) {
      return "the entries \"" + entry.first->second + "\" and \"" + name +
             "\" differ only in case: on the players' file system they are one file";
    }
  }
  return "";
}

bool ListGameFolder(const fs::path& dir, GameFolder* folder, std::string* error) {
  *folder = GameFolder();
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    *error = "\"" + Shown(dir) + "\" is not a folder";
    return false;
  }
  struct Seen {
    fs::path relative;
    bool isFolder;
  };
  std::map<std::u32string, Seen> seen;  // by the key under which Windows takes names for one
  fs::recursive_directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    std::error_code typeError;
    const bool isFolder = it->is_directory(typeError);
    if (isFolder && it->is_symlink(typeError)) {
      // A linked folder would not be walked; leaving its files out silently is worse.
      *error = "\"" + Shown(path) + "\" is a link to a folder; links to folders are not followed";
      return false;
    }
    if (!isFolder && !it->is_regular_file(typeError)) {
      *error = "\"" + Shown(path) + "\" is not a regular file";
      return false;
    }
    const fs::path relative = path.lexically_relative(dir);
    std::string name;
    if (!LauncherName(relative, '\\', &name, error)) return false;
    const std::string refusal = LauncherRefusal(name);
    const std::string problem = isFolder ? std::string() : NameProblem(name);
    if (!refusal.empty() || !problem.empty()) {
      *error = (refusal.empty() ? "the manifest cannot carry the name \"" : "the launcher refuses the name \"") +
               Shown(relative) + "\": " + (refusal.empty() ? problem : refusal);
      return false;
    }
    const auto key = seen.emplace(CaseKeyOf(relative), Seen{relative, isFolder});
    const Seen& other = key.first->second;
    if (!key.second && !(isFolder && other.isFolder)) {
      *error = "\"" + Shown(other.relative) + "\" and \"" + Shown(relative) +
               "\" differ only in case: on the players' file system they are one " +
               (isFolder || other.isFolder ? "name" : "file");
      return false;
    }
    GameFile entry{name, path, relative};
    if (!isFolder) {
      folder->files.push_back(entry);
      continue;
    }
    folder->folders.push_back(entry);
    if (fs::is_empty(path, typeError)) folder->emptyFolders.push_back(entry);
  }
  if (ec) {
    *error = "cannot read the folder \"" + Shown(dir) + "\": " + ec.message();
    return false;
  }
  const auto byName = [](const GameFile& a, const GameFile& b) { return a.name < b.name; };
  for (auto* list : {&folder->files, &folder->folders, &folder->emptyFolders}) {
    std::sort(list->begin(), list->end(), byName);
  }
  return true;
}

bool ListGameFiles(const fs::path& dir, std::vector<GameFile>* files, std::string* error) {
  GameFolder folder;
  if (!ListGameFolder(dir, &folder, error)) return false;
  *files = std::move(folder.files);
  return true;
}

namespace {

// The source of a hash that may also write what it reads into a copy.
struct CopyingSource {
  std::FILE* in;
  std::FILE* out;  // null: hash only
};

bool ReadAndCopy(void* source, unsigned char* buffer, std::uint32_t n) {
  auto* s = static_cast<CopyingSource*>(source);
  return std::fread(buffer, 1, n, s->in) == n && (s->out == nullptr || std::fwrite(buffer, 1, n, s->out) == n);
}

}  // namespace

bool HashFile(const fs::path& path, std::uint64_t* size, unsigned char digest[kMd5DigestSize], std::string* error,
              const fs::path* copy) {
  std::error_code ec;
  const std::uintmax_t length = fs::file_size(path, ec);
  CopyingSource source{ec ? nullptr : OpenHostFile(path, "rb"), nullptr};
  if (source.in == nullptr) {
    *error = "cannot read \"" + Shown(path) + "\"";
    return false;
  }
  if (copy != nullptr) {
    fs::create_directories(copy->parent_path(), ec);
    source.out = OpenHostFile(*copy, "wb");
    if (source.out == nullptr) {
      std::fclose(source.in);
      *error = "cannot create \"" + Shown(*copy) + "\"";
      return false;
    }
  }
  const bool ok = HashFileContents(length, ReadAndCopy, &source, digest);
  // One byte more than the size said means the file grew while it was read.
  const bool grew = std::fgetc(source.in) != EOF;
  std::fclose(source.in);
  const bool written = source.out == nullptr || std::fclose(source.out) == 0;
  if (!ok || grew || !written) {
    *error = "cannot " + std::string(copy != nullptr ? "copy" : "read") + " \"" + Shown(path) +
             "\" (a read or write failed, or the file changed while it was read)";
    return false;
  }
  *size = length;
  return true;
}

bool HashFiles(const std::vector<GameFile>& files, const fs::path* copyRoot, Progress* progress,
               std::vector<Record>* records, std::string* error) {
  records->assign(files.size(), Record());
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex firstError;
  // Two threads: one reads while the other hashes, which keeps both the disk and MD5 busy.
  const auto work = [&]() {
    for (std::size_t i; !failed && (i = next++) < files.size();) {
      Record& r = (*records)[i];
      r.name = files[i].name;
      std::string why;
      fs::path served;
      if (copyRoot != nullptr) ServedPathOf(files[i].name, &served);  // the name came from the host
      const fs::path copy = copyRoot != nullptr ? *copyRoot / served : fs::path();
      if (!HashFile(files[i].path, &r.size, r.digest, &why, copyRoot != nullptr ? &copy : nullptr)) {
        std::lock_guard<std::mutex> lock(firstError);
        if (!failed.exchange(true)) *error = why;
        return;
      }
      if (progress != nullptr) progress->Add(1, r.size);
    }
  };
  std::thread helper(work);
  work();
  helper.join();
  return !failed;
}

bool LoadManifest(const std::string& path, std::vector<Record>* records, std::string* error) {
  std::ifstream in(PathOfWord(path), std::ios::binary);
  std::string text;
  if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) {
    *error = "cannot read the previous manifest \"" + path + "\"";
    return false;
  }
  CVersionInfo info;
  if (!info.ReadFromMemory(text.c_str())) {
    *error = "\"" + path + "\" is not a manifest the launcher can read";
    return false;
  }
  records->clear();
  for (const auto& e : info.entries()) {
    Record r;
    r.name = e.name;
    r.size = e.size;
    std::memcpy(r.digest, e.hash, kMd5DigestSize);
    r.version = e.updateVersion;
    records->push_back(r);
  }
  return true;
}

std::vector<Record> MergeRecords(const std::vector<Record>& current, const std::vector<Record>& previous, int version) {
  std::map<std::string, const Record*> old;
  for (const Record& r : previous) old[Folded(r.name)] = &r;

  std::vector<Record> out;
  std::map<std::string, bool> present;
  for (const Record& r : current) {
    Record merged = r;
    merged.version = version;
    auto it = old.find(Folded(r.name));
    if (it != old.end() && it->second->size == r.size && it->second->size != 0 &&
        std::memcmp(it->second->digest, r.digest, kMd5DigestSize) == 0) {
      merged.version = it->second->version;
    }
    present[Folded(r.name)] = true;
    out.push_back(merged);
  }
  for (const Record& r : previous) {
    if (present.count(Folded(r.name)) != 0) continue;
    present[Folded(r.name)] = true;  // a name listed twice yields one record
    Record removed = r;
    if (r.size != 0) {
      removed.size = 0;
      MD5Digest("", 0, removed.digest);
      removed.version = version;
    }
    out.push_back(removed);
  }
  std::sort(out.begin(), out.end(), [](const Record& a, const Record& b) { return a.name < b.name; });
  return out;
}

bool BuildRecords(const std::vector<GameFile>& files, const Options& options, int version,
                  std::vector<Record>* records, std::string* error, const fs::path* copyRoot, Progress* progress) {
  std::vector<Record> previous;
  auto p = options.values.find("--previous");
  if (p != options.values.end() && !LoadManifest(p->second, &previous, error)) return false;
  for (const GameFile& f : files) {
    std::error_code ec;
    if (fs::file_size(f.path, ec) == 0 && !ec) {
      // Size 0 is how a manifest says "removed": the launcher would delete this file.
      *error = "the manifest cannot carry the empty file \"" + Shown(f.relative) + "\": size 0 marks a removed file";
      return false;
    }
  }
  std::vector<Record> current;
  if (!HashFiles(files, copyRoot, progress, &current, error)) return false;
  *records = MergeRecords(current, previous, version);
  return true;
}

std::string FormatManifest(const std::vector<Record>& records) {
  std::string out;
  for (const Record& r : records) {
    char digest[2 * kMd5DigestSize + 1];
    FormatDigest(r.digest, digest);
    out += r.name + "," + std::to_string(r.size) + "," + digest + "," + std::to_string(r.version) + "\r\n";
  }
  return out;
}

bool ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& known, Options* out,
                  std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      if (std::find(known.begin(), known.end(), a) == known.end()) {
        *error = "unknown option " + a;
        return false;
      }
      if (i + 1 >= args.size()) {
        *error = "option " + a + " needs a value";
        return false;
      }
      out->values[a] = args[++i];
      out->repeated[a].push_back(args[i]);
    } else {
      out->operands.push_back(a);
    }
  }
  return true;
}

bool ParseVersion(const std::string& text, int* version) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *version = std::stoi(text);
  return *version > 0;
}

bool ParseVersionOption(const Options& options, int* version, std::string* error) {
  auto v = options.values.find("--version");
  if (v == options.values.end() || !ParseVersion(v->second, version)) {
    *error = "--version N is required (a positive number)";
    return false;
  }
  return true;
}

fs::path StagingPathBeside(const fs::path& target) {
  static std::random_device random;
  fs::path name = ".";
  name += target.filename();
  name += ".talvpack-" + std::to_string(random());
  return target.parent_path() / name;
}

int Guarded(const char* command, int (*body)(const std::vector<std::string>&), const std::vector<std::string>& args) {
  try {
    return body(args);
  } catch (const std::exception& e) {
    return Fail(command, e.what());
  }
}

int Fail(const char* command, const std::string& message) {
  std::fprintf(stderr, "talvpack %s: %s\n", command, message.c_str());
  return 1;
}

}  // namespace talvpack
