// publish --delta-from: the forms it writes decode to the published files, deltas exist only
// for changed files and only where they save, and the index is signed with the documents.
#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "launcher/patch/patch_info.h"
#include "launcher/patch/transfer_index.h"
#include "launcher/patch/version_info.h"
#include "launcher/transfer/delta_apply.h"
#include "tests/tools/host_files.h"

namespace fs = std::filesystem;
using host_files::Put;
using host_files::Quote;
using host_files::Slurp;

namespace {

class StringSink : public ByteSink {
 public:
  bool Write(const void* data, std::size_t n) override {
    bytes.append(static_cast<const char*>(data), n);
    return true;
  }
  std::string bytes;
};

std::string Noise(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

class TalvpackForms : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/talvpack_forms_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    exe_ = host_files::BuiltTalvpack();
    if (exe_.empty()) GTEST_SKIP() << "talvpack not built";
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Talv(const std::vector<std::string>& args) {
    std::string line = "cd " + Quote(dir_.string()) + " && " + Quote(exe_.string());
    for (const auto& a : args) line += " " + Quote(a);
    line += " >out 2>&1 </dev/null";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Publish(int version, const std::string& game, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"publish", "--version", std::to_string(version), "--login", "l:1",
                                     "--files-address", "http://127.0.0.1/"};
    if (version > 100) args.insert(args.end(), {"--previous", "t" + std::to_string(version - 1) + "/version.txt"});
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {game, "t" + std::to_string(version)});
    return Talv(args);
  }

  fs::path dir_;
  fs::path exe_;
};

TEST_F(TalvpackForms, FormsDecodeToThePublishedFiles) {
  const std::string pak = Noise(600000, 1);
  std::string pak101 = pak.substr(0, 300000) + Noise(2000, 2) + pak.substr(300000);
  std::string pak102 = pak101;
  pak102[500000] ^= 1;
  std::string table;
  for (int i = 0; i < 20000; ++i) table += "item" + std::to_string(i) + ",10\r\n";
  Put(dir_ / "g100/data/a.pak", pak);
  Put(dir_ / "g100/table.txt", table);
  Put(dir_ / "g100/tiny.txt", "x");
  Put(dir_ / "g101/data/a.pak", pak101);
  Put(dir_ / "g101/table.txt", table + "new,1\r\n");
  Put(dir_ / "g101/tiny.txt", "x");
  Put(dir_ / "g102/data/a.pak", pak102);
  Put(dir_ / "g102/table.txt", table + "new,1\r\n");
  Put(dir_ / "g102/tiny.txt", "y");
  ASSERT_EQ(Talv({"keygen", "k.pub", "k.key"}), 0) << Slurp(dir_ / "out");
  ASSERT_EQ(Publish(100, "g100", {}), 0) << Slurp(dir_ / "out");
  ASSERT_EQ(Publish(101, "g101", {"--delta-from", "t100"}), 0) << Slurp(dir_ / "out");
  ASSERT_EQ(Publish(102, "g102", {"--delta-from", "t100", "--delta-from", "t101", "--sign-key", "k.key"}), 0)
      << Slurp(dir_ / "out");
  EXPECT_FALSE(fs::exists(dir_ / "t100/forms.txt"));  // nothing new without --delta-from
  EXPECT_TRUE(fs::exists(dir_ / "t102/forms.txt.minisig"));
  // The patch information announces the index only where there is one, and stays signed.
  for (const char* t : {"t100", "t101", "t102"}) {
    CPatchInfo info;
    ASSERT_TRUE(info.Parse(Slurp(dir_ / t / "patch_live.txt").c_str())) << t;
    EXPECT_STREQ(info.forms, std::string(t) == "t100" ? "" : "forms.txt") << t;
  }
  EXPECT_TRUE(fs::exists(dir_ / "t102/patch_live.txt.minisig"));

  const fs::path tree = dir_ / "t102";
  const std::string text = Slurp(tree / "forms.txt");
  CTransferIndex index;
  ASSERT_TRUE(index.Read(text.data(), text.size())) << text;
  CVersionInfo manifest;
  ASSERT_TRUE(manifest.ReadFromMemory(Slurp(tree / "version.txt").c_str()));

  struct Expect {
    const char* name;
    const char* file;
    std::vector<std::string> sources;  // earlier trees whose content has a delta
    bool whole;
  };
  const std::vector<Expect> expected = {
      {"data\\a.pak", "data/a.pak", {"t100", "t101"}, false},  // noise does not compress
      {"table.txt", "table.txt", {"t100"}, true},               // unchanged since 101: one delta
      {"tiny.txt", "tiny.txt", {}, false},                      // no form saves anything
  };
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.name);
    std::size_t i = 0;
    while (i < manifest.GetCount() && e.name != std::string(manifest.GetName(i))) ++i;
    ASSERT_LT(i, manifest.GetCount());
    const TransferFileForms* forms = index.Find(e.name, manifest.GetHash(i));
    if (e.sources.empty() && !e.whole) {
      EXPECT_EQ(forms, nullptr);
      continue;
    }
    ASSERT_NE(forms, nullptr);
    const std::string want = Slurp(tree / "Talvenor" / e.file);
    std::vector<std::string> sources;
    bool whole = false;
    for (const TransferForm& f : forms->forms) {
      const std::string bytes = Slurp(tree / f.path);
      ASSERT_EQ(bytes.size(), f.size);
      unsigned char md5[kMd5DigestSize];
      MD5Digest(bytes.data(), bytes.size(), md5);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(md5), 16), std::string(reinterpret_cast<const char*>(f.md5), 16));
      EXPECT_LT(f.size, want.size());
      MemorySource in(bytes.data(), bytes.size());
      StringSink out;
      if (f.kind == TransferFormKind::kWhole) {
        whole = true;
        ASSERT_TRUE(DecompressWholeFile(in, want.size(), manifest.GetHash(i), out, e.name));
      } else {
        std::string src;
        for (const char* t : {"t100", "t101"}) {
          const std::string s = Slurp(dir_ / t / "Talvenor" / e.file);
          unsigned char d[kMd5DigestSize];
          MD5Digest(s.data(), s.size(), d);
          if (std::memcmp(d, f.sourceMd5, kMd5DigestSize) == 0 && s.size() == f.sourceSize) {
            sources.push_back(t);
            src = s;
          }
        }
        MemorySource old(src.data(), src.size());
        ASSERT_TRUE(ApplyDelta(in, old, out, e.name, manifest.GetHash(i)));
        EXPECT_LT(f.size, want.size() / 20);
      }
      EXPECT_EQ(out.bytes, want);
    }
    EXPECT_EQ(sources, e.sources);
    EXPECT_EQ(whole, e.whole);
  }
}

// The index as a list of lines, each its fields, for spoiling one form of a published tree.
std::vector<std::vector<std::string>> IndexLines(const fs::path& tree) {
  std::vector<std::vector<std::string>> lines;
  const std::string text = Slurp(tree / "forms.txt");
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> fields;
    const std::string line = text.substr(at, end - at);
    for (std::size_t f = 0;;) {
      const std::size_t comma = line.find(',', f);
      fields.push_back(line.substr(f, comma == std::string::npos ? std::string::npos : comma - f));
      if (comma == std::string::npos) break;
      f = comma + 1;
    }
    lines.push_back(fields);
    at = end + 2;
  }
  return lines;
}

void PutIndexLines(const fs::path& tree, const std::vector<std::vector<std::string>>& lines) {
  std::string text;
  for (const auto& fields : lines) {
    for (std::size_t i = 0; i < fields.size(); ++i) text += (i == 0 ? "" : ",") + fields[i];
    text += "\r\n";
  }
  Put(tree / "forms.txt", text);
}

// The server path of the first form whose path begins with prefix.
std::string FormPath(const fs::path& tree, const std::string& prefix) {
  for (const auto& f : IndexLines(tree)) {
    if (f.size() >= 6 && f[3].compare(0, prefix.size(), prefix) == 0) return f[3];
  }
  ADD_FAILURE() << "no form " << prefix;
  return prefix;
}

std::string Md5Hex(const std::string& bytes) {
  unsigned char md5[kMd5DigestSize];
  MD5Digest(bytes.data(), bytes.size(), md5);
  char text[2 * kMd5DigestSize + 1];
  FormatDigest(md5, text);
  return text;
}

// verify reads the transfer index as the launcher does: every form present with the index's
// size and MD5, decoding to the file of version.txt, the index itself announced, readable and
// signed. Each spoilt tree has exactly one fault, named with the file, the form and the reason.
TEST_F(TalvpackForms, VerifyChecksTheTransferIndex) {
  const std::string pak = Noise(200000, 3);
  std::string table;
  for (int i = 0; i < 4000; ++i) table += "item" + std::to_string(i) + ",10\r\n";
  std::string text;
  for (int i = 0; i < 300; ++i) text += u8"許功蓋 " + std::to_string(i) + "\r\n";
  Put(dir_ / "g100/data/a.pak", pak);
  Put(dir_ / "g100/table.txt", table);
  Put(dir_ / u8"g100/許/功.dat", text);
  Put(dir_ / "g101/data/a.pak", pak.substr(0, 100000) + Noise(500, 4) + pak.substr(100000));
  Put(dir_ / "g101/table.txt", table + "new,1\r\n");
  Put(dir_ / u8"g101/許/功.dat", text + "!");
  ASSERT_EQ(Talv({"keygen", "k.pub", "k.key"}), 0) << Slurp(dir_ / "out");
  ASSERT_EQ(Talv({"keygen", "other.pub", "other.key"}), 0) << Slurp(dir_ / "out");
  ASSERT_EQ(Publish(100, "g100", {"--sign-key", "k.key"}), 0) << Slurp(dir_ / "out");
  ASSERT_EQ(Publish(101, "g101", {"--delta-from", "t100", "--sign-key", "k.key"}), 0) << Slurp(dir_ / "out");
  const std::string pakDelta = FormPath(dir_ / "t101", "Talvenor.forms/data/a.pak.from-");
  const std::string tableWhole = "Talvenor.forms/table.txt.zst";
  const std::string chineseWhole = "Talvenor.forms/\xB3\x5C/\xA5\x5C.dat.zst";  // 許/功: both end in 0x5C
  ASSERT_TRUE(fs::exists(dir_ / "t101" / chineseWhole));

  // Edits that keep the index true to the forms (and its signature valid), so that only the
  // fault a case plants is left.
  const auto reindex = [&](const fs::path& tree, const std::string& path) {
    auto lines = IndexLines(tree);
    for (auto& f : lines) {
      if (f.size() < 6 || f[3] != path) continue;
      const std::string bytes = Slurp(tree / path);
      f[4] = std::to_string(bytes.size());
      f[5] = Md5Hex(bytes);
    }
    PutIndexLines(tree, lines);
    EXPECT_EQ(Talv({"sign", "--key", "k.key", (tree / "forms.txt").string()}), 0) << Slurp(dir_ / "out");
  };
  const auto overwrite = [](const fs::path& file, std::size_t at, const std::string& bytes) {
    std::string content = Slurp(file);
    ASSERT_LE(at + bytes.size(), content.size());
    content.replace(at, bytes.size(), bytes);
    Put(file, content);
  };
  const auto flip = [](const fs::path& file, std::size_t at, std::size_t n) {
    std::string content = Slurp(file);
    ASSERT_LE(at + n, content.size());
    for (std::size_t i = at; i < at + n; ++i) content[i] = static_cast<char>(content[i] ^ 0xFF);
    Put(file, content);
  };

  const struct {
    const char* what;
    std::function<void(const fs::path&)> spoil;
    std::string fault;  // empty: all well
    bool passesWithoutEarlier;  // the fault shows only when the delta is applied
  } cases[] = {
      {"good tree", [](const fs::path&) {}, "", true},
      {"missing form", [&](const fs::path& t) { fs::remove(t / tableWhole); },
       "forms.txt: \"table.txt\": compressed file \"Talvenor.forms/table.txt.zst\": the form is missing", false},
      {"form with the wrong size", [&](const fs::path& t) { Put(t / tableWhole, Slurp(t / tableWhole) + "x"); },
       "compressed file \"Talvenor.forms/table.txt.zst\": the form has ", false},
      {"form with the wrong MD5", [&](const fs::path& t) { flip(t / chineseWhole, 20, 2); },
       "forms.txt: \"\xB3\x5C\\\xA5\x5C.dat\": compressed file \"Talvenor.forms/\xB3\x5C/\xA5\x5C.dat.zst\": the "
       "form's MD5 is not the index's",
       false},
      {"corrupt zstd",
       [&](const fs::path& t) {
         flip(t / tableWhole, 40, 16);
         reindex(t, tableWhole);
       },
       "compressed file \"Talvenor.forms/table.txt.zst\": it does not decompress to the ", false},
      {"delta with a damaged header",
       [&](const fs::path& t) {
         overwrite(t / pakDelta, 8, std::string("\x02", 1));  // version 2
         reindex(t, pakDelta);
       },
       "\"data\\a.pak\": delta \"" + pakDelta + "\": the header is damaged: unknown version", false},
      {"delta whose header claims another source",
       [&](const fs::path& t) {
         overwrite(t / pakDelta, 32, std::string(16, '\x01'));
         reindex(t, pakDelta);
       },
       "delta \"" + pakDelta + "\": the header's source (", false},
      {"delta that applies to a wrong result",
       [&](const fs::path& t) {
         // A delta made from another content of the same size, whose header claims t100's file.
         std::string other = Slurp(dir_ / "t100/Talvenor/data/a.pak");
         for (int i = 0; i < 64; ++i) other[1000 + i] = static_cast<char>(other[1000 + i] ^ 0x55);
         Put(dir_ / "other.pak", other);
         ASSERT_EQ(Talv({"delta", "make", "other.pak", (t / "Talvenor/data/a.pak").string(), "other.delta"}), 0)
             << Slurp(dir_ / "out");
         std::string delta = Slurp(dir_ / "other.delta");
         unsigned char md5[kMd5DigestSize];
         const std::string source = Slurp(dir_ / "t100/Talvenor/data/a.pak");
         MD5Digest(source.data(), source.size(), md5);
         delta.replace(32, kMd5DigestSize, reinterpret_cast<const char*>(md5), kMd5DigestSize);
         Put(t / pakDelta, delta);
         reindex(t, pakDelta);
       },
       "delta \"" + pakDelta + "\": applied to \"t100/Talvenor/data/a.pak\" it does not make the file of "
       "version.txt",
       true},
      {"unsigned index", [](const fs::path& t) { fs::remove(t / "forms.txt.minisig"); },
       "forms.txt.minisig is missing", false},
      {"badly signed index",
       [&](const fs::path& t) {
         EXPECT_EQ(Talv({"sign", "--key", "other.key", (t / "forms.txt").string()}), 0) << Slurp(dir_ / "out");
       },
       "forms.txt.minisig: ", false},
      {"unreadable index",
       [&](const fs::path& t) {
         auto lines = IndexLines(t);
         lines[0] = {"talvenor-forms 2"};
         PutIndexLines(t, lines);
         EXPECT_EQ(Talv({"sign", "--key", "k.key", (t / "forms.txt").string()}), 0) << Slurp(dir_ / "out");
       },
       "forms.txt does not read as a transfer index", false},
      {"announced index missing",
       [](const fs::path& t) {
         fs::remove(t / "forms.txt");
         fs::remove(t / "forms.txt.minisig");
       },
       "forms.txt (announced by patch_live.txt) is missing", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path tree = dir_ / "case";
    fs::remove_all(tree);
    fs::copy(dir_ / "t101", tree, fs::copy_options::recursive);
    c.spoil(tree);
    const int code = Talv({"verify", "--public-key", "k.pub", "--delta-from", "t100", "case"});
    const std::string out = Slurp(dir_ / "out");
    if (c.fault.empty()) {
      EXPECT_EQ(code, 0) << out;
    } else {
      EXPECT_NE(code, 0) << out;
      EXPECT_NE(out.find(c.fault), std::string::npos) << out;
      EXPECT_NE(out.find("talvpack verify: 1 fault\n"), std::string::npos) << out;
    }
    EXPECT_EQ(Talv({"verify", "--public-key", "k.pub", "case"}) == 0, c.passesWithoutEarlier) << Slurp(dir_ / "out");
  }
}

TEST_F(TalvpackForms, BadEarlierTreeLeavesNothing) {
  Put(dir_ / "g/a.txt", "a");
  ASSERT_NE(Publish(100, "g", {"--delta-from", "nowhere"}), 0);
  EXPECT_NE(Slurp(dir_ / "out").find("--delta-from nowhere"), std::string::npos) << Slurp(dir_ / "out");
  EXPECT_FALSE(fs::exists(dir_ / "t100"));
  std::size_t entries = 0;
  for (const auto& e : fs::directory_iterator(dir_)) entries += e.path().filename() != "out" ? 1 : 0;
  EXPECT_EQ(entries, 1u);  // g only: no staging folder left
}

}  // namespace
#endif
