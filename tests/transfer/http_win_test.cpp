// CHttp::ReadFromHTTP against the fixture's nginx and fault server on loopback.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "launcher/transfer/http_win.h"
#include "tests/support/log_capture.h"
#include "tests/transfer/served_folder.h"
#include "tests/support/win_test_util.h"

namespace {

struct Fetch {
  std::uint32_t length = 0;
  std::string body;  // the buffer up to the first zero byte past the result
  SYSTEMTIME time;
  std::vector<std::string> log;
  bool zeroed = false;  // exactly the first kHttpTextSize bytes of the buffer were zeroed
};

const SYSTEMTIME kUntouched = {1999, 12, 5, 31, 23, 59, 58, 7};

Fetch Get(const std::string& url) {
  Fetch f;
  f.time = kUntouched;
  std::vector<char> buffer(kHttpTextSize + 64, 'Z');
  LogCapture log;
  f.length = CHttp::ReadFromHTTP(url.c_str(), buffer.data(), &f.time);
  f.body.assign(buffer.data(), f.length);
  f.zeroed = std::all_of(buffer.begin() + f.length, buffer.begin() + kHttpTextSize, [](char c) { return c == 0; }) &&
             buffer[kHttpTextSize] == 'Z';
  f.log = log.lines();
  return f;
}

bool TimeSet(const SYSTEMTIME& t) { return t.wYear >= 2020 && t.wYear != kUntouched.wYear; }

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

bool OnlyDateLine(const std::vector<std::string>& log) {
  return log.size() == 1 && log[0].rfind("CHttp::ReadFromHTTP() : SystemTime : ", 0) == 0;
}

}  // namespace

class Http : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers not running";
  }
};

TEST_F(Http, BodiesUpToTheBufferSize) {
  ServedFolder served;
  const struct {
    const char* file;
    std::size_t size;
    std::size_t expected;
  } cases[] = {{"small.txt", 57, 57}, {"exact.txt", kHttpTextSize, kHttpTextSize}, {"long.txt", 9000, kHttpTextSize}};
  for (const auto& c : cases) {
    ASSERT_TRUE(served.Put(c.file, Pattern(c.size)));
    Fetch f = Get(served.Nginx(c.file));
    EXPECT_EQ(f.length, c.expected) << c.file;
    EXPECT_EQ(f.body, Pattern(c.size).substr(0, c.expected)) << c.file;
    EXPECT_TRUE(f.zeroed) << c.file;
    EXPECT_TRUE(TimeSet(f.time)) << c.file;
    EXPECT_TRUE(OnlyDateLine(f.log)) << c.file << "\n" << ::testing::PrintToString(f.log);
  }
}

TEST_F(Http, DateHeaderIsReadAsUtc) {
  ServedFolder served;
  ASSERT_TRUE(served.Put("t.txt", "x"));
  SYSTEMTIME before;
  GetSystemTime(&before);
  Fetch f = Get(served.Nginx("t.txt"));
  ASSERT_EQ(f.length, 1u);
  FILETIME a, b;
  SystemTimeToFileTime(&before, &a);
  ASSERT_TRUE(SystemTimeToFileTime(&f.time, &b));
  const auto ticks = [](const FILETIME& t) { return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  EXPECT_LT(std::llabs(ticks(b) - ticks(a)), 10LL * 10000000) << "server time is not the current UTC time";
}

TEST_F(Http, PiecesArriveOneAfterAnother) {
  ServedFolder served;
  ASSERT_TRUE(served.Put("slow.txt", Pattern(1000)));
  Fetch f = Get(served.Fault("slow/150/40/", "slow.txt"));
  EXPECT_EQ(f.length, 1000u);
  EXPECT_EQ(f.body, Pattern(1000));
  EXPECT_TRUE(TimeSet(f.time));
}

// A refused reply's page may be left in the buffer; only the result tells.
TEST_F(Http, RefusedAndEmptyRepliesGiveZeroButStillTheServerTime) {
  ServedFolder served;
  ASSERT_TRUE(served.Put("empty.txt", ""));
  EXPECT_TRUE(Get(served.Nginx("empty.txt")).zeroed);
  for (const std::string& url : {served.Nginx("missing.txt"), served.Nginx("empty.txt"),
                                 served.Fault("status/500/", "x.txt")}) {
    Fetch f = Get(url);
    EXPECT_EQ(f.length, 0u) << url;
    EXPECT_TRUE(TimeSet(f.time)) << url;
    EXPECT_TRUE(OnlyDateLine(f.log)) << url << "\n" << ::testing::PrintToString(f.log);
  }
}

TEST_F(Http, ReplyWithoutDateKeepsTheCallersTime) {
  ServedFolder served;
  ASSERT_TRUE(served.Put("d.txt", "patch"));
  Fetch f = Get(served.Fault("nodate/", "d.txt"));
  EXPECT_EQ(f.body, "patch");
  EXPECT_EQ(std::memcmp(&f.time, &kUntouched, sizeof(SYSTEMTIME)), 0);
  ASSERT_EQ(f.log.size(), 1u);
  EXPECT_EQ(f.log[0].rfind("CHttp::ReadFromHTTP() : HTTP_QUERY_DATE failed : code:", 0), 0u) << f.log[0];
}

TEST_F(Http, UnreachableServerAndNullArguments) {
  // Port 9 of the fault server's address: nothing listens there.
  Fetch f = Get("http://" + ServerEnv("TALV_FAULT_HOST") + ":9/x.txt");
  EXPECT_EQ(f.length, 0u);
  EXPECT_EQ(std::memcmp(&f.time, &kUntouched, sizeof(SYSTEMTIME)), 0);
  ASSERT_EQ(f.log.size(), 1u);
  EXPECT_EQ(f.log[0].rfind("CHttp::ReadFromHTTP() : InternetOpenUrl() failed : code:", 0), 0u) << f.log[0];

  LogCapture log;
  char buffer[kHttpTextSize];
  SYSTEMTIME t;
  const std::string url = "http://" + ServerEnv("TALV_HTTP_HOST") + "/x";
  EXPECT_EQ(CHttp::ReadFromHTTP(nullptr, buffer, &t), 0u);
  EXPECT_EQ(CHttp::ReadFromHTTP(url.c_str(), nullptr, &t), 0u);
  EXPECT_EQ(CHttp::ReadFromHTTP(url.c_str(), buffer, nullptr), 0u);
  EXPECT_TRUE(log.lines().empty());
}
