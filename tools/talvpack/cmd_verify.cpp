// talvpack verify: reads a published tree as the launcher will (the patch information, the
// manifests, every file's size and MD5, every signature) and reports every fault before the
// tree is uploaded. Each check is one function over the tree; a new form the launcher
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
#include "launcher/patch/update_signature.h"
#include "launcher/patch/version_info.h"
#include "launcher/transfer/file_digest.h"
#include "tools/talvpack/command.h"
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
  } else if (info.blocked && info.st_dt == 0) {
    // Deliberate during maintenance, so not a fault; but worth a look before an upload.
    std::fprintf(stderr, "talvpack verify: note: patch_live.txt closes the service (patch_accept 0)\n");
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

void CheckSignatures(Tree& tree) {
  if (!tree.signatures) return;
  for (const char* document : kDocuments) {
    std::string text, signature;
    if (!ReadFile(tree.root / document, &text)) continue;
    const std::string name = std::string(document) + kSignatureSuffix;
    if (!ReadFile(tree.root / name, &signature)) {
      tree.Fault(name + " is missing: a launcher built with the key refuses " + document);
      continue;
    }
    const char* why = CheckUpdateSignature(tree.key, text.data(), text.size(), signature.data(), signature.size());
    if (why != nullptr) tree.Fault(name + ": " + why);
  }
}

using Check = void (*)(Tree&);
constexpr Check kChecks[] = {CheckPatchInformation, CheckManifest, CheckLauncherManifest, CheckSignatures};

int Verify(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {"--public-key"}, &options, &error)) return Fail(kCommand, error);
  if (options.operands.size() != 1) return Fail(kCommand, "one TREE is expected");
  Tree tree;
  tree.root = PathOfWord(options.operands[0]);
  std::error_code ec;
  if (!fs::is_directory(tree.root, ec)) return Fail(kCommand, "\"" + Shown(tree.root) + "\" is not a folder");
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

TALVPACK_COMMAND(verify, "verify", "verify [--public-key PUBLIC_KEY] TREE",
                 "Reads the patch server tree TREE as the launcher will and lists every fault, one per\n"
                 "line: patch_live.txt, version.txt and every file it lists under Talvenor/ (present,\n"
                 "its size and MD5), talvenor.txt and the new launcher it names, the names themselves.\n"
                 "With --public-key, every document's signature NAME.minisig too. Exits 0 only when\n"
                 "there is no fault.",
                 talvpack::VerifyMain);
