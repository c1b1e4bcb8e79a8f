// talvpack verify: reads a published tree as the launcher will (the patch information, the
// manifests, every file's size and MD5, the transfer index and its forms, every signature)
// and reports every fault before the tree is uploaded. Each check is one function over the tree; a new form the launcher
// learns to read is one more entry of kChecks.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "launcher/core/launcher_mgr.h"
#include "launcher/patch/launcher_update.h"
#include "launcher/patch/manifest_name.h"
#include "launcher/patch/patch_info.h"
#include "launcher/patch/transfer_index.h"
#include "launcher/patch/update_signature.h"
#include "launcher/patch/version_info.h"
#include "launcher/transfer/delta_apply.h"
#include "launcher/transfer/file_digest.h"
#include "tools/talvpack/command.h"
#include "tools/talvpack/forms_writer.h"
#include "tools/talvpack/host_names.h"
#include "tools/talvpack/manifest_builder.h"
#include "tools/talvpack/progress.h"

namespace fs = std::filesystem;

namespace talvpack {

namespace {

constexpr const char* kCommand = "verify";
constexpr std::size_t kMaxPatchInformation = 4096;  // the launcher reads no more of it
constexpr const char* kDocuments[] = {"patch_live.txt", "version.txt", "talvenor.txt"};

struct Tree {
  fs::path root;
  bool signatures = false;
  UpdatePublicKey key;
  std::string formsName;           // the transfer index patch_live.txt announces, or ""
  std::vector<fs::path> earlier;   // --delta-from: trees whose files the deltas apply to
  std::vector<std::string> faults;
  Progress* progress = nullptr;

  void Fault(const std::string& text) { faults.push_back(text); }
};

bool ReadFile(const fs::path& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Whether the patch information has a "forms" key, however its value reads.
bool AnnouncesForms(const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t begin = text.find_first_not_of(" \t\r\n", at);
    if (begin == std::string::npos) break;
    std::size_t end = text.find_first_of(" \t\r\n", begin);
    if (end == std::string::npos) end = text.size();
    std::string token = text.substr(begin, end - begin);
    for (char& c : token) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (token == "forms") return true;
    at = end;
  }
  return false;
}

void CheckPatchInformation(Tree& tree) {
  std::string text;
  if (!ReadFile(tree.root / "patch_live.txt", &text)) {
    tree.Fault("patch_live.txt is missing");
    return;
  }
  CPatchInfo info;
  if (text.size() > kMaxPatchInformation) {
    tree.Fault("patch_live.txt is longer than the " + std::to_string(kMaxPatchInformation) + " bytes the launcher reads");
  } else if (!info.Parse(text.c_str())) {
    tree.Fault("patch_live.txt does not read as patch information (patch_accept, patch_version, ftp, "
               "launcher_version and login, in this order)");
  } else {
    if (info.blocked && info.st_dt == 0) {
      // Deliberate during maintenance, so not a fault; but worth a look before an upload.
      std::fprintf(stderr, "talvpack verify: note: patch_live.txt closes the service (patch_accept 0)\n");
    }
    tree.formsName = info.forms;
    // The reader drops a bad value with a log line only: the players would silently get the
    // raw files, so the publisher hears of it here.
    if (tree.formsName.empty() && AnnouncesForms(text)) {
      tree.Fault("patch_live.txt: the \"forms\" value is not a name the launcher takes (one safe relative name "
                 "under 260 bytes): no transfer index");
    }
  }
}

// The files a manifest lists, each checked where the launcher fetches it.
void CheckListedFiles(Tree& tree, const char* document, const fs::path& folder, bool launcherManifest) {
  std::string text;
  if (!ReadFile(tree.root / document, &text)) {
    if (!launcherManifest) tree.Fault(std::string(document) + " is missing");
    return;  // a tree without a new launcher has no talvenor.txt
  }
  CVersionInfo manifest;
  if (!manifest.ReadFromMemory(text.c_str())) {
    tree.Fault(std::string(document) + " does not read as a manifest");
    return;
  }
  std::size_t lines = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    if (text.find_first_not_of(" \t,", at) < end) ++lines;
    at = end + 1;
  }
  if (manifest.GetCount() < lines) {
    tree.Fault(std::string(document) + ": the launcher reads " + std::to_string(manifest.GetCount()) + " of its " +
               std::to_string(lines) + " lines (a name that begins with a number switches to the counted form)");
  }
  if (launcherManifest && (manifest.GetCount() == 0 || !IsUsableLauncherName(manifest.GetName(0), "Talvenor.exe"))) {
    tree.Fault("talvenor.txt does not name a launcher the update can use");
  }
  std::map<std::u32string, std::string> seen;
  for (const auto& e : manifest.entries()) {
    const std::string shown = std::string(document) + ": \"" + e.name + "\"";
    fs::path relative;
    std::u32string text32;
    if (!IsSafeManifestName(e.name.c_str())) {
      tree.Fault(shown + ": the launcher refuses the name");
      continue;
    }
    if (!ServedPathOf(e.name, &relative) || !FromCodePage950(e.name, &text32)) {
      tree.Fault(shown + ": the name is not code page 950 (Big5) text");
      continue;
    }
    const auto twin = seen.emplace(CaseKey(text32), e.name);
    if (!twin.second) tree.Fault(shown + " and \"" + twin.first->second + "\" differ only in case");
    if (e.size == 0) continue;  // a removal: nothing is fetched
    const fs::path path = folder / relative;
    std::uint64_t size = 0;
    unsigned char digest[kMd5DigestSize];
    std::string error;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
      tree.Fault(shown + ": the file \"" + Shown(path) + "\" is missing");
    } else if (!HashFile(path, &size, digest, &error)) {
      tree.Fault(shown + ": " + error);
    } else if (size != e.size) {
      tree.Fault(shown + ": the file has " + std::to_string(size) + " bytes, the manifest says " + std::to_string(e.size));
    } else if (std::memcmp(digest, e.hash, kMd5DigestSize) != 0) {
      tree.Fault(shown + ": the file's MD5 is not the manifest's");
    }
    if (tree.progress != nullptr) tree.progress->Add(1, size);
  }
}

void CheckManifest(Tree& tree) { CheckListedFiles(tree, "version.txt", tree.root / "Talvenor", false); }

void CheckLauncherManifest(Tree& tree) { CheckListedFiles(tree, "talvenor.txt", tree.root, true); }


// The MD5 and length of what a decoder writes, without keeping it.
class DigestSink : public ByteSink {
 public:
  DigestSink() { MD5Init(&m_md5); }
  bool Write(const void* data, std::size_t n) override {
    MD5Update(&m_md5, data, n);
    m_size += n;
    return true;
  }
  // True when the bytes written were exactly size bytes with digest md5.
  bool Made(std::uint64_t size, const unsigned char md5[kMd5DigestSize]) {
    unsigned char digest[kMd5DigestSize];
    MD5Final(digest, &m_md5);
    return m_size == size && std::memcmp(digest, md5, kMd5DigestSize) == 0;
  }

 private:
  MD5_CTX m_md5;
  std::uint64_t m_size = 0;
};

std::string Hex(const unsigned char digest[kMd5DigestSize]) {
  char text[2 * kMd5DigestSize + 1];
  FormatDigest(digest, text);
  return text;
}

const CVersionInfo::Entry* FindEntry(const CVersionInfo& manifest, const std::string& name) {
  for (const auto& e : manifest.entries()) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

// The earlier content a delta applies to, found in the --delta-from trees; each file is hashed
// once however many deltas start from it.
struct EarlierFile {
  std::uint64_t size = 0;
  unsigned char md5[kMd5DigestSize] = {};
  bool present = false;
};

const fs::path* FindSource(Tree& tree, const std::string& name, const TransferForm& form,
                           std::map<fs::path, EarlierFile>* hashed) {
  fs::path relative;
  if (!ServedPathOf(name, &relative)) return nullptr;
  for (const fs::path& earlier : tree.earlier) {
    const fs::path path = earlier / "Talvenor" / relative;
    auto it = hashed->find(path);
    if (it == hashed->end()) {
      EarlierFile file;
      std::string error;
      std::error_code ec;
      file.present = fs::is_regular_file(path, ec) && HashFile(path, &file.size, file.md5, &error);
      it = hashed->emplace(path, file).first;
    }
    if (it->second.present && it->second.size == form.sourceSize &&
        std::memcmp(it->second.md5, form.sourceMd5, kMd5DigestSize) == 0) {
      return &it->first;
    }
  }
  return nullptr;
}

// One delta: its header against the index and version.txt, and with --delta-from its result
// on the earlier content it starts from.
void CheckDelta(Tree& tree, const std::string& shown, const std::string& name, const CVersionInfo::Entry& entry,
                const TransferForm& form, const fs::path& path, std::map<fs::path, EarlierFile>* hashed) {
  FileSource delta;
  unsigned char raw[kDeltaHeaderSize];
  DeltaHeader header;
  if (!delta.Open(path) || delta.Size() < kDeltaHeaderSize || !delta.ReadAt(0, raw, sizeof raw)) {
    tree.Fault(shown + ": the header is cut short");
    return;
  }
  const DeltaHeaderResult read = ReadDeltaHeader(raw, delta.Size(), &header);
  if (read != DeltaHeaderResult::kOk) {
    tree.Fault(shown + ": the header is damaged: " + DescribeDeltaHeaderResult(read));
    return;
  }
  if (header.sourceSize != form.sourceSize || std::memcmp(header.sourceMd5, form.sourceMd5, kMd5DigestSize) != 0) {
    tree.Fault(shown + ": the header's source (" + std::to_string(header.sourceSize) + " bytes, MD5 " +
               Hex(header.sourceMd5) + ") is not the index's");
    return;
  }
  if (header.resultSize != entry.size || std::memcmp(header.resultMd5, entry.hash, kMd5DigestSize) != 0) {
    tree.Fault(shown + ": the header's result (" + std::to_string(header.resultSize) + " bytes, MD5 " +
               Hex(header.resultMd5) + ") is not the file of version.txt");
    return;
  }
  if (tree.earlier.empty()) return;
  const fs::path* from = FindSource(tree, name, form, hashed);
  if (from == nullptr) {
    std::fprintf(stderr, "talvpack verify: note: %s: no --delta-from tree holds its source\n", shown.c_str());
    return;
  }
  FileSource source;
  DigestSink result;
  if (!source.Open(*from) || !ApplyDelta(delta, source, result, name.c_str(), entry.hash) ||
      !result.Made(entry.size, entry.hash)) {
    tree.Fault(shown + ": applied to \"" + Shown(*from) + "\" it does not make the file of version.txt");
  }
}

// The transfer index the patch information announces, and every form it lists, as the launcher
// would fetch and decode them: present, of the index's size and MD5, decoding to the file of
// version.txt.
void CheckTransferIndex(Tree& tree) {
  std::error_code ec;
  if (tree.formsName.empty()) {
    if (fs::exists(tree.root / kTransferIndexName, ec)) {
      std::fprintf(stderr, "talvpack verify: note: patch_live.txt does not announce %s: launchers never ask for it\n",
                   kTransferIndexName);
    }
    return;
  }
  const std::string& index = tree.formsName;
  fs::path indexPath;
  std::string text;
  if (!ServedPathOf(index, &indexPath) || !ReadFile(tree.root / indexPath, &text)) {
    tree.Fault(index + " (announced by patch_live.txt) is missing: players get the raw files only");
    return;
  }
  if (text.size() > kMaxTransferIndexSize) {
    tree.Fault(index + " is longer than the " + std::to_string(kMaxTransferIndexSize >> 20) +
               " MB the launcher reads");
    return;
  }
  CTransferIndex forms;
  if (!forms.Read(text.data(), text.size())) {
    tree.Fault(index + " does not read as a transfer index (first line \"talvenor-forms 1\", then whole and delta "
                       "lines with safe names, decimal sizes and 32-digit digests)");
    return;
  }
  std::string manifestText;
  CVersionInfo manifest;
  if (!ReadFile(tree.root / "version.txt", &manifestText) || !manifest.ReadFromMemory(manifestText.c_str())) {
    return;  // named by the manifest's own check
  }
  std::map<fs::path, EarlierFile> hashed;
  for (const auto& [name, file] : forms.Files()) {
    const std::string named = index + ": \"" + name + "\"";
    const CVersionInfo::Entry* entry = FindEntry(manifest, name);
    if (entry == nullptr || entry->size == 0) {
      tree.Fault(named + ": version.txt lists no such file to fetch");
      continue;
    }
    if (std::memcmp(file.resultMd5, entry->hash, kMd5DigestSize) != 0) {
      tree.Fault(named + ": its forms decode to another content than version.txt's, so the launcher never uses them");
      continue;
    }
    for (const TransferForm& form : file.forms) {
      const bool whole = form.kind == TransferFormKind::kWhole;
      const std::string shown = named + ": " + (whole ? "compressed file" : "delta") + " \"" + form.path + "\"";
      fs::path relative;
      std::uint64_t size = 0;
      unsigned char digest[kMd5DigestSize];
      std::string error;
      const fs::path path = ServedPathOf(form.path, &relative) ? tree.root / relative : fs::path();
      if (path.empty() || !fs::is_regular_file(path, ec)) {
        tree.Fault(shown + ": the form is missing");
        continue;
      }
      if (!HashFile(path, &size, digest, &error)) {
        tree.Fault(shown + ": " + error);
        continue;
      }
      if (tree.progress != nullptr) tree.progress->Add(1, size);
      if (size != form.size) {
        tree.Fault(shown + ": the form has " + std::to_string(size) + " bytes, the index says " +
                   std::to_string(form.size));
        continue;
      }
      if (std::memcmp(digest, form.md5, kMd5DigestSize) != 0) {
        tree.Fault(shown + ": the form's MD5 is not the index's");
        continue;
      }
      if (form.size >= entry->size) {
        std::fprintf(stderr, "talvpack verify: note: %s is no smaller than the raw file: launchers never use it\n",
                     shown.c_str());
      }
      if (whole) {
        FileSource packed;
        DigestSink result;
        if (!packed.Open(path) || !DecompressWholeFile(packed, entry->size, entry->hash, result, name.c_str()) ||
            !result.Made(entry->size, entry->hash)) {
          tree.Fault(shown + ": it does not decompress to the " + std::to_string(entry->size) +
                     " bytes and MD5 of version.txt");
        }
      } else {
        CheckDelta(tree, shown, name, *entry, form, path, &hashed);
      }
    }
  }
}

void CheckSignatures(Tree& tree) {
  if (!tree.signatures) return;
  std::vector<std::string> documents(std::begin(kDocuments), std::end(kDocuments));
  // A launcher built with the key uses an announced index only with its signature.
  if (!tree.formsName.empty()) documents.push_back(tree.formsName);
  for (const std::string& document : documents) {
    fs::path relative;
    std::string text, signature;
    if (!ServedPathOf(document, &relative) || !ReadFile(tree.root / relative, &text)) continue;
    const std::string name = document + kSignatureSuffix;
    relative += kSignatureSuffix;
    if (!ReadFile(tree.root / relative, &signature)) {
      tree.Fault(name + " is missing: a launcher built with the key refuses " + document);
      continue;
    }
    const char* why = CheckUpdateSignature(tree.key, text.data(), text.size(), signature.data(), signature.size());
    if (why != nullptr) tree.Fault(name + ": " + why);
  }
}

using Check = void (*)(Tree&);
constexpr Check kChecks[] = {CheckPatchInformation, CheckManifest, CheckLauncherManifest, CheckTransferIndex,
                             CheckSignatures};

int Verify(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {"--public-key", "--delta-from"}, &options, &error)) return Fail(kCommand, error);
  if (options.operands.size() != 1) return Fail(kCommand, "one TREE is expected");
  Tree tree;
  tree.root = PathOfWord(options.operands[0]);
  std::error_code ec;
  if (!fs::is_directory(tree.root, ec)) return Fail(kCommand, "\"" + Shown(tree.root) + "\" is not a folder");
  const auto earlier = options.repeated.find("--delta-from");
  if (earlier != options.repeated.end()) {
    for (const std::string& word : earlier->second) {
      tree.earlier.push_back(PathOfWord(word));
      if (!fs::is_directory(tree.earlier.back(), ec)) {
        return Fail(kCommand, "--delta-from " + word + " is not a folder");
      }
    }
  }
  const auto keyPath = options.values.find("--public-key");
  if (keyPath != options.values.end()) {
    std::string keyText;
    if (!ReadFile(PathOfWord(keyPath->second), &keyText) ||
        !ParseUpdatePublicKey(keyText.data(), keyText.size(), &tree.key)) {
      return Fail(kCommand, "\"" + keyPath->second + "\" is not a minisign public key");
    }
    tree.signatures = true;
  }
  Progress progress("verify");
  tree.progress = &progress;
  for (Check check : kChecks) check(tree);
  progress.Finish();
  for (const std::string& fault : tree.faults) std::printf("%s: %s\n", Shown(tree.root).c_str(), fault.c_str());
  if (!tree.faults.empty()) {
    std::fprintf(stderr, "talvpack verify: %zu fault%s\n", tree.faults.size(), tree.faults.size() == 1 ? "" : "s");
    return 1;
  }
  std::printf("%s: the launcher reads the tree as published\n", Shown(tree.root).c_str());
  return 0;
}

int VerifyMain(const std::vector<std::string>& args) { return Guarded(kCommand, Verify, args); }

}  // namespace

}  // namespace talvpack

TALVPACK_COMMAND(verify, "verify", "verify [--public-key PUBLIC_KEY] [--delta-from EARLIER_TREE]... TREE",
                 "Reads the patch server tree TREE as the launcher will and lists every fault, one per\n"
                 "line: patch_live.txt, version.txt and every file it lists under Talvenor/ (present,\n"
                 "its size and MD5), talvenor.txt and the new launcher it names, the names themselves,\n"
                 "and the transfer index patch_live.txt announces: every form present with the index's\n"
                 "size and MD5, each compressed file decompressing to the file of version.txt, each\n"
                 "delta's header consistent with the index and version.txt. With --delta-from (a tree\n"
                 "published before; repeatable), each delta starting from that tree's file is applied\n"
                 "and its result checked. With --public-key, every document's signature NAME.minisig\n"
                 "too. Exits 0 only when there is no fault.",
                 talvpack::VerifyMain);
