// talvpack delta: one delta or whole-file form by hand, for checking a pair or measuring it.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/talvpack/command.h"
#include "tools/talvpack/delta_encode.h"
#include "tools/talvpack/forms_writer.h"

namespace talvpack {

namespace {

int Delta(const std::vector<std::string>& args) {
  const bool compress = !args.empty() && args[0] == "compress";
  if (args.size() != (compress ? 3u : 4u) || (args[0] != "make" && args[0] != "apply" && !compress)) {
    return Fail("delta", "expected: make OLD NEW DELTA | apply OLD DELTA NEW | compress FILE PACKED");
  }
  const std::string& target = args.back();
  FileSource a, b;
  FileSink out;
  if (!a.Open(args[1]) || (!compress && !b.Open(args[2]))) return Fail("delta", "cannot read the input");
  if (!out.Open(target)) return Fail("delta", "cannot write \"" + target + "\"");
  std::string error;
  bool ok = false;
  if (args[0] == "make") {
    unsigned char da[kMd5DigestSize], db[kMd5DigestSize];
    std::uint64_t size = 0;
    ok = HashFile(args[1], &size, da, &error) && HashFile(args[2], &size, db, &error) &&
         MakeDelta(a, da, b, db, out, DeltaEncodeOptions(), &error);
  } else if (args[0] == "compress") {
    ok = MakeWholeFile(a, out, kFormLevel, &error);
  } else {
    ok = ApplyDelta(b, a, out, args[2].c_str());
    if (!ok) error = "the delta does not apply to OLD, or is damaged";
  }
  if (!out.Close() && ok) {
    ok = false;
    error = "cannot write \"" + target + "\"";
  }
  return ok ? 0 : Fail("delta", error);
}

int DeltaMain(const std::vector<std::string>& args) { return Guarded("delta", Delta, args); }

}  // namespace

}  // namespace talvpack

TALVPACK_COMMAND(delta, "delta", "delta make OLD NEW DELTA | delta apply OLD DELTA NEW | delta compress FILE PACKED",
                 "make writes the delta from OLD to NEW as publish --delta-from does, apply decodes it as\n"
                 "the launcher does (within 64 MB of memory), compress writes the whole-file form.",
                 talvpack::DeltaMain);
