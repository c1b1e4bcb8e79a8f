// talvpack's keys and signatures against Debian's minisign, both ways: what talvpack signs,
// minisign -V verifies; what minisign -S signs (with either tool's key), the launcher's
// reader accepts. On the host only, where minisign is.
#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "launcher/patch/update_signature.h"

#include "tests/tools/host_files.h"

namespace fs = std::filesystem;

namespace {

using host_files::Put;
using host_files::Quote;
using host_files::Slurp;

class TalvpackSign : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/talvpack_sign_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    const char* bin = std::getenv("TALV_BIN_DIR");
    talvpack_ = fs::path(bin != nullptr ? bin : "bin") / "talvpack";
    if (!fs::exists(talvpack_)) GTEST_SKIP() << talvpack_ << " not built";
    if (std::system("minisign -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "minisign not installed (scripts/setup)";
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Exit code of a command line run in the test folder; its output goes to dir_/out.
  int Run(const std::string& program, const std::vector<std::string>& args) {
    std::string line = "cd " + Quote(dir_.string()) + " && " + program;
    for (const auto& a : args) line += " " + Quote(a);
    line += " >out 2>&1 </dev/null";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Talv(const std::vector<std::string>& args) { return Run(Quote(talvpack_.string()), args); }
  std::string Output() { return Slurp(dir_ / "out"); }

  // The launcher's own check of file against its FILE.minisig.
  const char* LauncherCheck(const fs::path& pub, const fs::path& file) {
    const std::string key = Slurp(pub), doc = Slurp(file), sig = Slurp(file.string() + ".minisig");
    UpdatePublicKey parsed;
    if (!ParseUpdatePublicKey(key.data(), key.size(), &parsed)) return "bad key";
    return CheckUpdateSignature(parsed, doc.data(), doc.size(), sig.data(), sig.size());
  }

  fs::path dir_;
  fs::path talvpack_;
};

TEST_F(TalvpackSign, KeysAndSignaturesInteroperateWithMinisign) {
  Put(dir_ / "version.txt", "client.exe,9,0123456789ABCDEF0123456789ABCDEF,101\r\n");
  ASSERT_EQ(Talv({"keygen", "talv.pub", "talv.key"}), 0) << Output();
  ASSERT_EQ(Run("minisign", {"-G", "-W", "-p", "mini.pub", "-s", "mini.key"}), 0) << Output();

  struct Case {
    const char* what;
    const char* signer;  // "talvpack" or "minisign"
    const char* key;
  };
  for (const Case& c : {Case{"talvpack with its key", "talvpack", "talv"},
                        Case{"talvpack with minisign's key", "talvpack", "mini"},
                        Case{"minisign with talvpack's key", "minisign", "talv"}}) {
    fs::remove(dir_ / "version.txt.minisig");
    const std::string sec = std::string(c.key) + ".key", pub = std::string(c.key) + ".pub";
    const int signed_ = std::string(c.signer) == "talvpack"
                            ? Talv({"sign", "--key", sec, "version.txt"})
                            : Run("minisign", {"-S", "-s", sec, "-m", "version.txt"});
    ASSERT_EQ(signed_, 0) << c.what << ": " << Output();
    EXPECT_EQ(Run("minisign", {"-V", "-p", pub, "-m", "version.txt"}), 0) << c.what << ": " << Output();
    EXPECT_EQ(LauncherCheck(dir_ / pub, dir_ / "version.txt"), nullptr) << c.what;
    const fs::path other = dir_ / (std::string(c.key) == "talv" ? "mini.pub" : "talv.pub");
    EXPECT_STREQ(LauncherCheck(other, dir_ / "version.txt"), "signed with another key") << c.what;
  }
  // The key files are minisign's: its legacy signature too is read by the launcher.
  ASSERT_EQ(Run("minisign", {"-S", "-l", "-s", "talv.key", "-m", "version.txt"}), 0) << Output();
  EXPECT_EQ(LauncherCheck(dir_ / "talv.pub", dir_ / "version.txt"), nullptr);

  // A key pair is never overwritten; a missing or foreign key signs nothing.
  const std::string pub = Slurp(dir_ / "talv.pub");
  EXPECT_EQ(Talv({"keygen", "talv.pub", "new.key"}), 1);
  EXPECT_EQ(Slurp(dir_ / "talv.pub"), pub);
  EXPECT_FALSE(fs::exists(dir_ / "new.key"));
  fs::remove(dir_ / "version.txt.minisig");
  EXPECT_EQ(Talv({"sign", "--key", "talv.pub", "version.txt"}), 1);
  EXPECT_NE(Output().find("is not a minisign secret key"), std::string::npos) << Output();
  EXPECT_EQ(Talv({"sign", "version.txt"}), 1);
  EXPECT_FALSE(fs::exists(dir_ / "version.txt.minisig"));
}

TEST_F(TalvpackSign, PublishAndLauncherSignEveryDocument) {
  Put(dir_ / "game" / "client.exe", "MZ client 101");
  Put(dir_ / "Talvenor_206.exe", "MZ launcher 206");
  ASSERT_EQ(Talv({"keygen", "k.pub", "k.key"}), 0) << Output();
  ASSERT_EQ(Talv({"publish", "--version", "101", "--login", "127.0.0.1:6000", "--files-address", "127.0.0.1:80/talv/",
                  "--launcher-version", "206", "--connections", "4", "--mirror", "127.0.0.2:80/talv/", "--mirror",
                  "127.0.0.3:21/talv/", "--sign-key", "k.key", "game", "www"}),
            0)
      << Output();
  ASSERT_EQ(Talv({"launcher", "--version", "206", "--sign-key", "k.key", "Talvenor_206.exe", "www"}), 0) << Output();
  for (const char* doc : {"patch_live.txt", "version.txt", "talvenor.txt"}) {
    EXPECT_EQ(Run("minisign", {"-V", "-p", "k.pub", "-m", std::string("www/") + doc}), 0) << doc << ": " << Output();
  }
  // Without the option nothing is signed, and a bad key leaves no tree behind.
  ASSERT_EQ(Talv({"publish", "--version", "101", "--login", "l", "--files-address", "f", "game", "plain"}), 0);
  EXPECT_FALSE(fs::exists(dir_ / "plain" / "version.txt.minisig"));
  EXPECT_EQ(Talv({"publish", "--version", "101", "--login", "l", "--files-address", "f", "--sign-key", "k.pub", "game",
                  "refused"}),
            1);
  EXPECT_FALSE(fs::exists(dir_ / "refused"));
}

}  // namespace
#endif
