// The transfer index: what it accepts, what refuses it whole, and which forms a file gets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "launcher/patch/transfer_forms.h"
#include "launcher/patch/transfer_index.h"
#include "launcher/patch/version_info.h"
#include "tests/support/log_capture.h"

namespace {

const char kA[] = "0123456789ABCDEF0123456789ABCDEF";
const char kB[] = "D41D8CD98F00B204E9800998ECF8427E";
const char kC[] = "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF";

std::vector<unsigned char> Digest(const char* text) {
  std::vector<unsigned char> d(kMd5DigestSize);
  EXPECT_TRUE(ParseDigestText(text, d.data()));
  return d;
}

std::string Whole(const std::string& name, const std::string& path, int size, const char* md5 = kB) {
  return "whole," + name + "," + kA + "," + path + "," + std::to_string(size) + "," + md5 + "\n";
}
std::string Delta(const std::string& name, const std::string& path, int size, int fromSize, const char* fromMd5) {
  return "delta," + name + "," + kA + "," + path + "," + std::to_string(size) + "," + kB + "," +
         std::to_string(fromSize) + "," + fromMd5 + "\n";
}

const std::string kHead = "talvenor-forms 1\n";

TEST(TransferIndex, ReadsAndRefuses) {
  struct Case {
    const char* what;
    std::string text;
    bool ok;
    std::size_t files;
    const char* log;
  };
  const std::vector<Case> cases = {
      {"forms of two files", kHead + Whole("data\\a.pak", "Talvenor.forms/data/a.pak.zst", 10) +
                                 Delta("data\\a.pak", "Talvenor.forms/data/a.pak.1.delta", 5, 100, kC) +
                                 Whole("b.txt", "Talvenor.forms/b.txt.zst", 3),
       true, 2, nullptr},
      {"CR LF lines, blank lines and names with blanks", "talvenor-forms 1\r\n\r\n" + Whole("my file", "f/my file", 3),
       true, 1, nullptr},
      {"a kind of a later index is skipped", kHead + "patch2,x,y\n" + Whole("a", "a.zst", 1), true, 1, nullptr},
      {"only the first line", kHead, true, 0, nullptr},
      {"empty", "", false, 0, "CTransferIndex::Read() : line 0 : empty text."},
      {"other first line", "talvenor-forms 2\n" + Whole("a", "a.zst", 1), false, 0,
       "CTransferIndex::Read() : line 1 : not a transfer index of this version."},
      {"field missing", kHead + "whole,a," + kA + ",a.zst,1\n", false, 0,
       "CTransferIndex::Read() : line 2 : wrong number of fields."},
      {"size not a number", kHead + "whole,a," + kA + ",a.zst,-1," + kB + "\n", false, 0,
       "CTransferIndex::Read() : line 2 : bad size or digest."},
      {"bad digest", kHead + Whole("a", "a.zst", 1, "XYZ"), false, 0,
       "CTransferIndex::Read() : line 2 : bad size or digest."},
      {"bad source digest", kHead + Delta("a", "a.d", 1, 5, "00"), false, 0,
       "CTransferIndex::Read() : line 2 : bad source size or digest."},
      {"name leaves the game", kHead + Whole("..\\evil.exe", "a.zst", 1), false, 0,
       "CTransferIndex::Read() : line 2 : unsafe file name."},
      {"absolute name", kHead + Whole("C:\\evil.exe", "a.zst", 1), false, 0,
       "CTransferIndex::Read() : line 2 : unsafe file name."},
      {"path leaves the server folder", kHead + Whole("a", "../../etc/passwd", 1), false, 0,
       "CTransferIndex::Read() : line 2 : unsafe server path."},
      {"two results for one file", kHead + Whole("a", "a.zst", 1) + "whole,a," + kC + ",a2.zst,1," + kB + "\n", false,
       0, "CTransferIndex::Read() : line 3 : forms of one file decode to different contents."},
      {"NUL inside", kHead + std::string("whole,a\0b,", 10) + kA + ",a.zst,1," + kB + "\n", false, 0,
       "CTransferIndex::Read() : line 2 : NUL in the text."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LogCapture log;
    CTransferIndex index;
    EXPECT_EQ(index.Read(c.text.data(), c.text.size()), c.ok);
    EXPECT_EQ(index.FileCount(), c.files);
    if (c.log != nullptr) {
      EXPECT_EQ(log.lines(), std::vector<std::string>{c.log});
    } else {
      EXPECT_TRUE(log.lines().empty()) << log.Joined();
    }
  }
}

TEST(TransferIndex, FindMatchesNameAndResult) {
  const std::string text = kHead + Whole("a", "a.zst", 1);
  CTransferIndex index;
  ASSERT_TRUE(index.Read(text.data(), text.size()));
  EXPECT_NE(index.Find("a", Digest(kA).data()), nullptr);
  EXPECT_EQ(index.Find("a", Digest(kB).data()), nullptr);  // the index is of another release
  EXPECT_EQ(index.Find("A", Digest(kA).data()), nullptr);
}

class FakeInstalled : public InstalledContent {
 public:
  FakeInstalled(bool exists, std::uint64_t size, const char* md5) : exists_(exists), size_(size), md5_(md5) {}
  bool Size(std::uint64_t* size) override {
    *size = size_;
    return exists_;
  }
  bool Digest(unsigned char md5[kMd5DigestSize]) override {
    ++hashes;
    return ParseDigestText(md5_, md5);
  }
  int hashes = 0;

 private:
  bool exists_;
  std::uint64_t size_;
  const char* md5_;
};

TEST(TransferForms, ChoosesSmallestApplicableFirst) {
  const std::string text = kHead + Whole("a", "a.zst", 500) + Delta("a", "a.from100", 40, 100, kC) +
                           Delta("a", "a.from100b", 20, 100, kC) + Delta("a", "a.from200", 10, 200, kC) +
                           Delta("a", "a.fromother", 5, 100, kB) + Whole("b", "b.zst", 2000);
  CTransferIndex index;
  ASSERT_TRUE(index.Read(text.data(), text.size()));
  const TransferFileForms* a = index.Find("a", Digest(kA).data());
  ASSERT_NE(a, nullptr);
  auto paths = [](const std::vector<const TransferForm*>& v) {
    std::vector<std::string> out;
    for (const TransferForm* f : v) out.push_back(f->path);
    return out;
  };
  struct Case {
    const char* what;
    bool exists;
    std::uint64_t size;
    const char* md5;
    bool install;
    std::uint64_t raw;
    std::vector<std::string> chosen;
    int hashes;
  };
  const std::vector<Case> cases = {
      {"installed content is a source", true, 100, kC, false, 1000, {"a.from100b", "a.from100", "a.zst"}, 1},
      {"player modified the file", true, 100, kA, false, 1000, {"a.zst"}, 1},
      {"size matches no source: not hashed", true, 150, kC, false, 1000, {"a.zst"}, 0},
      {"file missing", false, 0, kC, false, 1000, {"a.zst"}, 0},
      {"install mode takes the whole file", true, 100, kC, true, 1000, {"a.zst"}, 0},
      {"forms no smaller than the raw file are left", true, 100, kC, false, 30, {"a.from100b"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeInstalled installed(c.exists, c.size, c.md5);
    const auto chosen = ChooseForms(a, c.raw, c.install, installed);
    EXPECT_EQ(paths(chosen), c.chosen);
    EXPECT_EQ(installed.hashes, c.hashes);
    EXPECT_EQ(WireSize(chosen, c.raw), chosen.empty() ? c.raw : chosen.front()->size);
  }
  FakeInstalled none(true, 100, kC);
  EXPECT_TRUE(ChooseForms(nullptr, 1000, false, none).empty());
  EXPECT_TRUE(ChooseForms(index.Find("b", Digest(kA).data()), 1000, false, none).empty());  // whole not smaller
}

}  // namespace
