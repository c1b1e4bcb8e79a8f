// talvpack installer: writes an install image, a folder that installs the game when the
// launcher in it is started:
//   OUT_DIR/Talvenor.exe        the launcher (its own file name)
//   OUT_DIR/Talvenor.tlvn       the zip installer file: every file of the game folder
// or, with --parts SIZE, the same archive cut into parts and the split installer file that
// lists them in order:
//   OUT_DIR/Talvenor.001 ...    the parts
//   OUT_DIR/Talvenor.dat        the manifest naming the parts
// The launcher finds either file by its own name with every "exe" replaced by "tlvn" or
// "dat". The image is built in a staging folder beside OUT_DIR and renamed into place only
// when it is complete, so a failure never leaves a half-written image.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "launcher/core/paths.h"
#include "launcher/core/pe_image.h"
#include "launcher/core/self_extract.h"
#include "launcher/core/text.h"
#include "launcher/patch/version_info.h"
#include "launcher/storage/zip_archive.h"
#include "tools/talvpack/command.h"
#include "tools/talvpack/host_names.h"
#include "tools/talvpack/manifest_builder.h"
#include "tools/talvpack/zip_writer.h"

namespace fs = std::filesystem;

namespace talvpack {

namespace {

constexpr const char* kCommand = "installer";
constexpr int kPartVersion = 1;  // the manifest form wants a version; the installer reads names only

bool ReadWhole(const fs::path& path, std::vector<unsigned char>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteWhole(const fs::path& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  return static_cast<bool>(out);
}

// SIZE in bytes, or with a suffix k, m or g (1024-based).
bool ParseSize(const std::string& text, std::uint64_t* out) {
  std::size_t digits = text.find_first_not_of("0123456789");
  if (digits == 0 || text.empty()) return false;
  std::uint64_t unit = 1;
  if (digits != std::string::npos) {
    if (digits + 1 != text.size()) return false;
    switch (text[digits]) {
      case 'k': case 'K': unit = 1ull << 10; break;
      case 'm': case 'M': unit = 1ull << 20; break;
      case 'g': case 'G': unit = 1ull << 30; break;
      default: return false;
    }
  } else {
    digits = text.size();
  }
  if (digits > 12) return false;
  *out = std::strtoull(text.substr(0, digits).c_str(), nullptr, 10) * unit;
  return *out > 0;
}

struct Image {
  fs::path gameDir;
  fs::path launcher;
  std::string launcherName, zipName, manifestName, partStem;
  int level = 6;
  int version = 0;  // 0: GAME_DIR's own version.dat
  std::uint64_t partSize = 0;  // 0: one zip installer file
};

// Cuts the archive into parts of partSize bytes and writes the manifest that lists them.
bool WriteParts(const Image& image, const fs::path& archive, const fs::path& staging, std::string* error) {
  std::ifstream in(archive, std::ios::binary);
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(image.partSize, 1u << 20)));
  std::vector<GameFile> parts;
  std::error_code ec;
  const std::uint64_t total = fs::file_size(archive, ec);
  if (!in || ec) {
    *error = "cannot read the archive back";
    return false;
  }
  const std::uint64_t count = (total + image.partSize - 1) / image.partSize;
  const int width = count > 999 ? static_cast<int>(std::to_string(count).size()) : 3;
  for (std::uint64_t i = 0; i < count; ++i) {
    char number[24];
    std::snprintf(number, sizeof(number), ".%0*llu", width, static_cast<unsigned long long>(i + 1));
    GameFile part{image.partStem + number, staging / (image.partStem + number), image.partStem + number};
    const std::string problem = NameProblem(part.name);
    if (!problem.empty()) {
      *error = "the manifest cannot carry the part name \"" + part.name + "\": " + problem;
      return false;
    }
    std::ofstream out(part.path, std::ios::binary | std::ios::trunc);
    std::uint64_t left = std::min(image.partSize, total - i * image.partSize);
    while (left > 0 && in && out) {
      const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
      in.read(buffer.data(), static_cast<std::streamsize>(chunk));
      out.write(buffer.data(), in.gcount());
      left -= static_cast<std::uint64_t>(in.gcount());
      if (static_cast<std::size_t>(in.gcount()) != chunk) break;
    }
    out.close();
    if (left != 0 || !out) {
      *error = "cannot write \"" + Shown(part.path) + "\"";
      return false;
    }
    parts.push_back(part);
  }
  std::vector<Record> records;
  for (const GameFile& part : parts) {
    Record r;
    r.name = part.name;
    r.version = kPartVersion;
    if (!HashFile(part.path, &r.size, r.digest, error)) return false;
    records.push_back(r);
  }
  const std::string manifest = FormatManifest(records);
  CVersionInfo back;
  bool same = back.ReadFromMemory(manifest.c_str()) && back.GetCount() == records.size();
  for (std::size_t i = 0; same && i < records.size(); ++i) same = records[i].name == back.GetName(i);
  if (!same) {
    *error = "the split installer manifest would not read back as written";
    return false;
  }
  if (!WriteWhole(staging / image.manifestName, manifest.data(), manifest.size())) {
    *error = "cannot write \"" + Shown((staging / image.manifestName)) + "\"";
    return false;
  }
  in.close();  // Windows keeps an open file from being removed
  fs::remove(archive, ec);
  if (ec) *error = "cannot remove \"" + Shown(archive) + "\": " + ec.message();
  return !ec;
}

constexpr char kVersionFile[] = "version.dat";

// version.dat as the launcher writes it: the version, 4 bytes, least significant first.
std::string VersionFileBytes(std::uint32_t version) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((version >> (8 * i)) & 0xFF);
  return bytes;
}

// The archive's entries: every file, every empty folder (the client check wants "movie" and
// "mp3" even when empty), and version.dat so that the installation starts at its version.
bool ImageEntries(const Image& image, std::vector<ZipItem>* items, std::string* error) {
  GameFolder folder;
  if (!ListGameFolder(image.gameDir, &folder, error)) return false;
  if (folder.files.empty()) {
    *error = "\"" + Shown(image.gameDir) + "\" holds no files";
    return false;
  }
  const GameFile* ownVersion = nullptr;
  for (const GameFile& f : folder.files) {
    if (EqualsNoCase(f.name.c_str(), kVersionFile)) ownVersion = &f;
    items->push_back(ZipItem{ArchiveName(f.name), f.path, false, ""});
  }
  for (const GameFile& f : folder.emptyFolders) items->push_back(ZipItem{ArchiveName(f.name) + "/", f.path, true, ""});
  if (ownVersion != nullptr) {
    std::vector<unsigned char> bytes;
    ReadWhole(ownVersion->path, &bytes);
    const std::string own(bytes.begin(), bytes.end());
    if (own.size() != 4 || (image.version != 0 && own != VersionFileBytes(static_cast<std::uint32_t>(image.version)))) {
      *error = "GAME_DIR's version.dat " +
               std::string(own.size() != 4 ? "is not the launcher's 4-byte version file"
                                           : "says another version than --version " + std::to_string(image.version));
      return false;
    }
  } else if (image.version != 0) {
    items->push_back(ZipItem{kVersionFile, fs::path(), false, VersionFileBytes(static_cast<std::uint32_t>(image.version))});
  } else {
    *error = "the image would install the game at version 0, and its first start would download the whole game: "
             "give --version N, or put the game's version.dat into GAME_DIR";
    return false;
  }
  std::sort(items->begin(), items->end(), [](const ZipItem& a, const ZipItem& b) { return a.name < b.name; });
  return true;
}

bool BuildImage(const Image& image, const std::vector<unsigned char>& launcher, const fs::path& staging,
                std::string* error) {
  std::vector<ZipItem> items;
  if (!ImageEntries(image, &items, error)) return false;
  if (!WriteWhole(staging / image.launcherName, launcher.data(), launcher.size())) {
    *error = "cannot write \"" + Shown(staging / image.launcherName) + "\"";
    return false;
  }
  Progress progress(kCommand);
  progress.SetTotal(items.size(), 0);
  const fs::path archive = image.partSize == 0 ? staging / image.zipName : staging / ".installer.zip";
  if (!WriteZipArchive(archive, items, image.level, error, &progress)) return false;
  progress.Finish();
  return image.partSize == 0 || WriteParts(image, archive, staging, error);
}

bool Inside(const fs::path& path, const fs::path& folder) {
  const fs::path relative = path.lexically_relative(folder);
  return !relative.empty() && *relative.begin() != "..";
}

int Installer(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {"--launcher", "--parts", "--level", "--version"}, &options, &error)) {
    return Fail(kCommand, error);
  }
  if (options.operands.size() != 2) return Fail(kCommand, "GAME_DIR and OUT_DIR are expected");
  auto get = [&](const char* name) {
    auto it = options.values.find(name);
    return it == options.values.end() ? std::string() : it->second;
  };

  Image image;
  std::error_code ec;
  image.gameDir = fs::absolute(PathOfWord(options.operands[0]), ec).lexically_normal();
  image.launcher = PathOfWord(get("--launcher"));
  if (image.launcher.empty()) return Fail(kCommand, "--launcher Talvenor.exe is required");
  if (options.values.count("--level") != 0) {
    const std::string level = get("--level");
    if (level.size() != 1 || level[0] < '0' || level[0] > '9') return Fail(kCommand, "--level takes 0 (store) to 9");
    image.level = level[0] - '0';
  }
  if (options.values.count("--version") != 0 && !ParseVersionOption(options, &image.version, &error)) {
    return Fail(kCommand, error);
  }
  if (options.values.count("--parts") != 0 && !ParseSize(get("--parts"), &image.partSize)) {
    return Fail(kCommand, "--parts takes a size in bytes, or with k, m or g behind it");
  }

  image.launcherName = image.launcher.filename().string();
  if (image.launcherName.find("exe") == std::string::npos) {
    return Fail(kCommand, "the launcher's file name must contain \"exe\" in lower case: the launcher finds its "
                          "installer file by replacing it");
  }
  image.zipName = image.launcherName;
  ReplaceAll(image.zipName, "exe", "tlvn");
  image.manifestName = image.launcherName;
  ReplaceAll(image.manifestName, "exe", "dat");
  image.partStem = fs::path(image.launcherName).stem().string();

  std::vector<unsigned char> launcher;
  if (!ReadWhole(image.launcher, &launcher) || launcher.empty()) {
    return Fail(kCommand, "cannot read \"" + Shown(image.launcher) + "\"");
  }
  std::uint32_t certificates = 0;
  if (!PeCertificateTableSize(launcher.data(), launcher.size(), &certificates)) {
    std::fprintf(stderr, "talvpack installer: warning: \"%s\" is not a Windows program\n",
                 Shown(image.launcher).c_str());
  }
  {
    MemoryByteSource source(launcher.data(), launcher.size());
    if (ReadSelfExtractTrailer(source, certificates, nullptr)) {
      return Fail(kCommand, "\"" + Shown(image.launcher) + "\" carries a patch archive: it would patch, not install");
    }
  }

  const fs::path out = fs::absolute(PathOfWord(options.operands[1]), ec).lexically_normal();
  if (fs::exists(out, ec) && !(fs::is_directory(out, ec) && fs::is_empty(out, ec))) {
    return Fail(kCommand, "\"" + Shown(out) + "\" exists and is not an empty folder");
  }
  if (out == image.gameDir || Inside(out, image.gameDir)) {
    return Fail(kCommand, "OUT_DIR must lie outside GAME_DIR");
  }
  std::error_code noLauncher;
  if (!fs::exists(image.gameDir / "Talvenor.exe", noLauncher)) {
    std::fprintf(stderr, "talvpack installer: warning: GAME_DIR has no Talvenor.exe; the shortcuts the "
                         "installation writes start GAME_DIR\\Talvenor.exe\n");
  }

  const fs::path staging = StagingPathBeside(out);
  if (!fs::create_directories(staging, ec)) {
    return Fail(kCommand, "cannot create \"" + Shown(staging) + "\"" + (ec ? ": " + ec.message() : ""));
  }
  bool ok = BuildImage(image, launcher, staging, &error);
  if (ok) {
    if (fs::exists(out, ec)) fs::remove(out, ec);
    fs::rename(staging, out, ec);
    if (ec) {
      ok = false;
      error = "cannot move the finished image to \"" + Shown(out) + "\": " + ec.message();
    }
  }
  if (!ok) {
    fs::remove_all(staging, ec);
    return Fail(kCommand, error);
  }
  std::printf("%s: %s and %s\n", Shown(out).c_str(), image.launcherName.c_str(),
              image.partSize == 0 ? image.zipName.c_str() : (image.manifestName + " with its parts").c_str());
  return 0;
}

int InstallerMain(const std::vector<std::string>& args) { return Guarded(kCommand, Installer, args); }

}  // namespace

}  // namespace talvpack

TALVPACK_COMMAND(installer, "installer",
                 "installer --launcher Talvenor.exe [--version N] [--parts SIZE] [--level N] GAME_DIR OUT_DIR",
                 "Writes an install image into OUT_DIR (absent or empty): a copy of the launcher and\n"
                 "the zip installer file with every file of GAME_DIR, named as the launcher with \"exe\"\n"
                 "replaced by \"tlvn\" (Talvenor.tlvn). With --parts SIZE (bytes, or with k, m or g) the\n"
                 "archive is cut into parts of SIZE (Talvenor.001, Talvenor.002, ...) listed in order by\n"
                 "the split installer file, the launcher's name with \"dat\" (Talvenor.dat). Started in\n"
                 "OUT_DIR, the launcher installs the game. Files are deflated at level 6 unless --level\n"
                 "gives 0 (store) to 9. GAME_DIR should hold Talvenor.exe: the installation's shortcuts\n"
                 "start it. Empty folders (\"movie\", \"mp3\") are kept as folder entries. The installation\n"
                 "starts at version N: --version N writes version.dat into the archive; without it,\n"
                 "GAME_DIR must hold its own. Names are written in code page 950 (Big5); a name without\n"
                 "a Big5 form, one the launcher refuses and two names equal but for case are refused.\n"
                 "The archive stays below 4 GiB.",
                 talvpack::InstallerMain);
