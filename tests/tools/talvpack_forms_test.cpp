// publish --delta-from: the forms it writes decode to the published files, deltas exist only
// for changed files and only where they save, and the index is signed with the documents.
#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
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
