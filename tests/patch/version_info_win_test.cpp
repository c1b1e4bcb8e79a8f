// CVersionInfo::ReadFromFile on real files under Wine.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/core/win_handle.h"
#include "launcher/patch/version_info.h"
#include "tests/support/log_capture.h"
#include "tests/support/win_test_util.h"

TEST(VersionInfoFile, ReadsAFileAndReportsWhatItCannotOpen) {
  ScopedTempDir dir;
  const std::string path = dir / "version.txt";
  ASSERT_TRUE(WriteFileBytes(path, "a.dat,3,900150983CD24FB0D6963F7D28E17F72,7\r\n"));
  CVersionInfo info;
  {
    LogCapture log;
    ASSERT_TRUE(info.ReadFromFile(path.c_str())) << log.Joined();
    ASSERT_EQ(info.GetCount(), 1u);
    EXPECT_STREQ(info.GetName(0), "a.dat");
    EXPECT_EQ(info.GetUpdateVersion(0), 7);
  }
  const std::string missing = dir / "none.txt";
  const struct {
    const char* path;
    std::string line;
  } cases[] = {
      {nullptr, "CVersionInfo::ReadFromFile() : invalid param."},
      {missing.c_str(), "CVersionInfo::ReadFromFile() : fail to open file \"" + missing + "\""},
  };
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_FALSE(info.ReadFromFile(c.path));
    EXPECT_EQ(log.lines(), std::vector<std::string>{c.line});
  }
  // Opened without sharing: a file another handle holds for writing cannot be read.
  CFileHandle holder(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder);
  LogCapture log;
  EXPECT_FALSE(info.ReadFromFile(path.c_str()));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"CVersionInfo::ReadFromFile() : fail to open file \"" + path + "\""});
}
