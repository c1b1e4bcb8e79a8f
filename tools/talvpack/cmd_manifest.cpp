// talvpack manifest: prints the record-form manifest of a game folder.
#include <cstdio>

#include "tools/talvpack/command.h"
#include "tools/talvpack/host_names.h"
#include "tools/talvpack/manifest_builder.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace talvpack {

namespace {

int Manifest(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {"--version", "--previous"}, &options, &error)) return Fail("manifest", error);
  if (options.operands.size() != 1) return Fail("manifest", "one GAME_DIR is expected");
  int version = 0;
  std::vector<GameFile> files;
  std::vector<Record> records;
  if (!ParseVersionOption(options, &version, &error) || !ListGameFiles(PathOfWord(options.operands[0]), &files, &error) ||
      !BuildRecords(files, options, version, &records, &error)) {
    return Fail("manifest", error);
  }
  const std::string text = FormatManifest(records);
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);  // the lines end in CR LF already
#endif
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    return Fail("manifest", "cannot write the manifest");
  }
  return 0;
}

int ManifestMain(const std::vector<std::string>& args) { return Guarded("manifest", Manifest, args); }

}  // namespace

}  // namespace talvpack

TALVPACK_COMMAND(manifest, "manifest", "manifest --version N [--previous OLD_VERSION_TXT] GAME_DIR",
                 "Prints the manifest (version.txt) of GAME_DIR: one line \"name,size,MD5,version\" per file,\n"
                 "names relative to GAME_DIR with \"\\\" separators. With --previous, a file unchanged\n"
                 "against OLD keeps its version, a new or changed one gets N, and a file OLD lists that\n"
                 "is gone becomes a removal record (size 0) of version N.",
                 talvpack::ManifestMain);
