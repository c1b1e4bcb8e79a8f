#include "tools/talvpack/manifest_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <exception>
#include <system_error>

#include "launcher/core/limits.h"
#include "launcher/patch/version_info.h"
#include "launcher/transfer/file_digest.h"

namespace fs = std::filesystem;

namespace talvpack {

namespace {

std::string Folded(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (c == '/') c = '\\';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool ReadPiece(void* source, unsigned char* buffer, std::uint32_t n) {
  return std::fread(buffer, 1, n, static_cast<std::FILE*>(source)) == n;
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

bool ListGameFiles(const fs::path& dir, std::vector<GameFile>* files, std::string* error) {
  files->clear();
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    *error = "\"" + dir.string() + "\" is not a folder";
    return false;
  }
  fs::recursive_directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::path& path = it->path();
    std::error_code typeError;
    if (it->is_directory(typeError)) {
      // A linked folder would not be walked; leaving its files out silently is worse.
      if (it->is_symlink(typeError)) {
        *error = "\"" + path.string() + "\" is a link to a folder; links to folders are not followed";
        return false;
      }
      continue;
    }
    if (!it->is_regular_file(typeError)) {
      *error = "\"" + path.string() + "\" is not a regular file";
      return false;
    }
    std::string name = path.lexically_relative(dir).generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    const std::string problem = NameProblem(name);
    if (!problem.empty()) {
      *error = "the manifest cannot carry the name \"" + name + "\": " + problem;
      return false;
    }
    files->push_back(GameFile{name, path});
  }
  if (ec) {
    *error = "cannot read the folder \"" + dir.string() + "\": " + ec.message();
    return false;
  }
  std::sort(files->begin(), files->end(), [](const GameFile& a, const GameFile& b) { return a.name < b.name; });
  return true;
}

bool HashFile(const fs::path& path, std::uint64_t* size, unsigned char digest[kMd5DigestSize], std::string* error) {
  std::error_code ec;
  const std::uintmax_t length = fs::file_size(path, ec);
  std::FILE* file = ec ? nullptr : std::fopen(path.string().c_str(), "rb");
  if (file == nullptr) {
    *error = "cannot read \"" + path.string() + "\"";
    return false;
  }
  const bool ok = HashFileContents(length, ReadPiece, file, digest);
  // One byte more than the size said means the file grew while it was read.
  const bool grew = std::fgetc(file) != EOF;
  std::fclose(file);
  if (!ok || grew) {
    *error = "cannot read \"" + path.string() + "\" (read failed or the file changed while it was read)";
    return false;
  }
  *size = length;
  return true;
}

bool LoadManifest(const std::string& path, std::vector<Record>* records, std::string* error) {
  std::ifstream in(path, std::ios::binary);
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
                  std::vector<Record>* records, std::string* error) {
  std::vector<Record> previous;
  auto p = options.values.find("--previous");
  if (p != options.values.end() && !LoadManifest(p->second, &previous, error)) return false;
  std::vector<Record> current;
  for (const GameFile& f : files) {
    Record r;
    r.name = f.name;
    if (!HashFile(f.path, &r.size, r.digest, error)) return false;
    if (r.size == 0) {
      // Size 0 is how a manifest says "removed": the launcher would delete this file.
      *error = "the manifest cannot carry the empty file \"" + f.name + "\": size 0 marks a removed file";
      return false;
    }
    current.push_back(r);
  }
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
      out->all[a].push_back(args[i]);
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
