#include "launcher/patch/version_info.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/core/launcher_mgr.h"
#include "tests/support/log_capture.h"

namespace {

const char kDigestA[] = "0123456789ABCDEF0123456789abcdef";
const char kDigestB[] = "D41D8CD98F00B204E9800998ECF8427E";

std::string Hex(const unsigned char* digest) {
  if (digest == nullptr) return "none";
  char text[33];
  FormatDigest(digest, text);
  return text;
}

// name|size|digest|version per entry.
std::vector<std::string> Entries(const CVersionInfo& info) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < info.GetCount(); ++i) {
    out.push_back(std::string(info.GetName(i)) + "|" + std::to_string(info.GetSize(i)) + "|" +
                  Hex(info.GetHash(i)) + "|" + std::to_string(info.GetUpdateVersion(i)));
  }
  return out;
}

struct Case {
  const char* what;
  std::string text;
  bool ok;
  std::vector<std::string> entries;
  const char* log;  // the one failure line, or null
};

}  // namespace

TEST(VersionInfo, ParseTable) {
  const std::string a = kDigestA, b = kDigestB;
  const std::string A = "0123456789ABCDEF0123456789ABCDEF|";
  const Case cases[] = {
      {"empty text", "", true, {}, nullptr},
      {"only delimiters", "\r\n,\t,,\r\n", true, {}, nullptr},
      {"records, blanks in names, CRLF and tabs",
       "data\\a b.dat,100," + a + ",210\r\nClient.exe\t5\t" + b + "\t211\r\n", true,
       {"data\\a b.dat|100|" + A + "210", "Client.exe|5|" + b + "|211"}, nullptr},
      {"runs of delimiters count as one", "x,,,7,,\r\n\r\n" + a + ",,9", true, {"x|7|" + A + "9"}, nullptr},
      {"size 0 marks a removed file", "gone.dll,0," + b + ",300", true, {"gone.dll|0|" + b + "|300"}, nullptr},
      {"size beyond 4 GiB", "big.pak,4294967297," + b + ",1", true, {"big.pak|4294967297|" + b + "|1"}, nullptr},
      {"a later name read as a number switches to the counted form",
       "a.txt,1," + b + ",5\n1st.txt,2," + b + ",6\nz.txt,3," + b + ",7", true, {"a.txt|1|" + b + "|5"}, nullptr},
      {"first token \"0\" is an empty counted manifest", "0\r\nignored", true, {}, nullptr},
      {"counted form, text after the last entry ignored",
       "2\r\nA.dat,10," + a + "\r\nB.dat,20," + b + "\r\ntrailing,garbage", true,
       {"A.dat|10|" + A + "205", "B.dat|20|" + b + "|205"}, nullptr},
      {"missing size", "a.txt", false, {}, "CVersionInfo::ReadFromMemory() : Fail to get size."},
      {"missing hash", "a.txt,1", false, {}, "CVersionInfo::ReadFromMemory() : Fail to get hashcode."},
      {"31 hex digits", "a.txt,1," + b.substr(1) + ",3", false, {}, "CVersionInfo::ReadFromMemory() : invalid hashcode."},
      {"a letter beyond f", "a.txt,1," + b.substr(0, 31) + "g,3", false, {}, "CVersionInfo::ReadFromMemory() : invalid hashcode."},
      {"missing version keeps earlier entries", "a.txt,1," + b + ",3\nb.txt,2," + b, false,
       {"a.txt|1|" + b + "|3"}, "CVersionInfo::ReadFromMemory() : Fail to get update version."},
      {"counted: count larger than the entries", "2,A,1," + b, false, {"A|1|" + b + "|205"},
       "CVersionInfo::ParseOldToken() : Fail to get size."},
      {"counted: missing hash", "1,A,1", false, {}, "CVersionInfo::ParseOldToken() : Fail to get hashcode."},
      {"counted: bad hash", "1,A,1,XYZ", false, {}, "CVersionInfo::ParseOldToken() : invalid hashcode."},
      {"counted: a huge count does not allocate up front", "-1,A,1," + b, false, {"A|1|" + b + "|205"},
       "CVersionInfo::ParseOldToken() : Fail to get size."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LogCapture log;
    CVersionInfo info;
    EXPECT_EQ(info.ReadFromMemory(c.text.c_str()), c.ok);
    EXPECT_EQ(Entries(info), c.entries);
    if (c.log != nullptr) {
      EXPECT_EQ(log.lines(), std::vector<std::string>{c.log});
    } else {
      EXPECT_TRUE(log.lines().empty()) << log.Joined();
    }
  }
}

TEST(VersionInfo, NullTextIsRefusedAndEveryReadReplacesTheList) {
  CVersionInfo info;
  ASSERT_TRUE(info.ReadFromMemory(("one,1," + std::string(kDigestB) + ",1").c_str()));
  ASSERT_TRUE(info.ReadFromMemory(("two,2," + std::string(kDigestB) + ",2").c_str()));
  EXPECT_EQ(Entries(info), std::vector<std::string>{"two|2|" + std::string(kDigestB) + "|2"});
  LogCapture log;
  EXPECT_FALSE(info.ReadFromMemory(nullptr));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"CVersionInfo::ReadFromMemory() : invalid param."});
}

// A downloaded block is not terminated: only its size bytes are read, and it stays as it was.
TEST(VersionInfo, BlockIsReadUpToItsSizeOnly) {
  const std::string block = "one,1," + std::string(kDigestB) + ",1\r\ntwo,2," + std::string(kDigestB) + ",2";
  const std::string first = "one,1," + std::string(kDigestB) + ",1\r\n";
  CVersionInfo info;
  ASSERT_TRUE(info.ReadFromBlock(block.data(), first.size()));
  EXPECT_EQ(Entries(info), std::vector<std::string>{"one|1|" + std::string(kDigestB) + "|1"});
  EXPECT_EQ(block.substr(0, first.size()), first);
  EXPECT_TRUE(info.ReadFromBlock(nullptr, 0));
  EXPECT_EQ(info.GetCount(), 0u);
}

TEST(VersionInfo, LookupsOutOfRange) {
  CVersionInfo info;
  ASSERT_TRUE(info.ReadFromMemory(("one,1," + std::string(kDigestB) + ",1").c_str()));
  EXPECT_STREQ(info.GetName(1), "");
  EXPECT_EQ(info.GetSize(1), 0u);
  EXPECT_EQ(info.GetHash(1), nullptr);
  EXPECT_EQ(info.GetUpdateVersion(1), 0);
}

TEST(VersionInfo, NumericTokens) {
  for (const char* t : {"0", "1", "12abc", " 7", "+3", "-1", "99999999999"}) EXPECT_TRUE(CVersionInfo::IsNumericToken(t)) << t;
  for (const char* t : {"00", "0.dat", "-0", "a1", "", "+"}) EXPECT_FALSE(CVersionInfo::IsNumericToken(t)) << t;
}
