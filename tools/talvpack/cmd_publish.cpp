// talvpack publish: lays out a patch server tree that any static HTTP or FTP server can serve:
//   OUT_DIR/patch_live.txt     the patch information
//   OUT_DIR/version.txt        the manifest
//   OUT_DIR/Talvenor/...       the game's files, fetched as "Talvenor/<name>"
// The tree is built in a staging folder beside OUT_DIR and renamed into place only when it
// is complete, so a failure never leaves a half-written tree.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/text.h"
#include "launcher/patch/patch_info.h"
#include "launcher/patch/transfer_index.h"
#include "launcher/patch/version_info.h"
#include "tools/talvpack/command.h"
#include "tools/talvpack/host_names.h"
#include "tools/talvpack/forms_writer.h"
#include "tools/talvpack/manifest_builder.h"
#include "tools/talvpack/signing.h"

namespace fs = std::filesystem;

namespace talvpack {

namespace {

constexpr std::size_t kMaxDocument = 4096;  // the launcher reads no more of patch_live.txt

// A value the patch information carries as one token: no blank, tab, line break or "=".
bool TokenValue(const std::string& option, const std::string& value, std::string* error) {
  if (value.empty() || value.size() >= kMaxPath || value.find_first_of(" \t\r\n=") != std::string::npos) {
    *error = option + " must be 1 to " + std::to_string(kMaxPath - 1) + " characters without blanks, tabs, line breaks or \"=\"";
    return false;
  }
  return true;
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

struct PublishSettings {
  int version = 0;
  int launcherVersion = LauncherVersion;
  int connections = 0;  // 0: the key is left out
  std::string login, filesAddress, arg, ping, blockStart, blockEnd;
  std::vector<std::string> mirrors;
  std::string forms;  // the transfer index announced to the launchers; empty: none
};

bool ReadSettings(const Options& options, PublishSettings* s, std::string* error) {
  auto get = [&](const char* name) {
    auto it = options.values.find(name);
    return it == options.values.end() ? std::string() : it->second;
  };
  if (!ParseVersionOption(options, &s->version, error)) return false;
  s->login = get("--login");
  s->filesAddress = get("--files-address");
  s->arg = get("--arg");
  s->ping = get("--ping");
  s->blockStart = get("--block-start");
  s->blockEnd = get("--block-end");
  if (options.repeated.count("--delta-from") != 0) s->forms = kTransferIndexName;
  if (!TokenValue("--login", s->login, error) || !TokenValue("--files-address", s->filesAddress, error)) return false;
  if (options.values.count("--launcher-version") != 0 && !ParseVersion(get("--launcher-version"), &s->launcherVersion)) {
    *error = "--launcher-version must be a positive number";
    return false;
  }
  if (options.values.count("--arg") != 0 &&
      (s->arg.empty() || s->arg.size() >= kMaxPath || s->arg.find_first_of("\r\n") != std::string::npos)) {
    *error = "--arg must be 1 to " + std::to_string(kMaxPath - 1) + " characters on one line";
    return false;
  }
  int ping = 0;
  if (options.values.count("--ping") != 0 && !ParseVersion(s->ping, &ping)) {
    *error = "--ping must be a positive number";
    return false;
  }
  if (options.values.count("--connections") != 0 &&
      (!ParseVersion(get("--connections"), &s->connections) || s->connections > kMaxConnections)) {
    *error = "--connections must be 1 to " + std::to_string(kMaxConnections);
    return false;
  }
  if (options.repeated.count("--mirror") != 0) s->mirrors = options.repeated.at("--mirror");
  if (s->mirrors.size() > static_cast<std::size_t>(kMaxMirrors)) {
    *error = "at most " + std::to_string(kMaxMirrors) + " --mirror";
    return false;
  }
  for (const std::string& mirror : s->mirrors) {
    if (!TokenValue("--mirror", mirror, error)) return false;
  }
  const auto stamp = [](const std::string& t) {
    return t.size() == 14 && t.find_first_not_of("0123456789") == std::string::npos;
  };
  if (s->blockStart.empty() != s->blockEnd.empty() ||
      (!s->blockStart.empty() && (!stamp(s->blockStart) || !stamp(s->blockEnd) || s->blockStart >= s->blockEnd))) {
    *error = "--block-start and --block-end go together, as YYYYMMDDhhmmss, start before end";
    return false;
  }
  return true;
}

std::string PatchInformation(const PublishSettings& s) {
  std::string text = "patch_accept 1\r\npatch_version " + std::to_string(s.version) + "\r\nftp " + s.filesAddress +
                     "\r\nlauncher_version " + std::to_string(s.launcherVersion) + "\r\nlogin " + s.login + "\r\n";
  if (!s.arg.empty()) text += "arg " + s.arg + "\r\n";
  if (!s.ping.empty()) text += "ping " + s.ping + "\r\n";
  if (!s.blockStart.empty()) text += "st_dt " + s.blockStart + "\r\ned_dt " + s.blockEnd + "\r\n";
  if (s.connections != 0) text += "connections " + std::to_string(s.connections) + "\r\n";
  for (const std::string& mirror : s.mirrors) text += "mirror " + mirror + "\r\n";
  if (!s.forms.empty()) text += "forms " + s.forms + "\r\n";
  return text;
}

// Reads both documents back as the launcher will, so that nothing is published that the
// launcher would read differently.
bool ReadsBack(const std::string& info, const PublishSettings& s, const std::string& manifest,
               const std::vector<Record>& records, std::string* error) {
  CPatchInfo parsed;
  const bool infoOk = info.size() <= kMaxDocument && parsed.Parse(info.c_str()) && !parsed.blocked &&
                      parsed.patch_version == s.version && parsed.launcher_version == s.launcherVersion &&
                      s.filesAddress == parsed.ftp && s.login == parsed.login && s.arg == parsed.arg &&
                      parsed.connections == (s.connections != 0 ? s.connections : kMinConnections) &&
                      s.mirrors == std::vector<std::string>(parsed.mirror, parsed.mirror + parsed.mirror_count) &&
                      s.forms == parsed.forms;
  if (!infoOk) {
    *error = "the patch information would not read back as written (longer than 4096 bytes?)";
    return false;
  }
  CVersionInfo back;
  bool same = back.ReadFromMemory(manifest.c_str()) && back.GetCount() == records.size();
  for (std::size_t i = 0; same && i < records.size(); ++i) {
    same = records[i].name == back.GetName(i) && records[i].size == back.GetSize(i) &&
           records[i].version == back.GetUpdateVersion(i) &&
           std::memcmp(records[i].digest, back.GetHash(i), kMd5DigestSize) == 0;
  }
  if (!same) *error = "the manifest would not read back as written";
  return same;
}

bool IsEmptyFolder(const fs::path& dir) {
  std::error_code ec;
  return fs::is_directory(dir, ec) && fs::is_empty(dir, ec) && !ec;
}

// The launcher beside the game is the launcher's own to update (talvpack launcher): listed in
// version.txt, every patch would put this copy over the running launcher.
void WarnOfLauncher(const std::vector<GameFile>& files) {
  for (const GameFile& f : files) {
    if (EqualsNoCase(f.name.c_str(), "Talvenor.exe")) {
      std::fprintf(stderr, "talvpack publish: warning: GAME_DIR holds the launcher \"%s\"; version.txt lists it, so "
                           "every patch writes this copy over the players' launcher. A new launcher is published "
                           "with \"talvpack launcher\".\n", f.name.c_str());
    }
  }
}

// Everything from the file list to the finished tree in staging.
bool BuildTree(const Options& options, const PublishSettings& s, const SecretKey* key, const fs::path& staging,
               std::string* error) {
  std::vector<GameFile> files;
  if (!ListGameFiles(PathOfWord(options.operands[0]), &files, error)) return false;
  WarnOfLauncher(files);
  // Copied and hashed in one read: the manifest describes exactly the bytes published.
  const fs::path files_root = staging / "Talvenor";
  Progress progress("publish");
  std::uint64_t total = 0;
  std::error_code ec;
  for (const GameFile& f : files) total += fs::file_size(f.path, ec);
  progress.SetTotal(files.size(), total);
  std::vector<Record> records;
  if (!BuildRecords(files, options, s.version, &records, error, &files_root, &progress)) return false;
  progress.Finish();
  const std::string manifest = FormatManifest(records);
  const std::string info = PatchInformation(s);
  if (!ReadsBack(info, s, manifest, records, error)) return false;
  if (!WriteFile(staging / "version.txt", manifest) || !WriteFile(staging / "patch_live.txt", info)) {
    *error = "cannot write into \"" + Shown(staging) + "\"";
    return false;
  }
  const auto earlier = options.repeated.find("--delta-from");
  if (earlier != options.repeated.end() && !WriteTransferForms(staging, records, earlier->second, key, error))
    return false;
  return key == nullptr ||
         (SignFile(*key, staging / "version.txt", error) && SignFile(*key, staging / "patch_live.txt", error));
}

int Publish(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  PublishSettings settings;
  if (!ParseOptions(args, {"--version", "--previous", "--login", "--files-address", "--arg", "--launcher-version",
                           "--ping", "--block-start", "--block-end", "--sign-key", "--delta-from", "--connections",
                           "--mirror"},
                    &options, &error) ||
      !ReadSettings(options, &settings, &error)) {
    return Fail("publish", error);
  }
  if (options.operands.size() != 2) return Fail("publish", "GAME_DIR and OUT_DIR are expected");
  SecretKey key;
  const auto keyPath = options.values.find("--sign-key");
  const bool signing = keyPath != options.values.end();
  if (signing && !LoadSecretKey(PathOfWord(keyPath->second), &key, &error)) return Fail("publish", error);

  const fs::path out = fs::absolute(PathOfWord(options.operands[1]).lexically_normal());
  std::error_code ec;
  if (fs::exists(out, ec) && !IsEmptyFolder(out)) {
    return Fail("publish", "\"" + Shown(out) + "\" exists and is not an empty folder");
  }
  const fs::path staging = StagingPathBeside(out);
  if (!fs::create_directories(staging, ec)) {
    return Fail("publish", "cannot create \"" + Shown(staging) + "\"" + (ec ? ": " + ec.message() : ""));
  }
  bool ok = BuildTree(options, settings, signing ? &key : nullptr, staging, &error);
  if (ok) {
    if (fs::exists(out, ec)) fs::remove(out, ec);
    fs::rename(staging, out, ec);
    if (ec) {
      ok = false;
      error = "cannot move the finished tree to \"" + Shown(out) + "\": " + ec.message();
    }
  }
  if (!ok) {
    fs::remove_all(staging, ec);
    return Fail("publish", error);
  }
  return 0;
}

int PublishMain(const std::vector<std::string>& args) { return Guarded("publish", Publish, args); }

}  // namespace

}  // namespace talvpack

TALVPACK_COMMAND(publish, "publish",
                 "publish --version N [--previous OLD_VERSION_TXT] --login ADDR --files-address ADDR [--arg TEXT] "
                 "[--connections N] [--mirror ADDR]... [--sign-key SECRET_KEY] [--delta-from EARLIER_TREE]... "
                 "GAME_DIR OUT_DIR",
                 "Lays out a patch server tree in OUT_DIR (absent or empty): patch_live.txt, version.txt\n"
                 "(as \"manifest\" makes it) and every file of GAME_DIR under Talvenor/, so that a client\n"
                 "of any earlier version finds what it lacks. Serve OUT_DIR as it is over HTTP or FTP;\n"
                 "--files-address is where the launcher finds it.\n"
                 "More options: --launcher-version V (default 205; a newer V makes launchers update\n"
                 "themselves: add the new launcher with \"launcher --version V\" into OUT_DIR), --ping N,\n"
                 "--block-start YYYYMMDDhhmmss --block-end YYYYMMDDhhmmss (a service-block window,\n"
                 "local time of the players), --connections N (1 to 16 transfers at once),\n"
                 "--mirror ADDR (a further file server in the form of --files-address, tried after it;\n"
                 "repeat for more, in order), --sign-key SECRET_KEY (signs patch_live.txt and\n"
                 "version.txt as \"sign\" does, for launchers built with the public key).\n"
                 "--delta-from EARLIER_TREE (repeatable; a tree published before) adds smaller forms for\n"
                 "launchers that know them: each file compressed under Talvenor.forms/, a delta from each\n"
                 "earlier content that changed, and the index forms.txt (signed too with --sign-key).",
                 talvpack::PublishMain);
