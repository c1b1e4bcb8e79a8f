// The launcher self-update's decisions and the command line it hands to renamer, read back
// with renamer's own parser.
#include "launcher/patch/launcher_update.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/core/launcher_mgr.h"
#include "renamer/renamer_args.h"
#include "tests/support/log_capture.h"

TEST(LauncherUpdate, DueWhenNewerOrForced) {
  struct Case {
    int published;
    bool forced;
    bool due;
  } cases[] = {
      {205, false, false}, {206, false, true}, {204, false, false}, {0, false, false},
      {0, true, true},     {205, true, true},  {-1, false, true},  // read as a huge unsigned number
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsLauncherUpdateDue(c.published, c.forced), c.due) << c.published << " forced " << c.forced;
  }
}

TEST(LauncherUpdate, AcceptsOnlyBareNamesOtherThanTheLaunchersOwn) {
  const std::string longest(127, 'a');
  struct Case {
    std::string name;
    bool usable;
  } cases[] = {
      {"Talvenor_206.exe", true},
      {longest, true},
      {longest + "a", false},  // renamer would refuse the hand-off
      {"Talvenor.exe", false},
      {"TALVENOR.EXE", false},  // the same file on Windows
      {"", false},
      {"sub\\Talvenor.exe", false},
      {"sub/Talvenor.exe", false},
      {"..\\Talvenor.exe", false},
      {"C:Talvenor.exe", false},
      {"new launcher.exe", false},  // renamer splits its command line at blanks
  };
  for (const auto& c : cases) EXPECT_EQ(IsUsableLauncherName(c.name.c_str(), "Talvenor.exe"), c.usable) << c.name;
}

namespace {

struct PassThrough {
  const char* domain;
  const char* n;
  const char* v;
  const char* t;
  const char* passport;
};

// The command line as renamer sees it: the text after its quoted program path.
const char* Tail(const char* line) {
  const char* end = std::strchr(line + 1, '"');
  return end != nullptr ? end + 1 : line;
}

}  // namespace

TEST(LauncherUpdate, RenamerCommandLineCarriesNamesBackgroundFlagAndPassThroughOptions) {
  struct Case {
    PassThrough options;
    bool background;
    const char* line;
    bool restart;
    const char* restartCommand;
  } cases[] = {
      {{"", "", "", "", ""}, false, "\"C:\\G\\ren1A2B.tmp.exe\" Talvenor.exe T_206.exe", true, "Talvenor.exe "},
      {{"tw", "n1", "v1", "t1", "PP"}, false,
       "\"C:\\G\\ren1A2B.tmp.exe\" Talvenor.exe T_206.exe domain:tw /N:n1 /V:v1 /T:t1 /P:PP", true,
       "Talvenor.exe domain:tw /N:n1 /V:v1 /T:t1 /P:PP"},
      // Two of the three pass values hand none of them on.
      {{"", "n1", "v1", "", "PP"}, false, "\"C:\\G\\ren1A2B.tmp.exe\" Talvenor.exe T_206.exe /P:PP", true,
       "Talvenor.exe /P:PP"},
      {{"tw", "", "", "", ""}, true, "\"C:\\G\\ren1A2B.tmp.exe\" Talvenor.exe T_206.exe bg domain:tw", false,
       "Talvenor.exe bg domain:tw"},
  };
  for (const auto& c : cases) {
    CLauncherMgr mgr;
    CopyString(mgr.m_domain, c.options.domain);
    CopyString(mgr.m_passN, c.options.n);
    CopyString(mgr.m_passV, c.options.v);
    CopyString(mgr.m_passT, c.options.t);
    CopyString(mgr.m_passport, c.options.passport);
    char line[kMaxCommandLine];
    ASSERT_TRUE(BuildRenamerCommandLine(mgr, "C:\\G\\ren1A2B.tmp.exe", "Talvenor.exe", "T_206.exe", c.background,
                                        line, sizeof(line)));
    EXPECT_STREQ(line, c.line);
    RenamerArgs args;
    ASSERT_TRUE(ParseRenamerCommandLine(Tail(line), &args)) << line;
    EXPECT_STREQ(args.target, "Talvenor.exe");
    EXPECT_STREQ(args.newFile, "T_206.exe");
    EXPECT_EQ(args.restart, c.restart) << line;
    EXPECT_STREQ(args.restartCommand, c.restartCommand);
  }
}

TEST(LauncherUpdate, PassThroughOptionsThatDoNotFitAreLeftOutWhole) {
  CLauncherMgr mgr;
  CopyString(mgr.m_domain, "tw");
  const std::string passport(kMaxCommandLine - 10, 'p');
  CopyString(mgr.m_passport, passport.c_str());
  LogCapture log(mgr);
  char line[kMaxCommandLine];
  ASSERT_TRUE(BuildRenamerCommandLine(mgr, "C:\\G\\ren1.tmp.exe", "Talvenor.exe", "T_206.exe", false, line,
                                      sizeof(line)));
  EXPECT_STREQ(line, "\"C:\\G\\ren1.tmp.exe\" Talvenor.exe T_206.exe");
  EXPECT_NE(log.Joined().find("left out"), std::string::npos);

  char small[16];
  EXPECT_FALSE(BuildRenamerCommandLine(mgr, "C:\\G\\ren1.tmp.exe", "Talvenor.exe", "T_206.exe", false, small,
                                       sizeof(small)));
  EXPECT_STREQ(small, "");
}
