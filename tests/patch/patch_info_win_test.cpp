// CPatchInfo::Read under Wine: the fetch with its retries against the fixture's servers, and
// the service-block window judged in the machine's time zone.
//
// The zone: Wine's ntdll takes the time-zone rules from the Unix TZ variable of the process
// when it starts; a Windows process started by another one inherits its parent's Unix
// environment, not the Windows one. So the zone cases run in a copy of this program started
// through /bin/sh (a Unix program gets the Windows environment, TZ included, as its own) which
// starts it with "wine": that copy sees the zone the parent chose.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "launcher/patch/patch_info.h"
#include "tests/support/log_capture.h"
#include "tests/support/win_test_util.h"
#include "tests/transfer/served_folder.h"

namespace {

const char kMandatory[] = "patch_accept 1\r\npatch_version 310\r\nftp 127.0.0.9\r\nlauncher_version 205\r\nlogin 10.0.0.9\r\n";

// A patch information document served from a folder of its own.
class ServedDocument {
 public:
  explicit ServedDocument(const std::string& text) { folder_.Put("patch_live.txt", text); }
  std::string Nginx() const { return folder_.Nginx("patch_live.txt"); }
  std::string NoDate() const { return folder_.Fault("nodate/", "patch_live.txt"); }
  // The first failures requests of this document fail with 500.
  std::string Flaky(int failures) const {
    return folder_.Fault("flaky/" + std::to_string(failures) + "/" + folder_.name() + "/", "patch_live.txt");
  }

 private:
  ServedFolder folder_;
};

SYSTEMTIME AddSeconds(SYSTEMTIME t, int seconds) {
  FILETIME ft;
  SystemTimeToFileTime(&t, &ft);
  ULARGE_INTEGER v;
  v.LowPart = ft.dwLowDateTime;
  v.HighPart = ft.dwHighDateTime;
  v.QuadPart += static_cast<long long>(seconds) * 10000000LL;
  ft.dwLowDateTime = v.LowPart;
  ft.dwHighDateTime = v.HighPart;
  FileTimeToSystemTime(&ft, &t);
  return t;
}

// The machine's local time, seconds from now, in the window's form.
std::uint64_t LocalNow(int offsetSeconds) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return LocalServerTime(AddSeconds(now, offsetSeconds));
}

std::string Window(std::uint64_t start, std::uint64_t end) {
  return "st_dt " + std::to_string(start) + "\r\ned_dt " + std::to_string(end) + "\r\n";
}

}  // namespace

class PatchInfoRead : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServersAvailable()) GTEST_SKIP() << "test servers not running";
  }
};

TEST_F(PatchInfoRead, GoodDocument) {
  ServedDocument doc(std::string(kMandatory) + "arg -window\r\n");
  LogCapture log;
  CPatchInfo info;
  ASSERT_TRUE(info.Read(doc.Nginx().c_str())) << log.Joined();
  EXPECT_FALSE(info.blocked);
  EXPECT_EQ(info.patch_version, 310);
  EXPECT_STREQ(info.ftp, "127.0.0.9");
  EXPECT_STREQ(info.arg, "-window");
  EXPECT_TRUE(log.Contains("patch version : 310")) << log.Joined();
}

TEST_F(PatchInfoRead, ThreeFailuresThenSuccessAfterAboutThreeSeconds) {
  ServedDocument doc(kMandatory);
  LogCapture log;
  CPatchInfo info;
  const std::uint32_t start = TickMs();
  EXPECT_TRUE(info.Read(doc.Flaky(3).c_str())) << log.Joined();
  const std::uint32_t elapsed = TickMs() - start;
  EXPECT_GE(elapsed, 2900u);
  EXPECT_LT(elapsed, 8000u);
  EXPECT_EQ(info.patch_version, 310);
}

TEST_F(PatchInfoRead, FourFailuresGiveUp) {
  ServedDocument doc(kMandatory);
  LogCapture log;
  CPatchInfo info;
  const std::string url = doc.Flaky(4);
  const std::uint32_t start = TickMs();
  EXPECT_FALSE(info.Read(url.c_str()));
  EXPECT_GE(TickMs() - start, 2900u);
  EXPECT_TRUE(log.Contains("fail to read http patch url : " + url)) << log.Joined();
  EXPECT_EQ(info.patch_version, 0);
}

// The Date of the reply decides: a window around the current time blocks, one that ended a
// minute ago does not, whatever the machine's own zone.
TEST_F(PatchInfoRead, WindowAroundTheServersDateBlocks) {
  const struct {
    int from, to;
    bool blocked;
  } cases[] = {{-3600, 3600, true}, {-7200, -60, false}, {60, 7200, false}};
  for (const auto& c : cases) {
    ServedDocument doc(std::string(kMandatory) + Window(LocalNow(c.from), LocalNow(c.to)));
    CPatchInfo info;
    ASSERT_TRUE(info.Read(doc.Nginx().c_str()));
    EXPECT_EQ(info.blocked, c.blocked) << c.from << ".." << c.to;
  }
}

// Without a Date the machine's own clock stands in, so a window still applies.
TEST_F(PatchInfoRead, WindowWithoutADateUsesTheMachinesClock) {
  ServedDocument doc(std::string(kMandatory) + Window(LocalNow(-3600), LocalNow(3600)));
  LogCapture log;
  CPatchInfo info;
  ASSERT_TRUE(info.Read(doc.NoDate().c_str()));
  EXPECT_TRUE(info.blocked);
  EXPECT_EQ(log.lines()[0].rfind("CHttp::ReadFromHTTP() : HTTP_QUERY_DATE failed : code:", 0), 0u) << log.Joined();
}

namespace {

struct ZoneCase {
  const char* tz;
  long bias;            // standard time, minutes west of UTC
  std::uint64_t day;    // YYYYMMDD of the window, 06:00:00 to 09:00:00 local
  SYSTEMTIME startUtc;  // 06:00:00 local on that day
  SYSTEMTIME endUtc;    // 09:00:00 local
};

// A zone without daylight saving, and one on a day of its summer time.
const ZoneCase kZones[] = {
    {"Asia/Taipei", -480, 20240102, {2024, 1, 0, 1, 22, 0, 0, 0}, {2024, 1, 0, 2, 1, 0, 0, 0}},
    {"America/New_York", 300, 20240702, {2024, 7, 0, 2, 10, 0, 0, 0}, {2024, 7, 0, 2, 13, 0, 0, 0}},
};

}  // namespace

// The child: runs in the zone its parent put into TZ and writes one line per check to the
// report file the parent named, all at once when done.
TEST(PatchInfoZoneChild, DISABLED_Report) {
  char tz[64] = {};
  GetEnvironmentVariableA("TZ", tz, sizeof(tz));
  char reportPath[MAX_PATH] = {};
  GetEnvironmentVariableA("TALV_ZONE_REPORT", reportPath, sizeof(reportPath));
  std::string report;
  for (const ZoneCase& z : kZones) {
    if (std::string(tz) != z.tz) continue;
    CPatchInfo info;
    std::string text = std::string(kMandatory) + Window(z.day * 1000000 + 60000, z.day * 1000000 + 90000);
    ASSERT_TRUE(info.Parse(text.c_str()));
    const struct {
      const char* what;
      SYSTEMTIME utc;
    } moments[] = {{"before", AddSeconds(z.startUtc, -1)},
                   {"start", z.startUtc},
                   {"last", AddSeconds(z.endUtc, -1)},
                   {"end", z.endUtc}};
    TIME_ZONE_INFORMATION zone;
    GetTimeZoneInformation(&zone);
    report += "bias=" + std::to_string(zone.Bias) + "\n";
    for (const auto& m : moments) {
      CPatchInfo copy = info;
      copy.ApplyServiceWindow(LocalServerTime(m.utc));
      report += std::string(m.what) + "=" + (copy.blocked ? "1" : "0") + "\n";
    }
  }
  const std::string partial = std::string(reportPath) + ".part";
  ASSERT_TRUE(WriteFileBytes(partial, report));
  ASSERT_TRUE(MoveFileA(partial.c_str(), reportPath));
}

TEST(PatchInfoZone, WindowBoundsInTheMachinesZone) {
  char module[MAX_PATH];
  GetModuleFileNameA(nullptr, module, sizeof(module));
  std::string exe = module;
  for (char& c : exe) {
    if (c == '\\') c = '/';
  }
  // The loader this host can execute, as scripts/wine-run chose it.
  const char* chosen = std::getenv("TALV_WINE");
  const std::string wine = chosen != nullptr && *chosen != '\0' ? chosen : "wine";
  ScopedTempDir dir;
  for (const ZoneCase& z : kZones) {
    SCOPED_TRACE(z.tz);
    const std::string report = dir / (std::string("report_") + (z.bias < 0 ? "e" : "w"));
    SetEnvironmentVariableA("TZ", z.tz);
    SetEnvironmentVariableA("TALV_ZONE_REPORT", report.c_str());
    // Wine gives no handle to wait on for a Unix program: the report file tells the end.
    ProcessResult r = RunProcess("/bin/sh -c \"exec " + wine + " '" + exe +
                                     "' --gtest_also_run_disabled_tests --gtest_filter=PatchInfoZoneChild.* "
                                     ">/dev/null 2>&1\"",
                                 "", 0, false);
    SetEnvironmentVariableA("TZ", nullptr);
    SetEnvironmentVariableA("TALV_ZONE_REPORT", nullptr);
    ASSERT_TRUE(r.started);
    ASSERT_TRUE(WaitUntil([&] { return PathExists(report); }, 60000));
    EXPECT_EQ(ReadFileOr(report), "bias=" + std::to_string(z.bias) + "\nbefore=0\nstart=1\nlast=1\nend=0\n");
  }
}
