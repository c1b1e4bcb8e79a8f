// talvpack zip: packs a game folder into the archive a self-extracting patch carries.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/talvpack/command.h"
#include "tools/talvpack/host_names.h"
#include "tools/talvpack/manifest_builder.h"
#include "tools/talvpack/zip_writer.h"

namespace fs = std::filesystem;

namespace talvpack {

namespace {

constexpr const char* kCommand = "zip";

int Zip(const std::vector<std::string>& args) {
  std::string folderWord, output;
  int level = 6;
  bool allowEmpty = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "-o" || a == "--output") && i + 1 < args.size()) {
      output = args[++i];
    } else if (a == "--level" && i + 1 < args.size()) {
      char* end = nullptr;
      level = static_cast<int>(std::strtol(args[++i].c_str(), &end, 10));
      if (*end != '\0' || level < 0 || level > 9) return Fail(kCommand, "--level takes 0 (store) to 9");
    } else if (a == "--allow-empty") {
      allowEmpty = true;
    } else if (folderWord.empty() && !a.empty() && a[0] != '-') {
      folderWord = a;
    } else {
      return Fail(kCommand, "unexpected argument \"" + a + "\"");
    }
  }
  if (folderWord.empty() || output.empty()) {
    return Fail(kCommand, "usage: talvpack zip GAME_DIR -o PATCH.zip [--level N] [--allow-empty]");
  }
  GameFolder folder;
  std::string error;
  if (!ListGameFolder(PathOfWord(folderWord), &folder, &error)) return Fail(kCommand, error);

  std::error_code ec;
  const fs::path outputPath = fs::weakly_canonical(PathOfWord(output), ec);
  std::vector<ZipItem> items;
  for (const GameFile& f : folder.files) {
    if (fs::weakly_canonical(f.path, ec) == outputPath) continue;  // the archive being written
    std::error_code sizeError;
    if (!allowEmpty && fs::file_size(f.path, sizeError) == 0 && !sizeError) {
      // A self-extracting patch skips empty entries: the players would keep their old copy.
      return Fail(kCommand, "\"" + Shown(f.relative) + "\" is empty, and a self-extracting patch skips empty files "
                            "(the installation keeps its old copy); --allow-empty packs it anyway");
    }
    items.push_back(ZipItem{ArchiveName(f.name), f.path, false, ""});
  }
  for (const GameFile& f : folder.folders) items.push_back(ZipItem{ArchiveName(f.name) + "/", f.path, true, ""});
  // Sorted, so that the same folder always gives the same archive.
  std::sort(items.begin(), items.end(), [](const ZipItem& a, const ZipItem& b) { return a.name < b.name; });
  if (!WriteZipArchive(PathOfWord(output), items, level, &error)) return Fail(kCommand, error);
  std::printf("%s: %zu entries\n", output.c_str(), items.size());
  return 0;
}

int ZipMain(const std::vector<std::string>& args) { return Guarded(kCommand, Zip, args); }

}  // namespace

}  // namespace talvpack

TALVPACK_COMMAND(zip, "zip", "zip GAME_DIR -o PATCH.zip [--level N] [--allow-empty]",
                 "Packs every file and folder under GAME_DIR into PATCH.zip, names relative to GAME_DIR\n"
                 "in code page 950 (Big5) with \"/\" separators, in name order. Files are deflated (level 6\n"
                 "unless --level gives 1-9) or stored when that does not make them smaller; --level 0\n"
                 "stores all. An empty file is refused (a self-extracting patch skips it) unless\n"
                 "--allow-empty is given; so are a name without a Big5 form, one the launcher refuses and\n"
                 "two names equal but for case. No ZIP64: files and the archive stay below 4 GiB.",
                 talvpack::ZipMain);
