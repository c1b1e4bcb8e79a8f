#include "launcher/patch/patch_info.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/log_capture.h"

namespace {

const std::string kMandatory =
    "patch_accept 1\r\npatch_version 310\r\nftp 10.0.0.5\r\nlauncher_version 206\r\nlogin 10.0.0.9:6000\r\n";

const std::vector<std::string> kSummary = {"blocked : 0", "patch version : 310", "launcher version : 206"};

}  // namespace

TEST(PatchInfo, FiveMandatoryPairs) {
  LogCapture log;
  CPatchInfo info;
  ASSERT_TRUE(info.Parse(kMandatory.c_str()));
  EXPECT_FALSE(info.blocked);
  EXPECT_EQ(info.patch_version, 310);
  EXPECT_STREQ(info.ftp, "10.0.0.5");
  EXPECT_EQ(info.launcher_version, 206);
  EXPECT_STREQ(info.login, "10.0.0.9:6000");
  EXPECT_EQ(info.ping, 11000);
  EXPECT_EQ(info.st_dt, 0u);
  EXPECT_EQ(info.ed_dt, 0u);
  EXPECT_STREQ(info.arg, "");
  EXPECT_EQ(log.lines(), kSummary);
}

TEST(PatchInfo, AcceptValuesAndSeparators) {
  const struct {
    const char* text;
    bool blocked;
  } cases[] = {
      {"patch_accept=0 patch_version=1 ftp=f launcher_version=2 login=l", true},
      {"patch_accept no\npatch_version 1\nftp f\nlauncher_version 2\nlogin l", true},
      {"PATCH_ACCEPT\t1\tPatch_Version = 1\nFTP\r\nf launcher_version 2 LOGIN l", false},
      {"patch_accept = -3 patch_version 1 ftp f launcher_version 2 login l", false},
  };
  for (const auto& c : cases) {
    CPatchInfo info;
    EXPECT_TRUE(info.Parse(c.text)) << c.text;
    EXPECT_EQ(info.blocked, c.blocked) << c.text;
    EXPECT_STREQ(info.login, "l");
  }
}

TEST(PatchInfo, MandatoryPartFailures) {
  const struct {
    const char* text;
    const char* line;
  } cases[] = {
      {"", "CPatchInfo::Read() : unexpected eof while finding \"patch_accept\"."},
      {"patch_accept", "CPatchInfo::Read() : unexpected eof while finding \"patch_accept\" value."},
      {"patch_accept 1 ftp x patch_version 3",
       "CPatchInfo::Read() : invalid token \"ftp\" , \"patch_version\" is expected."},
      {"patch_accept 1 patch_version 3 ftp x launcher_version 4",
       "CPatchInfo::Read() : unexpected eof while finding \"login\"."},
      {"patch_accept 1 patch_version 3 ftp x launcher_version 4 login",
       "CPatchInfo::Read() : unexpected eof while finding \"login\" value."},
  };
  for (const auto& c : cases) {
    LogCapture log;
    CPatchInfo info;
    EXPECT_FALSE(info.Parse(c.text)) << c.text;
    EXPECT_EQ(log.lines(), std::vector<std::string>{c.line}) << c.text;
  }
}

TEST(PatchInfo, OptionalKeys) {
  const struct {
    const char* tail;
    const char* arg;
    int ping;
    std::uint64_t st;
    std::uint64_t ed;
  } cases[] = {
      {"arg -a b\r\n", "-a b", 11000, 0, 0},
      {"arg  -a\r\n", " -a", 11000, 0, 0},
      {"arg\r\n\r\n-x -y\r\nping 5", "-x -y", 5, 0, 0},
      {"arg=v\nARG=w\nping 1 ping 2", "w", 2, 0, 0},
      {"st_dt 20240102060000 ed_dt 20240102090000", "", 11000, 20240102060000u, 20240102090000u},
      {"st_dt 2024010206000 ed_dt 20240102090000", "", 11000, 0, 20240102090000u},  // 13 digits
      {"st_dt 20240102060000 ed_dt", "", 11000, 20240102060000u, 0},  // value-less key at the end
      {"unknown 5 other", "", 11000, 0, 0},
      {"arg", "", 11000, 0, 0},
  };
  for (const auto& c : cases) {
    CPatchInfo info;
    EXPECT_TRUE(info.Parse((kMandatory + c.tail).c_str())) << c.tail;
    EXPECT_EQ(info.arg, std::string(c.arg)) << c.tail;
    EXPECT_EQ(info.ping, c.ping) << c.tail;
    EXPECT_EQ(info.st_dt, c.st) << c.tail;
    EXPECT_EQ(info.ed_dt, c.ed) << c.tail;
  }
}

TEST(PatchInfo, ConnectionsAndMirrors) {
  const struct {
    const char* tail;
    int connections;
    std::vector<std::string> mirrors;
  } cases[] = {
      {"", 1, {}},
      {"connections 4", 4, {}},
      {"CONNECTIONS=16", 16, {}},
      {"connections 17", 1, {}},
      {"connections 0", 1, {}},
      {"connections -3", 1, {}},
      {"connections many", 1, {}},
      {"connections 8 connections 99", 1, {}},  // the last one wins, out of range or not
      {"connections", 1, {}},                    // a key without a value at the end
      {"mirror b:80/p mirror c.example:2121", 1, {"b:80/p", "c.example:2121"}},
      {"mirror=user:pw@d:21/x\nping 3\nMIRROR e", 1, {"user:pw@d:21/x", "e"}},
      {"mirror", 1, {}},
      {"connections 3 mirror m1 arg -z", 3, {"m1"}},
      {"mirror 1 mirror 2 mirror 3 mirror 4 mirror 5 mirror 6 mirror 7 mirror 8 mirror 9", 1,
       {"1", "2", "3", "4", "5", "6", "7", "8"}},
  };
  for (const auto& c : cases) {
    LogCapture log;
    CPatchInfo info;
    ASSERT_TRUE(info.Parse((kMandatory + c.tail).c_str())) << c.tail;
    EXPECT_EQ(info.connections, c.connections) << c.tail;
    EXPECT_EQ(std::vector<std::string>(info.mirror, info.mirror + info.mirror_count), c.mirrors) << c.tail;
    EXPECT_STREQ(info.ftp, "10.0.0.5") << c.tail;
  }
}

TEST(PatchInfo, ANinthMirrorIsLoggedAndAnOverlongOneRefusesTheDocument) {
  {
    LogCapture log;
    CPatchInfo info;
    std::string text = kMandatory;
    for (int i = 0; i < kMaxMirrors + 1; ++i) text += "mirror m" + std::to_string(i) + "\n";
    ASSERT_TRUE(info.Parse(text.c_str()));
    EXPECT_EQ(log.lines().front(), "CPatchInfo::Read() : more than 8 mirrors, \"m8\" ignored.");
  }
  LogCapture log;
  CPatchInfo info;
  EXPECT_FALSE(info.Parse((kMandatory + "mirror " + std::string(kMaxPath, 'm')).c_str()));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"CPatchInfo::Read() : value of \"mirror\" is too long."});
}

TEST(PatchInfo, AnotherDocumentsMirrorsReplaceTheListAndItsAbsenceKeepsIt) {
  CPatchInfo info;
  ASSERT_TRUE(info.Parse((kMandatory + "mirror a mirror b connections 5").c_str()));
  ASSERT_TRUE(info.Parse((kMandatory + "mirror c").c_str()));
  EXPECT_EQ(std::vector<std::string>(info.mirror, info.mirror + info.mirror_count), std::vector<std::string>{"c"});
  ASSERT_TRUE(info.Parse(kMandatory.c_str()));
  EXPECT_EQ(info.mirror_count, 1);
  EXPECT_EQ(info.connections, 5);
}

// The index is an enhancement: a name it may not use costs the forms, never the document.
TEST(PatchInfo, FormsNamesTheTransferIndex) {
  const std::string refused = "CPatchInfo::Read() : invalid \"forms\" value : no transfer index.";
  const struct {
    const char* tail;
    const char* forms;
    bool logged;
  } cases[] = {
      {"", "", false},
      {"forms forms.txt\r\n", "forms.txt", false},
      {"FORMS=idx\\forms_102.txt ping 9", "idx\\forms_102.txt", false},
      {"forms ../forms.txt", "", true},
      {"forms \\forms.txt", "", true},
      {"forms /srv/forms.txt", "", true},
      {"forms c:forms.txt", "", true},
      {"forms forms.txt:s", "", true},
      {"forms a\\.\\forms.txt", "", true},
      {"forms", "", true},  // value-less key at the end
  };
  for (const auto& c : cases) {
    LogCapture log;
    CPatchInfo info;
    EXPECT_TRUE(info.Parse((kMandatory + c.tail).c_str())) << c.tail;
    EXPECT_STREQ(info.forms, c.forms) << c.tail;
    EXPECT_EQ(!log.lines().empty() && log.lines().front() == refused, c.logged) << c.tail;
  }
  std::string overlong = kMandatory + "forms " + std::string(kMaxPath, 'f');
  CPatchInfo info;
  EXPECT_TRUE(info.Parse(overlong.c_str()));
  EXPECT_STREQ(info.forms, "");
}

TEST(PatchInfo, TrailingPingWithoutValueFails) {
  LogCapture log;
  CPatchInfo info;
  EXPECT_FALSE(info.Parse((kMandatory + "ping").c_str()));
  EXPECT_EQ(log.lines(),
            std::vector<std::string>{"CPatchInfo::Read() : unexpected eof while finding \"ping\" version value."});
}

TEST(PatchInfo, OptionalValuesSurviveALaterReadWithoutThem) {
  CPatchInfo info;
  ASSERT_TRUE(info.Parse((kMandatory + "arg -x\nping 7").c_str()));
  ASSERT_TRUE(info.Parse(kMandatory.c_str()));
  EXPECT_STREQ(info.arg, "-x");
  EXPECT_EQ(info.ping, 7);
}

TEST(PatchInfo, OverlongValuesAreRefusedNotCut) {
  const std::string longValue(kMaxPath, 'x');  // 260 characters: one too many
  const std::string fits(kMaxPath - 1, 'y');
  for (const char* key : {"ftp", "login", "arg"}) {
    std::string text = kMandatory;
    if (std::string(key) == "arg") {
      text += "arg " + longValue;
    } else {
      const std::string needle = std::string(key) + " ";
      const std::size_t at = text.find(needle) + needle.size();
      text.replace(at, text.find('\r', at) - at, longValue);
    }
    LogCapture log;
    CPatchInfo info;
    EXPECT_FALSE(info.Parse(text.c_str())) << key;
    EXPECT_EQ(log.lines(), std::vector<std::string>{"CPatchInfo::Read() : value of \"" + std::string(key) +
                                                    "\" is too long."});
  }
  CPatchInfo info;
  ASSERT_TRUE(info.Parse((kMandatory + "arg " + fits).c_str()));
  EXPECT_EQ(info.arg, fits);
}

TEST(PatchInfo, ServiceWindowBlocksFromItsStartSecondToBeforeItsEnd) {
  const std::uint64_t start = EncodeDateTime(2024, 1, 2, 6, 0, 0);
  const std::uint64_t end = EncodeDateTime(2024, 1, 2, 9, 0, 0);
  EXPECT_EQ(start, 20240102060000u);
  const struct {
    std::uint64_t now;
    bool blocked;
  } cases[] = {
      {EncodeDateTime(2024, 1, 2, 5, 59, 59), false},
      {start, true},
      {EncodeDateTime(2024, 1, 2, 8, 59, 59), true},
      {end, false},
  };
  for (const auto& c : cases) {
    CPatchInfo info;
    ASSERT_TRUE(info.Parse((kMandatory + "st_dt 20240102060000 ed_dt 20240102090000").c_str()));
    info.ApplyServiceWindow(c.now);
    EXPECT_EQ(info.blocked, c.blocked) << c.now;
  }
  // One bound alone is no window; and the window never unblocks.
  CPatchInfo half;
  ASSERT_TRUE(half.Parse((kMandatory + "st_dt 20240102060000").c_str()));
  half.ApplyServiceWindow(start);
  EXPECT_FALSE(half.blocked);
  CPatchInfo closed;
  ASSERT_TRUE(closed.Parse("patch_accept 0 patch_version 1 ftp f launcher_version 2 login l "
                           "st_dt 20240102060000 ed_dt 20240102090000"));
  closed.ApplyServiceWindow(end);
  EXPECT_TRUE(closed.blocked);
}
