// talvpack exepatch: appends a patch archive to a copy of the launcher, making a
// self-extracting patch for the installations between two game versions.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "launcher/core/pe_image.h"
#include "launcher/core/self_extract.h"
#include "launcher/storage/zip_archive.h"
#include "tools/talvpack/command.h"
#include "tools/talvpack/manifest_builder.h"
#include "tools/talvpack/host_names.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "talvpack exepatch: %s\n", message.c_str());
  return 1;
}

bool ReadWhole(const std::string& path, std::vector<unsigned char>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool ParseVersion(const std::string& text, std::uint32_t* out) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10) return false;
  const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
  if (v > 0xFFFFFFFFull) return false;
  *out = static_cast<std::uint32_t>(v);
  return true;
}

void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

int ExePatchMain(const std::vector<std::string>& args) {
  std::string launcher, zip, output, from, to;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string* slot = a == "--launcher" ? &launcher
                        : a == "--zip"    ? &zip
                        : a == "--from"   ? &from
                        : a == "--to"     ? &to
                        : (a == "-o" || a == "--output") ? &output
                                                          : nullptr;
    if (slot == nullptr || i + 1 >= args.size()) return Fail("unexpected argument \"" + a + "\"");
    *slot = args[++i];
  }
  if (launcher.empty() || zip.empty() || output.empty() || from.empty() || to.empty()) {
    return Fail("usage: talvpack exepatch --launcher Talvenor.exe --from BEGIN --to END --zip PATCH.zip -o OUT.exe");
  }
  std::uint32_t begin = 0, end = 0;
  if (!ParseVersion(from, &begin) || !ParseVersion(to, &end)) return Fail("versions are unsigned 32-bit numbers");
  if (begin == 0) return Fail("--from must not be 0: the launcher refuses a range that begins at 0");
  if (begin > end) return Fail("--from is above --to");

  std::vector<unsigned char> image, archive;
  if (!ReadWhole(launcher, &image) || image.empty()) return Fail("cannot read \"" + launcher + "\"");
  if (!ReadWhole(zip, &archive) || archive.empty()) return Fail("cannot read \"" + zip + "\"");
  std::uint32_t certificates = 0;
  if (!PeCertificateTableSize(image.data(), image.size(), &certificates)) {
    std::fprintf(stderr, "talvpack exepatch: warning: \"%s\" is not a Windows program\n", launcher.c_str());
  } else if (certificates != 0) {
    return Fail("\"" + launcher + "\" is signed: patch the unsigned launcher, then sign the result");
  }
  {
    MemoryByteSource source(image.data(), image.size());
    if (ReadSelfExtractTrailer(source, 0, nullptr)) return Fail("\"" + launcher + "\" already carries a patch archive");
  }
  {
    // The launcher's own reader must be able to walk what it will be given, under names it
    // takes and writes as they are meant.
    ZipArchive check;
    if (!OpenZipFile(talvpack::Shown(talvpack::PathOfWord(zip)).c_str(), check)) {
      return Fail("\"" + zip + "\" is not an archive the launcher can read");
    }
    const std::string problem = talvpack::ArchiveNamesProblem(check);
    CloseZip(check);
    if (!problem.empty()) return Fail("\"" + zip + "\": " + problem);
  }
  // The archive's offset and length are 32-bit values of the trailer.
  if (image.size() + archive.size() > 0xFFFFFFF0ull) return Fail("launcher and archive together reach 4 GiB");

  const std::uint32_t a = static_cast<std::uint32_t>(image.size());
  const std::uint32_t b = static_cast<std::uint32_t>(archive.size());
  const std::uint32_t c = kTrailerSum - a - b;  // modulo 2^32
  std::vector<unsigned char> out(image);
  out.insert(out.end(), archive.begin(), archive.end());
  Put32(out, a);
  Put32(out, b);
  Put32(out, c);
  // Filler so that the file ends on an 8-byte boundary: the certificate table a signing
  // tool appends then follows the version range directly, without padding in between.
  const unsigned char n = static_cast<unsigned char>((8 - (out.size() + 1 + 8) % 8) % 8);
  out.insert(out.end(), n, 0);
  out.push_back(n);
  Put32(out, begin);
  Put32(out, end);

  MemoryByteSource written(out.data(), out.size());
  SelfExtractTrailer trailer;
  std::uint32_t readBegin = 0, readEnd = 0;
  if (!ReadSelfExtractTrailer(written, 0, &trailer) || trailer.a != a || trailer.b != b ||
      !ReadExePatchRange(written, 0, &readBegin, &readEnd) || readBegin != begin || readEnd != end) {
    return Fail("the trailer does not read back");  // cannot happen unless the layout changed
  }
  std::ofstream file(output, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  file.close();
  if (!file) return Fail("cannot write \"" + output + "\"");
  std::printf("%s: archive of %u bytes at %u, versions %u to %u\n", output.c_str(), b, a, begin, end);
  return 0;
}

}  // namespace

TALVPACK_COMMAND(exepatch, "exepatch",
                 "exepatch --launcher Talvenor.exe --from BEGIN --to END --zip PATCH.zip -o Talvenor_patch.exe",
                 "Writes a self-extracting patch: a copy of the launcher carrying PATCH.zip, the trailer\n"
                 "that locates it and the range of game versions it applies to (BEGIN to END; BEGIN\n"
                 "is not 0). The launcher applies it to an installation at a version from BEGIN to END\n"
                 "and records END.\n"
                 "\n"
                 "Give the unsigned launcher. A signed launcher is signed after this step: its\n"
                 "certificate table then follows the version range, and the launcher's detection\n"
                 "accounts for it. A launcher that is already signed, or already carries an archive,\n"
                 "is refused. PATCH.zip is checked with the launcher's own zip reader first.",
                 ExePatchMain);
