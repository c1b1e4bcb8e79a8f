// talvpack on the host, as publishers run it: what it writes, the launcher's readers read
// back to the same entries, and every digest is md5sum's. (Under Wine: talvpack_win_test.)
#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "launcher/patch/patch_info.h"
#include "launcher/patch/version_info.h"
#include "launcher/storage/zip_archive.h"

#include "tests/tools/host_files.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
  int code = -1;
  std::string out;
  std::string err;
};

using host_files::Put;
using host_files::Quote;
using host_files::Slurp;

class Talvpack : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/talvpack_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    const char* bin = std::getenv("TALV_BIN_DIR");
    exe_ = fs::path(bin != nullptr ? bin : "bin") / "talvpack";
    if (!fs::exists(exe_)) GTEST_SKIP() << exe_ << " not built";
  }
  void TearDown() override { fs::remove_all(dir_); }

  ToolRun Talv(const std::vector<std::string>& args) {
    std::string line = Quote(exe_.string());
    for (const auto& a : args) line += " " + Quote(a);
    line += " >" + Quote((dir_ / "stdout").string()) + " 2>" + Quote((dir_ / "stderr").string());
    ToolRun r;
    const int status = std::system(line.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(dir_ / "stdout");
    r.err = Slurp(dir_ / "stderr");
    return r;
  }

  // md5sum's digest of a file, upper case.
  std::string Md5sum(const fs::path& file) {
    const std::string cmd = "md5sum " + Quote(file.string()) + " >" + Quote((dir_ / "md5").string());
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::string digest = Slurp(dir_ / "md5").substr(0, 32);
    for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return digest;
  }

  // name -> "size|DIGEST|version" of a manifest read with the launcher's reader.
  std::map<std::string, std::string> Read(const std::string& text) {
    CVersionInfo info;
    EXPECT_TRUE(info.ReadFromMemory(text.c_str())) << text;
    std::map<std::string, std::string> out;
    for (std::size_t i = 0; i < info.GetCount(); ++i) {
      char digest[33];
      FormatDigest(info.GetHash(i), digest);
      out[info.GetName(i)] =
          std::to_string(info.GetSize(i)) + "|" + digest + "|" + std::to_string(info.GetUpdateVersion(i));
    }
    return out;
  }

  fs::path dir_;
  fs::path exe_;
};

const char kEmptyMd5[] = "D41D8CD98F00B204E9800998ECF8427E";

}  // namespace

TEST_F(Talvpack, PublishedTreeReadsBackAndDigestsAreMd5sums) {
  const fs::path game = dir_ / "game";
  std::string big(200000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7919 % 253);
  Put(game / "client.exe", "MZ client");
  Put(game / "data" / "big.pak", big);
  Put(game / "sub dir" / "a b.txt", "blank in the names");
  Put(game / "0x.dat", "a leading zero is no number to the launcher");

  const fs::path out = dir_ / "www";
  ToolRun r = Talv({"publish", "--version", "300", "--login", "10.1.2.3:6000", "--files-address", "ftp://10.1.2.4/live/",
                "--arg", "-window -lang tw", game.string(), out.string()});
  ASSERT_EQ(r.code, 0) << r.err;

  const auto entries = Read(Slurp(out / "version.txt"));
  const std::map<std::string, fs::path> files = {{"client.exe", "client.exe"},
                                                 {"data\\big.pak", "data/big.pak"},
                                                 {"sub dir\\a b.txt", "sub dir/a b.txt"},
                                                 {"0x.dat", "0x.dat"}};
  ASSERT_EQ(entries.size(), files.size());
  for (const auto& [name, relative] : files) {
    ASSERT_EQ(entries.count(name), 1u) << name;
    const std::string digest = Md5sum(game / relative);
    EXPECT_EQ(Md5sum(out / "Talvenor" / relative), digest) << name;
    EXPECT_EQ(entries.at(name), std::to_string(fs::file_size(game / relative)) + "|" + digest + "|300") << name;
  }
  // The manifest command prints the same manifest.
  EXPECT_EQ(Talv({"manifest", "--version", "300", game.string()}).out, Slurp(out / "version.txt"));

  CPatchInfo info;
  ASSERT_TRUE(info.Parse(Slurp(out / "patch_live.txt").c_str()));
  EXPECT_FALSE(info.blocked);
  EXPECT_EQ(info.patch_version, 300);
  EXPECT_EQ(info.launcher_version, 205);
  EXPECT_STREQ(info.ftp, "ftp://10.1.2.4/live/");
  EXPECT_STREQ(info.login, "10.1.2.3:6000");
  EXPECT_STREQ(info.arg, "-window -lang tw");
  EXPECT_EQ(Slurp(out / "patch_live.txt").find("connections"), std::string::npos);  // today's document
  EXPECT_EQ(Slurp(out / "patch_live.txt").find("mirror"), std::string::npos);
  // Nothing but the tree: no staging folder left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 5);  // game www stdout stderr md5
}

TEST_F(Talvpack, ConnectionsAndMirrorsReadBackInTheirOrder) {
  Put(dir_ / "game" / "client.exe", "MZ client");
  const fs::path out = dir_ / "www";
  ToolRun r = Talv({"publish", "--version", "7", "--login", "l", "--files-address", "a:80/p/", "--connections", "16",
                    "--mirror", "b:80/q/", "--mirror", "user:pw@c:21/r", (dir_ / "game").string(), out.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  CPatchInfo info;
  ASSERT_TRUE(info.Parse(Slurp(out / "patch_live.txt").c_str()));
  EXPECT_EQ(info.connections, 16);
  ASSERT_EQ(info.mirror_count, 2);
  EXPECT_STREQ(info.mirror[0], "b:80/q/");
  EXPECT_STREQ(info.mirror[1], "user:pw@c:21/r");
}

TEST_F(Talvpack, VersionsFollowTheFilesAcrossReleases) {
  const fs::path game = dir_ / "game";
  Put(game / "same.dat", "unchanged");
  Put(game / "changed.dat", "old");
  Put(game / "gone.dat", "removed in 301");
  ToolRun r300 = Talv({"manifest", "--version", "300", game.string()});
  ASSERT_EQ(r300.code, 0) << r300.err;
  Put(dir_ / "v300.txt", r300.out);

  Put(game / "changed.dat", "new");
  Put(game / "added" / "new.dat", "new in 301");
  fs::remove(game / "gone.dat");
  ToolRun r301 = Talv({"manifest", "--version", "301", "--previous", (dir_ / "v300.txt").string(), game.string()});
  ASSERT_EQ(r301.code, 0) << r301.err;
  const auto v301 = Read(r301.out);
  EXPECT_EQ(v301, (std::map<std::string, std::string>{
                      {"same.dat", "9|" + Md5sum(game / "same.dat") + "|300"},
                      {"changed.dat", "3|" + Md5sum(game / "changed.dat") + "|301"},
                      {"added\\new.dat", "10|" + Md5sum(game / "added/new.dat") + "|301"},
                      {"gone.dat", std::string("0|") + kEmptyMd5 + "|301"},
                  }));

  // A removal stays as it was in later releases.
  Put(dir_ / "v301.txt", r301.out);
  ToolRun r302 = Talv({"manifest", "--version", "302", "--previous", (dir_ / "v301.txt").string(), game.string()});
  ASSERT_EQ(r302.code, 0) << r302.err;
  EXPECT_EQ(Read(r302.out).at("gone.dat"), std::string("0|") + kEmptyMd5 + "|301");
  EXPECT_EQ(Read(r302.out).at("changed.dat"), "3|" + Md5sum(game / "changed.dat") + "|301");
}

// Every refusal is a message and a non-zero exit, and leaves no tree and no staging folder.
TEST_F(Talvpack, RefusalsLeaveNothingBehind) {
  const struct {
    const char* what;
    std::string file;  // a file put into an otherwise good game folder ("" for none)
    std::vector<std::string> extra;  // more options
    const char* message;
  } cases[] = {
      {"comma", "a,b.txt", {}, "cannot carry the name \"a,b.txt\""},
      {"tab", "a\tb.txt", {}, "cannot carry the name"},
      {"line break", "a\nb.txt", {}, "cannot carry the name"},
      {"numeric name", "1st/readme.txt", {}, "reads as a number"},
      {"zero", "0", {}, "reads as a number"},
      {"empty file", "empty.txt", {}, "empty file"},
      {"case only", "OK.dat", {}, "differ only in case"},
      {"folder and file", "ok.dat/inner.txt", {}, "differ only in case"},
      {"no Big5 form", u8"資料/测试.txt", {}, u8"the name \"資料/测试.txt\" has no code page 950"},
      {"stream", "a:b.txt", {}, "the launcher refuses the name \"a:b.txt\""},
      {"dots", ".../x.txt", {}, "the launcher refuses the name \"...\""},
      {"unreadable", "link", {}, "is not a regular file"},
      {"arg with a line break", "", {"--arg", "a\nb"}, "--arg"},
      {"login with a blank", "", {"--login", "a b"}, "--login"},
      {"long address", "", {"--files-address", std::string(260, 'f')}, "--files-address"},
      {"bad previous", "", {"--previous", "/nonexistent/v.txt"}, "previous manifest"},
      {"no version", "", {"--version", "x"}, "--version"},
      {"seventeen connections", "", {"--connections", "17"}, "--connections must be 1 to 16"},
      {"no connection", "", {"--connections", "0"}, "--connections must be 1 to 16"},
      {"mirror with a blank", "", {"--mirror", "a b"}, "--mirror"},
      {"nine mirrors", "", {"--mirror", "1", "--mirror", "2", "--mirror", "3", "--mirror", "4", "--mirror", "5",
                            "--mirror", "6", "--mirror", "7", "--mirror", "8", "--mirror", "9"}, "at most 8 --mirror"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path game = dir_ / "game";
    fs::remove_all(game);
    Put(game / (std::string(c.what) == "folder and file" ? "OK.DAT" : "ok.dat"), "fine");
    if (std::string(c.what) == "unreadable") {
      fs::create_symlink(dir_ / "nowhere", game / c.file);
    } else if (!c.file.empty()) {
      Put(game / c.file, std::string(c.what) == "empty file" ? "" : "x");
    }
    std::vector<std::string> args = {"publish", "--version", "5", "--login", "l", "--files-address", "f"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.push_back(game.string());
    args.push_back((dir_ / "out").string());
    ToolRun r = Talv(args);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "out"));
    for (const auto& e : fs::directory_iterator(dir_)) {
      EXPECT_EQ(e.path().filename().string().find(".talvpack-"), std::string::npos) << e.path();
    }
  }
  // An existing tree is never overwritten.
  Put(dir_ / "out" / "keep.txt", "old tree");
  ToolRun r = Talv({"publish", "--version", "5", "--login", "l", "--files-address", "f", (dir_ / "game").string(),
                (dir_ / "out").string()});
  EXPECT_NE(r.code, 0);
  EXPECT_EQ(Slurp(dir_ / "out" / "keep.txt"), "old tree");
}
// Chinese names reach the manifest and the archives in code page 950, also a name whose
// second byte is "\" (許 is B3 5C): one character, never a separator.
TEST_F(Talvpack, NamesAreWrittenInCodePage950) {
  const fs::path game = dir_ / "game";
  Put(game / u8"資料" / u8"測試.txt", "test");
  Put(game / u8"許" / u8"功.dat", "function");
  Put(game / "Talvenor.exe", "MZ launcher");
  const fs::path out = dir_ / "www";
  ToolRun r = Talv({"publish", "--version", "4", "--login", "l", "--files-address", "f", game.string(), out.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("warning: GAME_DIR holds the launcher \"Talvenor.exe\""), std::string::npos) << r.err;
  const auto entries = Read(Slurp(out / "version.txt"));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries.count("\xB8\xEA\xAE\xC6\\\xB4\xFA\xB8\xD5.txt"), 1u);
  EXPECT_EQ(entries.count("\xB3\x5C\\\xA5\x5C.dat"), 1u);
  // Served under the bytes the launcher asks for: a Linux server names files by bytes.
  EXPECT_EQ(Slurp(out / "Talvenor" / "\xB3\x5C" / "\xA5\x5C.dat"), "function");
  EXPECT_EQ(Slurp(out / "Talvenor" / "\xB8\xEA\xAE\xC6" / "\xB4\xFA\xB8\xD5.txt"), "test");

  ToolRun z = Talv({"zip", game.string(), "-o", (dir_ / "patch.zip").string()});
  ASSERT_EQ(z.code, 0) << z.err;
  ZipArchive archive;
  ASSERT_TRUE(OpenZipFile((dir_ / "patch.zip").c_str(), archive));
  std::vector<std::string> names;
  for (std::uint32_t i = 0; i < GetZipEntryCount(archive); ++i) {
    char name[kMaxPath];
    ASSERT_TRUE(GetZipEntryName(archive, name, i));
    names.push_back(name);
  }
  CloseZip(archive);
  EXPECT_EQ(names, (std::vector<std::string>{"Talvenor.exe", "\xB3\x5C/", "\xB3\x5C/\xA5\x5C.dat", "\xB8\xEA\xAE\xC6/",
                                             "\xB8\xEA\xAE\xC6/\xB4\xFA\xB8\xD5.txt"}));
}

// An installer image keeps the empty folders the client check wants and installs at its
// version: version.dat from --version or from the game folder, never none.
TEST_F(Talvpack, InstallerImagesCarryEmptyFoldersAndTheVersion) {
  const fs::path game = dir_ / "game";
  Put(game / "client.exe", "MZ client");
  fs::create_directories(game / "movie");
  fs::create_directories(game / "mp3");
  Put(dir_ / "Talvenor.exe", "MZ launcher");
  const auto pack = [&](const std::vector<std::string>& options, const char* out) {
    std::vector<std::string> args = {"installer", "--launcher", (dir_ / "Talvenor.exe").string()};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(game.string());
    args.push_back((dir_ / out).string());
    return Talv(args);
  };
  const auto entries = [&](const char* out) {
    ZipArchive archive;
    std::map<std::string, bool> names;  // name -> empty
    EXPECT_TRUE(OpenZipFile((dir_ / out / "Talvenor.tlvn").c_str(), archive));
    for (std::uint32_t i = 0; i < GetZipEntryCount(archive); ++i) {
      char name[kMaxPath];
      EXPECT_TRUE(GetZipEntryName(archive, name, i));
      names[name] = IsZipEntryEmpty(archive, name);
    }
    CloseZip(archive);
    return names;
  };
  ToolRun r = pack({"--version", "7"}, "image");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(entries("image"), (std::map<std::string, bool>{
                                  {"client.exe", false}, {"movie/", true}, {"mp3/", true}, {"version.dat", false}}));

  const struct {
    const char* what;
    std::string versionFile;  // "" for none
    std::vector<std::string> options;
    const char* message;
  } refusals[] = {
      {"no version at all", "", {}, "version 0"},
      {"two versions", std::string("\x05\0\0\0", 4), {"--version", "7"}, "says another version"},
      {"not a version file", "7", {}, "not the launcher's 4-byte version file"},
  };
  for (const auto& c : refusals) {
    SCOPED_TRACE(c.what);
    fs::remove(game / "version.dat");
    if (!c.versionFile.empty()) Put(game / "version.dat", c.versionFile);
    ToolRun refused = pack(c.options, "refused");
    EXPECT_NE(refused.code, 0);
    EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(dir_ / "refused"));
  }
  // The game folder's own version.dat is kept.
  Put(game / "version.dat", std::string("\x05\0\0\0", 4));
  ASSERT_EQ(pack({}, "own").code, 0);
  EXPECT_EQ(entries("own").count("version.dat"), 1u);
}

// verify reads a tree as the launcher will: a good tree passes, and each fault is named.
TEST_F(Talvpack, VerifyNamesEveryFault) {
  const fs::path game = dir_ / "game";
  Put(game / "client.exe", "MZ client");
  Put(game / u8"許" / u8"功.dat", "function");
  ASSERT_EQ(Talv({"keygen", (dir_ / "k.pub").string(), (dir_ / "k.key").string()}).code, 0);
  ASSERT_EQ(Talv({"keygen", (dir_ / "other.pub").string(), (dir_ / "other.key").string()}).code, 0);
  const fs::path tree = dir_ / "www";
  const struct {
    const char* what;
    void (*spoil)(const fs::path& tree, const fs::path& dir);
    const char* fault;  // nullptr: all well
  } cases[] = {
      {"good tree", [](const fs::path&, const fs::path&) {}, nullptr},
      {"changed file", [](const fs::path& t, const fs::path&) { Put(t / "Talvenor" / "client.exe", "MZ clienT"); },
       "\"client.exe\": the file's MD5 is not the manifest's"},
      {"longer file", [](const fs::path& t, const fs::path&) { Put(t / "Talvenor" / "client.exe", "MZ client!"); },
       "the file has 10 bytes, the manifest says 9"},
      {"missing file", [](const fs::path& t, const fs::path&) { fs::remove(t / "Talvenor" / "\xB3\x5C" / "\xA5\x5C.dat"); },
       "\"\xB3\x5C\\\xA5\x5C.dat\": the file"},
      {"bad signature",
       [](const fs::path& t, const fs::path& d) {
         const std::string other = "'" + (d / "other.key").string() + "'";
         EXPECT_EQ(std::system(("'" + std::string(std::getenv("TALV_BIN_DIR")) + "/talvpack' sign --key " + other + " '" +
                                (t / "version.txt").string() + "'").c_str()), 0);
       },
       "version.txt.minisig: "},
      {"missing signature", [](const fs::path& t, const fs::path&) { fs::remove(t / "patch_live.txt.minisig"); },
       "patch_live.txt.minisig is missing"},
      {"missing manifest", [](const fs::path& t, const fs::path&) { fs::remove(t / "version.txt"); },
       "version.txt is missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(tree);
    ASSERT_EQ(Talv({"publish", "--version", "9", "--login", "l", "--files-address", "f", "--sign-key",
                    (dir_ / "k.key").string(), game.string(), tree.string()})
                  .code,
              0);
    c.spoil(tree, dir_);
    const ToolRun r = Talv({"verify", "--public-key", (dir_ / "k.pub").string(), tree.string()});
    if (c.fault == nullptr) {
      EXPECT_EQ(r.code, 0) << r.out << r.err;
      continue;
    }
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find(c.fault), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("1 fault"), std::string::npos) << r.err;
  }
}

// A new launcher beside a published tree: talvenor.txt names it with its size, md5sum's
// digest and the launcher version the patch information announces.
TEST_F(Talvpack, LauncherJoinsThePublishedTree) {
  const fs::path game = dir_ / "game";
  Put(game / "client.exe", "MZ client");
  Put(dir_ / "new" / "Talvenor.exe", "MZ the new launcher");
  const fs::path out = dir_ / "www";
  ASSERT_EQ(Talv({"publish", "--version", "3", "--login", "l", "--files-address", "f", "--launcher-version", "206",
                  game.string(), out.string()})
                .code,
            0);
  ToolRun r = Talv({"launcher", "--version", "206", (dir_ / "new" / "Talvenor.exe").string(), out.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string digest = Md5sum(dir_ / "new" / "Talvenor.exe");
  EXPECT_EQ(Read(Slurp(out / "talvenor.txt")),
            (std::map<std::string, std::string>{{"Talvenor_206.exe", "19|" + digest + "|206"}}));
  EXPECT_EQ(Slurp(out / "Talvenor_206.exe"), "MZ the new launcher");
  EXPECT_TRUE(fs::exists(out / "version.txt"));  // the game's tree is still there
  for (const auto& e : fs::directory_iterator(out)) {
    EXPECT_EQ(e.path().filename().string().find(".talvpack-"), std::string::npos) << e.path();
  }

  // A patch information that announces another launcher version, a name that is (or is not
  // a bare) launcher file name: refused, and talvenor.txt stays as it was.
  const struct {
    std::vector<std::string> args;
    const char* message;
  } refusals[] = {
      {{"--version", "207"}, "launcher_version 206"},
      {{"--version", "206", "--name", "talvenor.EXE"}, "cannot be the new launcher's name"},
      {{"--version", "206", "--name", "sub/new.exe"}, "cannot be the new launcher's name"},
      {{"--version", "206", "--name", "new launcher.exe"}, "cannot be the new launcher's name"},
      {{"--version", "206", "--name", "a,b.exe"}, "cannot be the new launcher's name"},
  };
  const std::string manifest = Slurp(out / "talvenor.txt");
  for (const auto& c : refusals) {
    std::vector<std::string> args = {"launcher"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back((dir_ / "new" / "Talvenor.exe").string());
    args.push_back(out.string());
    ToolRun refused = Talv(args);
    EXPECT_NE(refused.code, 0) << c.message;
    EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
    EXPECT_EQ(Slurp(out / "talvenor.txt"), manifest);
  }
}

#endif
