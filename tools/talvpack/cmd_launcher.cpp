// talvpack launcher: adds a new launcher to a patch server tree made by "publish":
//   OUT_DIR/talvenor.txt       the launcher manifest: one record naming the new launcher
//   OUT_DIR/<name>             the new launcher itself
// Launchers older than the version that patch_live.txt names (publish --launcher-version)
// download <name> into the game folder, check its digest and hand it to renamer, which
// puts it in place of the running launcher.
#include <filesystem>
#include <fstream>
#include <system_error>

#include "launcher/core/launcher_mgr.h"
#include "launcher/patch/launcher_update.h"
#include "launcher/patch/patch_info.h"
#include "tools/talvpack/command.h"
#include "tools/talvpack/host_names.h"
#include "tools/talvpack/manifest_builder.h"
#include "tools/talvpack/signing.h"

namespace fs = std::filesystem;

namespace talvpack {

namespace {

// The players' launcher file; the download must never land on it.
constexpr char kLauncherName[] = "Talvenor.exe";

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes beside the target and renames into place: a launcher fetching the tree meanwhile
// sees the old file or the new one, never half of one.
bool PlaceFile(const fs::path& target, const fs::path* source, const std::string& bytes, std::string* error) {
  const fs::path temp = StagingPathBeside(target);
  std::error_code ec;
  bool ok;
  if (source != nullptr) {
    ok = fs::copy_file(*source, temp, fs::copy_options::overwrite_existing, ec) && !ec;
  } else {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ok = static_cast<bool>(out);
  }
  if (ok) {
    fs::rename(temp, target, ec);
    ok = !ec;
  }
  if (!ok) {
    fs::remove(temp, ec);
    *error = "cannot write \"" + Shown(target) + "\"";
  }
  return ok;
}

// A patch_live.txt already in OUT_DIR must announce this launcher version; otherwise no
// launcher would ever fetch it, or every launcher would fetch it on every start.
bool MatchesPatchInformation(const fs::path& out, int version, std::string* error) {
  const fs::path info_path = out / "patch_live.txt";
  std::error_code ec;
  if (!fs::exists(info_path, ec)) return true;
  CPatchInfo info;
  if (!info.Parse(Slurp(info_path).c_str())) {
    *error = "cannot read \"" + Shown(info_path) + "\"";
    return false;
  }
  if (info.launcher_version != version) {
    *error = "\"" + Shown(info_path) + "\" names launcher_version " + std::to_string(info.launcher_version) +
             "; publish with --launcher-version " + std::to_string(version);
    return false;
  }
  return true;
}

int Launcher(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  int version = 0;
  if (!ParseOptions(args, {"--version", "--name", "--sign-key"}, &options, &error) ||
      !ParseVersionOption(options, &version, &error)) {
    return Fail("launcher", error);
  }
  if (options.operands.size() != 2) return Fail("launcher", "NEW_LAUNCHER and OUT_DIR are expected");
  SecretKey key;
  const auto keyPath = options.values.find("--sign-key");
  const bool signing = keyPath != options.values.end();
  if (signing && !LoadSecretKey(PathOfWord(keyPath->second), &key, &error)) return Fail("launcher", error);
  const auto given = options.values.find("--name");
  const std::string name =
      given != options.values.end() ? given->second : "Talvenor_" + std::to_string(version) + ".exe";
  if (!IsUsableLauncherName(name.c_str(), kLauncherName) || !NameProblem(name).empty()) {
    return Fail("launcher", "\"" + name + "\" cannot be the new launcher's name: a bare file name of at most 127 "
                            "characters, without blanks or commas, other than " + kLauncherName);
  }
  const fs::path source = PathOfWord(options.operands[0]);
  const fs::path out = PathOfWord(options.operands[1]);
  std::error_code ec;
  fs::create_directories(out, ec);
  if (!fs::is_directory(out, ec)) return Fail("launcher", "cannot create \"" + Shown(out) + "\"");
  if (!MatchesPatchInformation(out, version, &error)) return Fail("launcher", error);

  Record record;
  record.name = name;
  record.version = version;
  if (!HashFile(source, &record.size, record.digest, &error)) return Fail("launcher", error);
  if (record.size == 0) return Fail("launcher", "\"" + Shown(source) + "\" is empty");
  // The launcher first, then the manifest that names it: a manifest never points at a file
  // that is not there yet.
  if (!PlaceFile(out / name, &source, "", &error) ||
      !PlaceFile(out / "talvenor.txt", nullptr, FormatManifest({record}), &error) ||
      (signing && !SignFile(key, out / "talvenor.txt", &error))) {
    return Fail("launcher", error);
  }
  return 0;
}

int LauncherMain(const std::vector<std::string>& args) { return Guarded("launcher", Launcher, args); }

}  // namespace

}  // namespace talvpack

TALVPACK_COMMAND(launcher, "launcher", "launcher --version N [--name NAME] [--sign-key SECRET_KEY] NEW_LAUNCHER OUT_DIR",
                 "Adds a new launcher to the patch server tree OUT_DIR: copies NEW_LAUNCHER there as NAME\n"
                 "(default Talvenor_N.exe; never Talvenor.exe, the file it replaces on the players'\n"
                 "machines) and writes talvenor.txt, whose one record names it with its size, MD5 and\n"
                 "version N. Launchers update when patch_live.txt names a newer launcher_version: run\n"
                 "\"publish --launcher-version N\" into OUT_DIR first; a patch_live.txt there that names\n"
                 "another launcher version is refused. --sign-key SECRET_KEY signs talvenor.txt as\n"
                 "\"sign\" does.",
                 talvpack::LauncherMain);
