// talvpack keygen and sign: the publisher's key pair and the signatures "NAME.minisig" of
// the update documents, in minisign's formats. A launcher built with the public key
// (TALV_UPDATE_PUBLIC_KEY) reads patch_live.txt, version.txt and talvenor.txt only with a
// signature made by the secret key.
#include <filesystem>
#include <fstream>
#include <system_error>

#include "tools/talvpack/command.h"
#include "tools/talvpack/host_names.h"
#include "tools/talvpack/manifest_builder.h"
#include "tools/talvpack/signing.h"

namespace fs = std::filesystem;

namespace talvpack {

namespace {

int Keygen(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {}, &options, &error)) return Fail("keygen", error);
  if (options.operands.size() != 2) return Fail("keygen", "PUBLIC_KEY and SECRET_KEY are expected");
  const fs::path pub = PathOfWord(options.operands[0]);
  const fs::path sec = PathOfWord(options.operands[1]);
  std::error_code ec;
  for (const fs::path& p : {pub, sec}) {
    // A key pair is never overwritten: the old public key may be built into launchers.
    if (fs::exists(p, ec)) return Fail("keygen", "\"" + Shown(p) + "\" exists");
  }
  std::string publicText, secretText;
  if (!MakeKeyPair(&publicText, &secretText, &error)) return Fail("keygen", error);
  for (const auto& [path, text] : {std::make_pair(sec, secretText), std::make_pair(pub, publicText)}) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) return Fail("keygen", "cannot write \"" + Shown(path) + "\"");
  }
  // The secret key is for its owner only where the system can say so.
  fs::permissions(sec, fs::perms::owner_read | fs::perms::owner_write, ec);
  return 0;
}

int Sign(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {"--key"}, &options, &error)) return Fail("sign", error);
  const auto keyPath = options.values.find("--key");
  if (keyPath == options.values.end()) return Fail("sign", "--key SECRET_KEY is required");
  if (options.operands.empty()) return Fail("sign", "FILE... is expected");
  SecretKey key;
  if (!LoadSecretKey(PathOfWord(keyPath->second), &key, &error)) return Fail("sign", error);
  for (const std::string& file : options.operands) {
    if (!SignFile(key, PathOfWord(file), &error)) return Fail("sign", error);
  }
  return 0;
}

int KeygenMain(const std::vector<std::string>& args) { return Guarded("keygen", Keygen, args); }
int SignMain(const std::vector<std::string>& args) { return Guarded("sign", Sign, args); }

}  // namespace

}  // namespace talvpack

TALVPACK_COMMAND(keygen, "keygen", "keygen PUBLIC_KEY SECRET_KEY",
                 "Writes a new key pair for signed update documents, in minisign's formats: PUBLIC_KEY\n"
                 "(build the launcher with its text as TALV_UPDATE_PUBLIC_KEY) and the unencrypted\n"
                 "SECRET_KEY (keep it off the patch servers). Existing files are never overwritten.\n"
                 "minisign -G -W makes keys that talvpack signs with as well.",
                 talvpack::KeygenMain);
TALVPACK_COMMAND(sign, "sign", "sign --key SECRET_KEY FILE...",
                 "Writes FILE.minisig beside each FILE: a signature in minisign's format (minisign -V\n"
                 "verifies it) by the unencrypted SECRET_KEY of \"keygen\" or minisign -G -W.",
                 talvpack::SignMain);
