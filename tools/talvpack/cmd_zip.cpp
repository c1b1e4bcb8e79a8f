// talvpack zip: packs a game folder into the archive a self-extracting patch carries.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/talvpack/command.h"
#include "tools/talvpack/zip_writer.h"

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "talvpack zip: %s\n", message.c_str());
  return 1;
}

int ZipMain(const std::vector<std::string>& args) {
  std::string folder, output;
  int level = 6;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "-o" || a == "--output") && i + 1 < args.size()) {
      output = args[++i];
    } else if (a == "--level" && i + 1 < args.size()) {
      char* end = nullptr;
      level = static_cast<int>(std::strtol(args[++i].c_str(), &end, 10));
      if (*end != '\0' || level < 0 || level > 9) return Fail("--level takes 0 (store) to 9");
    } else if (folder.empty() && !a.empty() && a[0] != '-') {
      folder = a;
    } else {
      return Fail("unexpected argument \"" + a + "\"");
    }
  }
  if (folder.empty() || output.empty()) return Fail("usage: talvpack zip GAME_DIR -o PATCH.zip [--level N]");
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return Fail("\"" + folder + "\" is not a folder");

  // Sorted, so that the same folder always gives the same archive.
  struct Item {
    std::string name;
    fs::path path;
    bool directory;
  };
  std::vector<Item> items;
  const fs::path root(folder);
  const fs::path outputPath = fs::weakly_canonical(fs::path(output), ec);
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    if (fs::weakly_canonical(p, ec) == outputPath) continue;  // the archive being written
    std::string name = p.lexically_relative(root).generic_string();
    const bool directory = it->is_directory(ec);
    if (directory) {
      name += '/';
    } else if (!it->is_regular_file(ec)) {
      continue;
    }
    items.push_back({name, p, directory});
  }
  if (ec) return Fail("cannot list \"" + folder + "\": " + ec.message());
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.name < b.name; });

  ZipWriter zip;
  std::string error;
  if (!zip.Open(output, &error)) return Fail(error);
  for (const Item& item : items) {
    bool ok;
    if (item.directory) {
      std::uint16_t date = 0, time = 0;
      ok = DosTimeOfFile(item.path.string(), &date, &time) && zip.AddDirectory(item.name, date, time, &error);
    } else {
      ok = zip.AddFile(item.name, item.path.string(), level, &error);
    }
    if (!ok) return Fail(error.empty() ? "cannot add \"" + item.name + "\"" : error);
  }
  if (!zip.Close(&error)) return Fail(error);
  std::printf("%s: %zu entries\n", output.c_str(), items.size());
  return 0;
}

}  // namespace

TALVPACK_COMMAND(zip, "zip", "zip GAME_DIR -o PATCH.zip [--level N]",
                 "Packs every file and folder under GAME_DIR into PATCH.zip, names relative to GAME_DIR\n"
                 "with \"/\" separators, in name order. Files are deflated (level 6 unless --level\n"
                 "gives 1-9) or stored when that does not make them smaller; --level 0 stores all.\n"
                 "No ZIP64: files and the archive stay below 4 GiB.",
                 ZipMain);
