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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "launcher/core/paths.h"
#include "launcher/core/pe_image.h"
#include "launcher/core/self_extract.h"
#include "launcher/patch/version_info.h"
#include "launcher/storage/zip_archive.h"
#include "tools/talvpack/command.h"
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
  std::uint64_t partSize = 0;  // 0: one zip installer file
};

// Zips the game's files into path and reads the archive back with the launcher's own reader.
bool WriteArchive(const Image& image, const std::vector<GameFile>& files, const fs::path& path, std::string* error) {
  ZipWriter zip;
  if (!zip.Open(path.string(), error)) return false;
  for (const GameFile& f : files) {
    if (!zip.AddFile(f.name, f.path.string(), image.level, error)) return false;
  }
  if (!zip.Close(error)) return false;
  ZipArchive check;
  bool same = OpenZipFile(path.string().c_str(), check) && GetZipEntryCount(check) == files.size();
  for (std::size_t i = 0; same && i < files.size(); ++i) {
    char name[kMaxPath];
    same = GetZipEntryName(check, name, static_cast<std::uint32_t>(i)) && files[i].name == name;
  }
  if (!same) *error = "the archive does not read back as written";
  return same;
}

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
    GameFile part{image.partStem + number, staging / (image.partStem + number)};
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
      *error = "cannot write \"" + part.path.string() + "\"";
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
    *error = "cannot write \"" + (staging / image.manifestName).string() + "\"";
    return false;
  }
  in.close();  // Windows keeps an open file from being removed
  fs::remove(archive, ec);
  if (ec) *error = "cannot remove \"" + archive.string() + "\": " + ec.message();
  return !ec;
}

bool BuildImage(const Image& image, const std::vector<unsigned char>& launcher, const fs::path& staging,
                std::string* error) {
  std::vector<GameFile> files;
  if (!ListGameFiles(image.gameDir, &files, error)) return false;
  if (files.empty()) {
    *error = "\"" + image.gameDir.string() + "\" holds no files";
    return false;
  }
  for (GameFile& f : files) {
    for (char& c : f.name) {
      if (c == '\\') c = '/';
    }
    if (!IsSafeZipEntryName(f.name.c_str()) || IsZipFolderName(f.name.c_str())) {
      *error = "the installer refuses the name \"" + f.name + "\" (a drive, stream or dot component)";
      return false;
    }
  }
  if (!WriteWhole(staging / image.launcherName, launcher.data(), launcher.size())) {
    *error = "cannot write \"" + (staging / image.launcherName).string() + "\"";
    return false;
  }
  if (image.partSize == 0) return WriteArchive(image, files, staging / image.zipName, error);
  const fs::path archive = staging / ".installer.zip";
  return WriteArchive(image, files, archive, error) && WriteParts(image, archive, staging, error);
}

bool Inside(const fs::path& path, const fs::path& folder) {
  const fs::path relative = path.lexically_relative(folder);
  return !relative.empty() && *relative.begin() != "..";
}

int Installer(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {"--launcher", "--parts", "--level"}, &options, &error)) return Fail(kCommand, error);
  if (options.operands.size() != 2) return Fail(kCommand, "GAME_DIR and OUT_DIR are expected");
  auto get = [&](const char* name) {
    auto it = options.values.find(name);
    return it == options.values.end() ? std::string() : it->second;
  };

  Image image;
  std::error_code ec;
  image.gameDir = fs::absolute(fs::path(options.operands[0]), ec).lexically_normal();
  image.launcher = get("--launcher");
  if (image.launcher.empty()) return Fail(kCommand, "--launcher Talvenor.exe is required");
  if (options.values.count("--level") != 0) {
    const std::string level = get("--level");
    if (level.size() != 1 || level[0] < '0' || level[0] > '9') return Fail(kCommand, "--level takes 0 (store) to 9");
    image.level = level[0] - '0';
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
    return Fail(kCommand, "cannot read \"" + image.launcher.string() + "\"");
  }
  std::uint32_t certificates = 0;
  if (!PeCertificateTableSize(launcher.data(), launcher.size(), &certificates)) {
    std::fprintf(stderr, "talvpack installer: warning: \"%s\" is not a Windows program\n",
                 image.launcher.string().c_str());
  }
  {
    MemoryByteSource source(launcher.data(), launcher.size());
    if (ReadSelfExtractTrailer(source, certificates, nullptr)) {
      return Fail(kCommand, "\"" + image.launcher.string() + "\" carries a patch archive: it would patch, not install");
    }
  }

  const fs::path out = fs::absolute(fs::path(options.operands[1]), ec).lexically_normal();
  if (fs::exists(out, ec) && !(fs::is_directory(out, ec) && fs::is_empty(out, ec))) {
    return Fail(kCommand, "\"" + out.string() + "\" exists and is not an empty folder");
  }
  if (out == image.gameDir || Inside(out, image.gameDir)) {
    return Fail(kCommand, "OUT_DIR must lie outside GAME_DIR");
  }
  std::error_code noLauncher;
  if (!fs::exists(image.gameDir / "Talvenor.exe", noLauncher)) {
    std::fprintf(stderr, "talvpack installer: warning: GAME_DIR has no Talvenor.exe; the shortcuts the "
                         "installation writes start GAME_DIR\\Talvenor.exe\n");
  }

  std::random_device random;
  const fs::path staging = out.parent_path() / ("." + out.filename().string() + ".talvpack-" + std::to_string(random()));
  if (!fs::create_directories(staging, ec)) {
    return Fail(kCommand, "cannot create \"" + staging.string() + "\"" + (ec ? ": " + ec.message() : ""));
  }
  bool ok = BuildImage(image, launcher, staging, &error);
  if (ok) {
    if (fs::exists(out, ec)) fs::remove(out, ec);
    fs::rename(staging, out, ec);
    if (ec) {
      ok = false;
      error = "cannot move the finished image to \"" + out.string() + "\": " + ec.message();
    }
  }
  if (!ok) {
    fs::remove_all(staging, ec);
    return Fail(kCommand, error);
  }
  std::printf("%s: %s and %s\n", out.string().c_str(), image.launcherName.c_str(),
              image.partSize == 0 ? image.zipName.c_str() : (image.manifestName + " with its parts").c_str());
  return 0;
}

int InstallerMain(const std::vector<std::string>& args) { return Guarded(kCommand, Installer, args); }

}  // namespace

}  // namespace talvpack

TALVPACK_COMMAND(installer, "installer",
                 "installer --launcher Talvenor.exe [--parts SIZE] [--level N] GAME_DIR OUT_DIR",
                 "Writes an install image into OUT_DIR (absent or empty): a copy of the launcher and\n"
                 "the zip installer file with every file of GAME_DIR, named as the launcher with \"exe\"\n"
                 "replaced by \"tlvn\" (Talvenor.tlvn). With --parts SIZE (bytes, or with k, m or g) the\n"
                 "archive is cut into parts of SIZE (Talvenor.001, Talvenor.002, ...) listed in order by\n"
                 "the split installer file, the launcher's name with \"dat\" (Talvenor.dat). Started in\n"
                 "OUT_DIR, the launcher installs the game. Files are deflated at level 6 unless --level\n"
                 "gives 0 (store) to 9. GAME_DIR should hold Talvenor.exe: the installation's shortcuts\n"
                 "start it. The archive stays below 4 GiB.",
                 talvpack::InstallerMain);
