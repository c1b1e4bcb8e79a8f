#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "launcher/core/launcher_mgr.h"
#include "tests/support/log_capture.h"

namespace {

std::unique_ptr<CLauncherMgr> Parse(const std::string& commandLine) {
  auto mgr = std::make_unique<CLauncherMgr>();
  CopyString(mgr->m_commandLine, commandLine.c_str());
  mgr->ParseCommandLine();
  return mgr;
}

}  // namespace

TEST(CommandLine, EmptyLeavesEverythingEmptyInPatchMode) {
  auto mgr = Parse("");
  EXPECT_EQ(mgr->m_mode, ModePatch);
  EXPECT_FALSE(mgr->m_forcePatch || mgr->m_repair || mgr->m_forceUpdateLauncher || mgr->m_npc || mgr->m_ogmInstall ||
               mgr->m_installRequested || mgr->m_oguTry);
  for (const char* field : {mgr->m_passN, mgr->m_passV, mgr->m_passT, mgr->m_passport, mgr->m_domain,
                            mgr->m_devFtp}) {
    EXPECT_STREQ(field, "");
  }
}

TEST(CommandLine, ModesAndFlags) {
  struct Case {
    const char* line;
    int mode;
    bool installRequested;
  } cases[] = {
      {"/install", ModeInstall, true},
      {"/INSTALL", ModeInstall, true},
      {"/InStAlL", ModeInstall, true},
      {"/installer", ModePatch, false},  // a longer token selects nothing
      {"/uninstall", ModeUninstall, false},
      {"/install /uninstall", ModeUninstall, true},  // the last one wins
      {"/uninstall /install", ModeInstall, true},
      {"install", ModePatch, false},
  };
  for (const auto& c : cases) {
    auto mgr = Parse(c.line);
    EXPECT_EQ(mgr->m_mode, c.mode) << c.line;
    EXPECT_EQ(mgr->m_installRequested, c.installRequested) << c.line;
  }
}

TEST(CommandLine, ValueOptions) {
  auto mgr = Parse("domain:x\tforce_patch\r\nnpc /N:name /v:ver /T:tok devftp:user:pw@host:21/dev "
                   "FORCE_UPDATELAUNCHER /ogm_install TK_OGU_TRYanything unknown");
  EXPECT_STREQ(mgr->m_domain, "x");
  EXPECT_TRUE(mgr->m_forcePatch);
  EXPECT_TRUE(mgr->m_npc);
  EXPECT_STREQ(mgr->m_passN, "name");
  EXPECT_STREQ(mgr->m_passV, "ver");
  EXPECT_STREQ(mgr->m_passT, "tok");
  EXPECT_STREQ(mgr->m_devFtp, "user:pw@host:21/dev");
  EXPECT_TRUE(mgr->m_forceUpdateLauncher);
  EXPECT_TRUE(mgr->m_ogmInstall);
  EXPECT_TRUE(mgr->m_oguTry);
  EXPECT_EQ(mgr->m_mode, ModePatch);
}

TEST(CommandLine, PassportFromEitherOptionAndLaterWins) {
  EXPECT_STREQ(Parse("/P:secret")->m_passport, "secret");
  EXPECT_STREQ(Parse("/OPP:secret")->m_passport, "secret");
  EXPECT_STREQ(Parse("/opp:secret")->m_passport, "secret");
  EXPECT_STREQ(Parse("/P:secret /P:")->m_passport, "");
  EXPECT_STREQ(Parse("domain:a domain:b")->m_domain, "b");
}

TEST(CommandLine, ModeLinesAreLogged) {
  CLauncherMgr mgr;
  LogCapture log(mgr);
  CopyString(mgr.m_commandLine, "/install force_patch force_updatelauncher REPAIR repairs /uninstall");
  mgr.ParseCommandLine();
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"Patch Installer mode", "force_patch mode",
                                                    "force_updatelauncher mode", "repair mode", "Uninstaller mode"}));
  EXPECT_TRUE(mgr.m_repair);
}

TEST(CommandLine, OverLongValuesAreCutToTheirField) {
  std::string longDomain(400, 'd');
  std::string longPassport(5000, 'p');
  CLauncherMgr mgr;
  LogCapture log(mgr);
  CopyString(mgr.m_commandLine, ("domain:" + longDomain + " /P:" + longPassport).c_str());
  mgr.ParseCommandLine();
  EXPECT_EQ(std::string(mgr.m_domain), std::string(kMaxPath - 1, 'd'));
  // The command line itself holds 4095 bytes, so the passport is what is left of it.
  EXPECT_EQ(std::string(mgr.m_passport).find_first_not_of('p'), std::string::npos);
  EXPECT_TRUE(log.Contains("CLauncherMgr::ParseCommandLine() : value of \"domain:\" cut to 259 characters."));
}

TEST(GameDir, ShortPathsAreRefusedAndFoldersDerived) {
  CLauncherMgr mgr;
  LogCapture log(mgr);
  EXPECT_FALSE(mgr.SetGameDir(nullptr));
  EXPECT_FALSE(mgr.SetGameDir("C:\\"));
  EXPECT_TRUE(log.Contains("ERROR : CLauncherMgr::SetGameDir() : invalid path : \"C:\\\"."));
  EXPECT_STREQ(mgr.m_gameDir, "");
  EXPECT_TRUE(mgr.SetGameDir("C:\\g"));
  EXPECT_STREQ(mgr.m_gameDir, "C:\\g");
  EXPECT_STREQ(mgr.m_installerDir, "C:\\g\\Talvenor Installer");
  EXPECT_STREQ(mgr.m_patchDir, "C:\\g\\patch");
  EXPECT_TRUE(log.Contains("Game directory is \"C:\\g\"."));
}

TEST(GameDir, PathsWhoseFoldersWouldNotFitAreRefused) {
  CLauncherMgr mgr;
  LogCapture log(mgr);
  ASSERT_TRUE(mgr.SetGameDir("C:\\g"));
  std::string deep = "C:\\" + std::string(245, 'g');  // "...\Talvenor Installer" would pass 259
  EXPECT_FALSE(mgr.SetGameDir(deep.c_str()));
  EXPECT_STREQ(mgr.m_gameDir, "C:\\g");  // unchanged
}

TEST(InstallerDataFiles, NamesReplaceExeInTheWholePath) {
  CLauncherMgr mgr;
  CopyString(mgr.m_currentDir, "C:\\exegames\\");
  char out[kMaxPath];
  ASSERT_TRUE(mgr.InstallerDataFile("D:\\bin\\setup.exe", "tlvn", out, sizeof(out)));
  EXPECT_STREQ(out, "C:\\tlvngames\\setup.tlvn");
  ASSERT_TRUE(mgr.InstallerDataFile("D:\\bin\\Setup.EXE", "dat", out, sizeof(out)));
  EXPECT_STREQ(out, "C:\\datgames\\Setup.EXE");  // case-sensitive
}

TEST(Log, LinesEndInCrLfAndLongTextIsCut) {
  CLauncherMgr mgr;
  LogCapture log(mgr);
  mgr.Log("%s", "");
  mgr.Log("%s", std::string(5000, 'x').c_str());
  ASSERT_EQ(log.lines().size(), 2u);
  EXPECT_EQ(log.lines()[0], "");
  EXPECT_EQ(log.lines()[1], std::string(kMaxLogLine - 3, 'x'));
}

TEST(Log, NothingIsWrittenBeforeInit) {
  CLauncherMgr mgr;
  std::vector<std::string> seen;
  mgr.SetLogTap([](const char* line, void* ctx) { static_cast<std::vector<std::string>*>(ctx)->push_back(line); },
                &seen);
  mgr.Log("hidden");
  EXPECT_TRUE(seen.empty());
}

TEST(HostMode, OptionsAndMessageLines) {
  auto mgr = Parse("/PIPE play patchurl:http://127.0.0.5/talvenor /pipeline");
  EXPECT_TRUE(mgr->m_pipeMode);
  EXPECT_TRUE(mgr->m_hostPlay);
  EXPECT_STREQ(mgr->m_patchBaseUrl, "http://127.0.0.5/talvenor");
  auto plain = Parse("/pipeline playing");
  EXPECT_FALSE(plain->m_pipeMode);
  EXPECT_FALSE(plain->m_hostPlay);

  EXPECT_EQ(CLauncherMgr::HostMessageLine(28, "#talvenor\xA6\x77\n#x"), "message : 28 : talvenor\xA6\x77x");
  EXPECT_EQ(CLauncherMgr::HostMessageLine(19, "##a,\n#  b.\r\n# c"), "message : 19 : #a,  b. c");
  EXPECT_EQ(CLauncherMgr::HostMessageLine(31, "x,\ny.\n "), "message : 31 : x,y. ");
  EXPECT_EQ(CLauncherMgr::HostMessageLine(37, "#e(10)"), "message : 37 : e(10)");
  EXPECT_EQ(CLauncherMgr::HostMessageLine(0, "\x08#top"), "message : 0 : top");
}
