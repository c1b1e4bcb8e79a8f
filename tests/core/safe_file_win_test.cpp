// File removal and moving against files that another program holds open without delete
// sharing (tests/helpers/hold_file), read-only files and names that begin with a dot.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/safe_file.h"
#include "launcher/core/win_handle.h"
#include "tests/support/log_capture.h"
#include "tests/support/win_test_util.h"

namespace {

bool Hold(ChildProcess& holder, const std::string& path, unsigned ms) {
  return StartHelper(holder, "hold_file", "\"" + path + "\" " + std::to_string(ms));
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

std::size_t CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  std::size_t n = 0;
  for (const auto& l : lines) n += StartsWith(l, prefix);
  return n;
}

// Entry names in the order the platform lists them.
std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  CFindHandle find(FindFirstFileA((dir + "\\*.*").c_str(), &entry));
  if (!find) return names;
  do {
    if (entry.cFileName[0] != '.') names.push_back(entry.cFileName);
  } while (FindNextFileA(find.get(), &entry));
  return names;
}

}  // namespace

TEST(RemoveDirectory, MissingEmptyReadOnlyAndDotNames) {
  LogCapture log;
  ScopedTempDir dir;
  EXPECT_TRUE(CFile::RemoveDirectory((dir / "missing").c_str(), false));
  EXPECT_FALSE(CFile::RemoveDirectory("", true));

  const std::string tree = dir / "tree";
  CreateDirectoryA(tree.c_str(), nullptr);
  CreateDirectoryA((tree + "\\sub").c_str(), nullptr);
  CreateDirectoryA((tree + "\\dotted").c_str(), nullptr);
  CreateDirectoryA((tree + "\\.git").c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(tree + "\\sub\\ro.txt", "r"));
  SetFileAttributesA((tree + "\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((tree + "\\sub").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(WriteFileBytes(tree + "\\a.txt", "a"));
  ASSERT_TRUE(WriteFileBytes(tree + "\\dotted\\.keep", "k"));
  ASSERT_TRUE(WriteFileBytes(tree + "\\dotted\\b.txt", "b"));

  EXPECT_TRUE(CFile::RemoveDirectory(tree.c_str(), false));
  EXPECT_FALSE(PathExists(tree + "\\sub"));
  EXPECT_FALSE(PathExists(tree + "\\a.txt"));
  EXPECT_FALSE(PathExists(tree + "\\dotted\\b.txt"));
  // Dot names stay, and so do the folders that hold them; that does not fail the removal.
  EXPECT_TRUE(PathExists(tree + "\\dotted\\.keep"));
  EXPECT_TRUE(PathExists(tree + "\\.git"));
  EXPECT_TRUE(log.Contains("CFile::RemoveDirectory() : RemoveDirectory(" + tree + "\\dotted) failed."));
  EXPECT_TRUE(log.Contains("CFile::RemoveDirectory() : RemoveDirectory(" + tree + ") failed."));
}

TEST(RemoveDirectory, AHeldFileStopsTheRemovalUnlessForced) {
  for (bool force : {false, true}) {
    ScopedTempDir dir;
    const std::string tree = dir / "tree";
    CreateDirectoryA(tree.c_str(), nullptr);
    for (char c = 'a'; c <= 'f'; ++c) ASSERT_TRUE(WriteFileBytes(tree + "\\" + c + ".bin", std::string(1, c)));
    const std::vector<std::string> order = Listing(tree);
    ASSERT_EQ(order.size(), 6u);
    const std::string held = tree + "\\" + order[2];
    ChildProcess holder;
    ASSERT_TRUE(Hold(holder, held, 60000));

    LogCapture log;
    EXPECT_TRUE(CFile::RemoveDirectory(tree.c_str(), force) == force);
    EXPECT_TRUE(log.Contains("CFile::RemoveDirectory() : DeleteFile(" + held + ") failed.")) << log.Joined();
    EXPECT_TRUE(PathExists(held));
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (i == 2) continue;
      // Without force the files listed after the held one stay; with force only it stays.
      EXPECT_EQ(PathExists(tree + "\\" + order[i]), !force && i > 2) << order[i] << " force " << force;
    }
    holder.Kill();
  }
}

TEST(SafeDeleteFile, MissingReadOnlyAndBrieflyHeldFiles) {
  LogCapture log;
  ScopedTempDir dir;
  EXPECT_FALSE(SafeDeleteFile(nullptr));
  EXPECT_TRUE(SafeDeleteFile((dir / "missing").c_str()));
  EXPECT_TRUE(log.lines().empty());

  const std::string readOnly = dir / "ro.txt";
  ASSERT_TRUE(WriteFileBytes(readOnly, "r"));
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(SafeDeleteFile(readOnly.c_str()));
  EXPECT_FALSE(PathExists(readOnly));

  const std::string held = dir / "held.txt";
  ASSERT_TRUE(WriteFileBytes(held, "h"));
  ChildProcess holder;
  ASSERT_TRUE(Hold(holder, held, 2000));
  LogCapture retries;
  EXPECT_TRUE(SafeDeleteFile(held.c_str()));
  EXPECT_FALSE(PathExists(held));
  EXPECT_GE(CountStartingWith(retries.lines(), "SafeMoveFile : fail to delete \"" + held + "\" error code:32"), 1u)
      << retries.Joined();
  EXPECT_EQ(retries.lines().back().rfind("SafeMoveFile : retried to delete \"" + held + "\" for ", 0), 0u);
  EXPECT_EQ(retries.lines().back().substr(retries.lines().back().size() - 3), "cnt");
}

TEST(SafeMoveFile, DestinationFirstReadOnlyFilesAndNewFolders) {
  LogCapture log;
  ScopedTempDir dir;
  const std::string source = dir / "new.bin";
  const std::string target = dir / "game\\data\\old.bin";
  ASSERT_TRUE(WriteFileBytes(source, "new"));
  SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(SafeMoveFile(target.c_str(), source.c_str()));
  EXPECT_EQ(ReadFileOr(target), "new");
  EXPECT_FALSE(PathExists(source));

  EXPECT_TRUE(log.lines().empty()) << log.Joined();

  // A read-only destination is replaced: its delete fails once, and the retry clears it.
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(WriteFileBytes(source, "newer"));
  LogCapture replaced;
  EXPECT_TRUE(SafeMoveFile(target.c_str(), source.c_str()));
  EXPECT_EQ(ReadFileOr(target), "newer");
  ASSERT_EQ(replaced.lines().size(), 2u) << replaced.Joined();
  EXPECT_EQ(replaced.lines()[0], "SafeMoveFile : fail to delete \"" + target + "\" error code:5");
  EXPECT_TRUE(StartsWith(replaced.lines()[1], "SafeMoveFile : retried to delete \"" + target + "\" for "));

  LogCapture failures;
  EXPECT_FALSE(SafeMoveFile(nullptr, source.c_str()));
  EXPECT_FALSE(SafeMoveFile(target.c_str(), nullptr));
  EXPECT_TRUE(failures.lines().empty());
  EXPECT_FALSE(SafeMoveFile(target.c_str(), source.c_str()));
  EXPECT_FALSE(SafeMoveFile(target.c_str(), (dir / "game").c_str()));
  const std::vector<std::string> expected = {
      "SafeMoveFile : src \"" + source + "\" not found.",
      "SafeMoveFile : src \"" + (dir / "game") + "\"is a directory.",
  };
  EXPECT_EQ(failures.lines(), expected);
  EXPECT_EQ(ReadFileOr(target), "newer");
}

TEST(SafeMoveFile, BrieflyHeldSourceOrDestination) {
  ScopedTempDir dir;
  const std::string source = dir / "src.bin";
  const std::string target = dir / "dst.bin";
  ASSERT_TRUE(WriteFileBytes(target, "old"));
  for (bool holdSource : {false, true}) {
    const std::string content = holdSource ? "two" : "one";
    ASSERT_TRUE(WriteFileBytes(source, content));
    ChildProcess holder;
    ASSERT_TRUE(Hold(holder, holdSource ? source : target, 2000));
    LogCapture log;
    EXPECT_TRUE(SafeMoveFile(target.c_str(), source.c_str()));
    EXPECT_EQ(ReadFileOr(target), content);
    EXPECT_FALSE(PathExists(source));
    if (holdSource) {
      // The source's retries are summed up in one line once it could be deleted.
      ASSERT_EQ(log.lines().size(), 1u) << log.Joined();
      EXPECT_TRUE(StartsWith(log.lines()[0], "SafeMoveFile : retried to delete \"" + source + "\" for "));
    } else {
      EXPECT_GE(CountStartingWith(log.lines(), "SafeMoveFile : fail to delete \"" + target + "\""), 1u);
    }
  }
}

// A file held for longer than the bound (shortened here to 3 s, retried every 100 ms). Both
// operations run at once, so the case costs the bound only once.
TEST(SafeMoveFile, ASourceHeldLongerThanTheBoundLeavesBothCopies) {
  const SafeFileLimits shipping = g_safeFileLimits;
  g_safeFileLimits.retryPauseMs = 100;
  g_safeFileLimits.retryLimitMs = 3000;
  ScopedTempDir dir;
  const std::string source = dir / "src.bin";
  const std::string target = dir / "dst.bin";
  const std::string stuck = dir / "stuck.bin";
  ASSERT_TRUE(WriteFileBytes(source, "payload"));
  ASSERT_TRUE(WriteFileBytes(stuck, "x"));
  ChildProcess holdSource, holdStuck;
  ASSERT_TRUE(Hold(holdSource, source, 15000));
  ASSERT_TRUE(Hold(holdStuck, stuck, 15000));

  struct Lines {
    std::mutex lock;
    std::vector<std::string> lines;
    static void Tap(const char* line, void* context) {
      auto* self = static_cast<Lines*>(context);
      std::lock_guard<std::mutex> guard(self->lock);
      self->lines.emplace_back(line);
    }
  } captured;
  const bool wasInitialized = g_launcher.m_initialized;
  g_launcher.m_initialized = true;
  g_launcher.SetLogTap(&Lines::Tap, &captured);

  const DWORD start = GetTickCount();
  bool deleted = true;
  std::thread deleter([&] { deleted = SafeDeleteFile(stuck.c_str()); });
  const bool moved = SafeMoveFile(target.c_str(), source.c_str());
  const DWORD elapsed = GetTickCount() - start;
  deleter.join();
  g_launcher.SetLogTap(nullptr, nullptr);
  g_launcher.m_initialized = wasInitialized;
  g_safeFileLimits = shipping;

  EXPECT_FALSE(moved);
  EXPECT_FALSE(deleted);
  EXPECT_GE(elapsed, 3000u);
  EXPECT_EQ(ReadFileOr(target), "payload");
  EXPECT_TRUE(PathExists(source));
  EXPECT_TRUE(PathExists(stuck));
  EXPECT_EQ(CountStartingWith(captured.lines, "SafeMoveFile : fail to delete \"" + source + "\" error code:32"), 1u);
  // About one retry per pause for the whole bound; a loaded machine only makes fewer.
  const std::size_t retries =
      CountStartingWith(captured.lines, "SafeMoveFile : retried to delete \"" + stuck + "\" for ");
  EXPECT_GE(retries, 10u);
  EXPECT_LE(retries, 32u);
}
