// The command lines handed to the game client and to a relaunched launcher.
#include <gtest/gtest.h>

#include <string>

#include "launcher/core/launcher_mgr.h"
#include "tests/support/log_capture.h"

namespace {

struct Options {
  bool npc = false;
  const char* domain = "";
  const char* n = "";
  const char* v = "";
  const char* t = "";
  const char* passport = "";
};

void Apply(CLauncherMgr& mgr, const Options& o) {
  mgr.m_npc = o.npc;
  CopyString(mgr.m_loginAddress, "10.0.0.7");
  CopyString(mgr.m_domain, o.domain);
  CopyString(mgr.m_passN, o.n);
  CopyString(mgr.m_passV, o.v);
  CopyString(mgr.m_passT, o.t);
  CopyString(mgr.m_passport, o.passport);
}

}  // namespace

TEST(ClientCommandLine, WholeLines) {
  const char* exe = "C:\\G\\client.exe";
  struct Case {
    Options options;
    bool dev;
    const char* extra;
    int version;
    const char* line;
  } cases[] = {
      {{}, false, "", 300, "\"C:\\G\\client.exe\" code:1622 ver:300 logip:10.0.0.7 logport:11000 "},
      {{}, false, nullptr, -1, "\"C:\\G\\client.exe\" code:1622 ver:-1 logip:10.0.0.7 logport:11000 "},
      {{true}, true, "mode:x", 7, "\"C:\\G\\client.exe\" code:1214 ver:7 logip:10.0.0.7 logport:11000 mode:x asset:no"},
      {{false, "tw", "n1", "v1", "t1", "PP"}, false, "", 0,
       "\"C:\\G\\client.exe\" code:1622 ver:0 logip:10.0.0.7 logport:11000  domain:tw /N:n1 /V:v1 /T:t1 /P:PP"},
      {{false, "", "n1", "v1", "", ""}, false, "", 0, "\"C:\\G\\client.exe\" code:1622 ver:0 logip:10.0.0.7 logport:11000 "},
  };
  for (const auto& c : cases) {
    CLauncherMgr mgr;
    Apply(mgr, c.options);
    char line[kMaxShortCommandLine];
    ASSERT_TRUE(mgr.BuildClientCommandLine(exe, c.dev, c.extra, c.version, line, sizeof(line))) << c.line;
    EXPECT_STREQ(line, c.line);
  }
}

TEST(ClientCommandLine, RelaunchedLauncherGetsOnlyThePassThroughOptions) {
  CLauncherMgr mgr;
  Apply(mgr, {true, "tw", "n1", "v1", "t1", "PP"});
  char line[kMaxShortCommandLine];
  ASSERT_TRUE(mgr.BuildLauncherCommandLine("C:\\G\\Talvenor.exe", line, sizeof(line)));
  EXPECT_STREQ(line, "\"C:\\G\\Talvenor.exe\" domain:tw /N:n1 /V:v1 /T:t1 /P:PP");
  Apply(mgr, {});
  ASSERT_TRUE(mgr.BuildLauncherCommandLine("C:\\G\\Talvenor.exe", line, sizeof(line)));
  EXPECT_STREQ(line, "\"C:\\G\\Talvenor.exe\"");
}

TEST(ClientCommandLine, ALineBeyondItsBufferIsRefusedNotCut) {
  CLauncherMgr mgr;
  LogCapture log(mgr);
  const std::string exe = "C:\\G\\client.exe";
  char line[kMaxShortCommandLine];
  const std::string prefix = "\"" + exe + "\" code:1622 ver:1 logip:10.0.0.7 logport:11000  /P:";
  // The passport that exactly fills 1023 characters passes; one more byte is refused.
  const std::string fits(kMaxShortCommandLine - 1 - prefix.size(), 'p');
  Apply(mgr, {false, "", "", "", "", fits.c_str()});
  ASSERT_TRUE(mgr.BuildClientCommandLine(exe.c_str(), false, "", 1, line, sizeof(line)));
  EXPECT_EQ(std::string(line), prefix + fits);

  const std::string tooLong = fits + "p";
  Apply(mgr, {false, "", "", "", "", tooLong.c_str()});
  EXPECT_FALSE(mgr.BuildClientCommandLine(exe.c_str(), false, "", 1, line, sizeof(line)));
  EXPECT_STREQ(line, "");
  const std::string passport(kMaxCommandLine - 1, 'q');
  Apply(mgr, {false, "", "", "", "", passport.c_str()});
  EXPECT_FALSE(mgr.BuildLauncherCommandLine(exe.c_str(), line, sizeof(line)));
  EXPECT_TRUE(log.Contains("CLauncherMgr::StartClient() : command line longer than 1023 characters; not started."))
      << log.Joined();
  EXPECT_TRUE(log.Contains("CLauncherMgr::StartLauncher() : command line longer than 1023 characters; not started."));
}
