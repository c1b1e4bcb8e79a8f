// What the installation tests share: file trees, archives packed by the built talvpack,
// a panel that records what it is shown.
#pragma once
#include "launcher/core/windows_api.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "launcher/core/installed_file_tree.h"
#include "launcher/ui/panel.h"
#include "tests/support/host_session.h"
#include "tests/support/win_test_util.h"

// Relative name ("\" separators) -> contents.
using Tree = std::map<std::string, std::string>;

// Every file under root with its contents; empty when root does not exist.
inline Tree ReadTree(const std::string& root) {
  Tree tree;
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    std::string name = it->path().lexically_relative(root).string();
    std::replace(name.begin(), name.end(), '/', '\\');
    tree[name] = ReadFileOr(it->path().string());
  }
  return tree;
}

inline std::string ForwardPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// A host path of the build (TALV_BUILD_DIR) as Wine sees it.
inline std::string WinPath(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '/', '\\');
  return !path.empty() && path[0] == '/' ? "Z:" + out : out;
}

inline ProcessResult RunTalvpack(const std::string& args) {
  return RunProcess("\"" + BinPath("talvpack.exe") + "\" " + args, "", 120000);
}

// files written under scratch and packed with talvpack zip; the archive's path, "" on failure.
inline std::string PackZip(const ScopedTempDir& scratch, const Tree& files) {
  static int serial = 0;
  const std::string source = scratch / ("src" + std::to_string(++serial));
  const std::string zip = source + ".zip";
  CreateDirectoryA(source.c_str(), nullptr);
  if (!WriteTree(source, files)) return "";
  const ProcessResult r = RunTalvpack("zip --allow-empty \"" + source + "\" -o \"" + zip + "\"");
  return r.finished && r.exitCode == 0 ? zip : "";
}

// The files of the installed-file record, "/" separators, sorted.
inline std::vector<std::string> RecordedFiles(const InstalledFileTree& tree) {
  std::vector<std::string> files;
  tree.Walk(
      [](const char* path, bool folder, void* out) {
        if (!folder) static_cast<std::vector<std::string>*>(out)->push_back(ForwardPath(path));
      },
      &files);
  std::sort(files.begin(), files.end());
  return files;
}

// Records texts and changed percentages (as the dialog's panel repaints only on a change).
class RecordingPanel final : public IPanel {
 public:
  void SetPanelType(PanelType type) override { types.push_back(type); }
  void SetGameVersion(int) override {}
  void SetText(const char* text) override { texts.push_back(text != nullptr ? text : ""); }
  void SetProgress(int percent) override {
    if (!progress.empty() && progress.back() == percent) return;
    progress.push_back(percent);
    if (onProgress) onProgress(percent);
  }
  void SetSize(std::uint64_t, std::uint64_t) override {}
  void SetSpeed(std::uint32_t, std::uint32_t) override {}

  std::vector<int> types;
  std::vector<std::string> texts;
  std::vector<int> progress;
  std::function<void(int)> onProgress;
};
