// The recovery a launch runs before anything else, on the states a killed run leaves: the
// journal in the game's "patch" folder, the backups beside it, files half moved.
#include <gtest/gtest.h>

#include "launcher/core/windows_api.h"

#include <string>
#include <vector>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/safe_file.h"
#include "launcher/core/text.h"
#include "launcher/patch/move_journal_file.h"
#include "launcher/ui/panel.h"
#include "tests/support/host_session.h"
#include "tests/support/log_capture.h"
#include "tests/support/win_test_util.h"

namespace {

class TextPanel : public IPanel {
 public:
  void SetPanelType(PanelType) override {}
  void SetGameVersion(int) override {}
  void SetText(const char* text) override { texts.push_back(text); }
  void SetProgress(int) override {}
  void SetSize(std::uint64_t, std::uint64_t) override {}
  void SetSpeed(std::uint32_t, std::uint32_t) override {}
  std::vector<std::string> texts;
};

int RecordMessage(int stringId, const char*, int, void* context) {
  static_cast<std::vector<int>*>(context)->push_back(stringId);
  return 1;
}

class Recovery : public ::testing::Test {
 protected:
  void SetUp() override {
    savedGameDir_ = g_launcher.m_gameDir;
    savedPatchDir_ = g_launcher.m_patchDir;
    savedInitialized_ = g_launcher.m_initialized;
    g_launcher.m_initialized = true;
    ASSERT_TRUE(g_launcher.SetGameDir(game_.c_str()));
    g_launcher.SetMessageHook(&RecordMessage, &messages_);
    limits_ = g_safeFileLimits;
    g_safeFileLimits.retryPauseMs = 50;
    g_safeFileLimits.retryLimitMs = 500;
    EmptyGame();
    WriteVersionFile(game_, 1);
  }
  void TearDown() override {
    g_safeFileLimits = limits_;
    g_launcher.SetMessageHook(nullptr, nullptr);
    CopyString(g_launcher.m_gameDir, savedGameDir_.c_str());
    CopyString(g_launcher.m_patchDir, savedPatchDir_.c_str());
    g_launcher.m_initialized = savedInitialized_;
  }
  void EmptyGame() {
    RemoveTree(game_);
    CreateDirectoryA(game_.c_str(), nullptr);
  }
  std::string Journal(const std::string& lines) {
    EXPECT_TRUE(WriteTree(game_, {{"patch\\journal.txt", lines}}));
    return game_ + "\\patch\\journal.txt";
  }
  SampleGame::Files Files() const { return layout_.Snapshot(); }

  ScopedTempDir scratch_;
  SampleGame layout_{scratch_.path()};  // only for its game folder and snapshot
  const std::string game_ = layout_.GameDir();
  std::string savedGameDir_;
  std::string savedPatchDir_;
  bool savedInitialized_ = false;
  SafeFileLimits limits_;
  std::vector<int> messages_;
  TextPanel panel_;
};

const char kRunLines[] =
    "run 1 2\n"
    "backup data\\a.txt\tpatch\\old\\data\\a.txt\n"
    "backup data\\b.txt\tpatch\\old\\data\\b.txt\n"
    "new data\\a.txt\n"
    "new data\\c.txt\n"
    "backup gone.txt\tpatch\\removed\\gone.txt\n";

TEST_F(Recovery, EveryMomentOfARunIsPutBack) {
  // The game had a.txt "a1", b.txt "b1", gone.txt "g1"; the run brings a.txt "a2" and c.txt.
  const SampleGame::Files before = {{"data\\a.txt", "a1"}, {"data\\b.txt", "b1"}, {"gone.txt", "g1"},
                                    {"version.dat", std::string("\x01\0\0\0", 4)}};
  struct Case {
    const char* moment;
    int lines;  // journal lines written (run line included)
    SampleGame::Files files;
    const char* cut = "";  // a line the kill cut short
  };
  const Case cases[] = {
      {"before the first move", 1, {{"data\\a.txt", "a1"}, {"data\\b.txt", "b1"}, {"gone.txt", "g1"}}},
      {"copying a.txt aside", 2, {{"data\\a.txt", "a1"}, {"patch\\old\\data\\a.txt", "a"}, {"data\\b.txt", "b1"}, {"gone.txt", "g1"}}},
      {"a.txt copied, not yet deleted", 2,
       {{"data\\a.txt", "a1"}, {"patch\\old\\data\\a.txt", "a1"}, {"data\\b.txt", "b1"}, {"gone.txt", "g1"}}},
      {"writing the next line", 2,
       {{"patch\\old\\data\\a.txt", "a1"}, {"data\\b.txt", "b1"}, {"gone.txt", "g1"}}, "backup data\\b.t"},
      {"moving a.txt in", 4,
       {{"data\\a.txt", "a"}, {"patch\\old\\data\\a.txt", "a1"}, {"patch\\old\\data\\b.txt", "b1"}, {"gone.txt", "g1"}}},
      {"all moved, gone.txt aside", 6,
       {{"data\\a.txt", "a2"}, {"data\\c.txt", "c2"}, {"patch\\old\\data\\a.txt", "a1"},
        {"patch\\old\\data\\b.txt", "b1"}, {"patch\\removed\\gone.txt", "g1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.moment);
    EmptyGame();
    SampleGame::Files files = c.files;
    files["version.dat"] = before.at("version.dat");
    ASSERT_TRUE(WriteTree(game_, files));
    std::string lines;
    std::size_t at = 0;
    for (int i = 0; i < c.lines; ++i) {
      const std::size_t end = std::string(kRunLines).find('\n', at) + 1;
      lines += std::string(kRunLines).substr(at, end - at);
      at = end;
    }
    Journal(lines + c.cut);
    messages_.clear();
    LogCapture log;
    EXPECT_TRUE(RecoverInterruptedRun(panel_)) << log.Joined();
    EXPECT_EQ(Files(), before) << log.Joined();
    EXPECT_FALSE(PathExists(game_ + "\\patch"));
    EXPECT_TRUE(messages_.empty());
  }
}

TEST_F(Recovery, ARecoveryCutShortIsTakenUpAgain) {
  // The undo of b.txt began (its line is there) and was cut mid-copy: b.txt is partial, the
  // backup whole.
  ASSERT_TRUE(WriteTree(game_, {{"data\\a.txt", "a1"}, {"data\\b.txt", "b"}, {"patch\\old\\data\\b.txt", "b1"}}));
  Journal("run 1 2\nbackup data\\a.txt\tpatch\\old\\data\\a.txt\nbackup data\\b.txt\tpatch\\old\\data\\b.txt\nundo 1\n");
  LogCapture log;
  EXPECT_TRUE(RecoverInterruptedRun(panel_)) << log.Joined();
  EXPECT_EQ(ReadFileOr(game_ + "\\data\\b.txt"), "b1");
  EXPECT_EQ(ReadFileOr(game_ + "\\data\\a.txt"), "a1");
  EXPECT_FALSE(PathExists(game_ + "\\patch"));
  EXPECT_EQ(panel_.texts, std::vector<std::string>{"Rollback files..."});
  EXPECT_TRUE(log.Contains("Recover : undo the patch from 1 to 2")) << log.Joined();
}

TEST_F(Recovery, DoneRunsAreLeftAsTheyAre) {
  for (const std::string& lines : {std::string(kRunLines) + "commit\n", std::string(kRunLines) + "undone\n",
                                   std::string(kRunLines)}) {
    EmptyGame();
    const bool versionWritten = lines == kRunLines;  // the version file says 2: the run is done
    WriteTree(game_, {{"data\\a.txt", "a2"}, {"data\\c.txt", "c2"}, {"patch\\old\\data\\a.txt", "a1"},
                      {"version.new", std::string(4, '\x02')}});
    WriteVersionFile(game_, versionWritten ? 2 : 1);
    Journal(lines);
    EXPECT_TRUE(RecoverInterruptedRun(panel_));
    EXPECT_EQ(ReadFileOr(game_ + "\\data\\a.txt"), "a2");
    EXPECT_TRUE(PathExists(game_ + "\\data\\c.txt"));
    EXPECT_FALSE(PathExists(game_ + "\\patch"));
    EXPECT_FALSE(PathExists(game_ + "\\version.new"));  // a version write cut before its rename
  }
  EXPECT_TRUE(panel_.texts.empty());
}

TEST_F(Recovery, AStepThatCannotBeDoneKeepsEveryBackup) {
  struct Case {
    const char* why;
    std::string journal;
    const char* held;  // a file held open without delete sharing, or none
  } cases[] = {
      {"a journal that does not read", "run 1 2\nbackup data\\a.txt\n", nullptr},
      {"a file moved in that stays locked", "run 1 2\nbackup data\\a.txt\tpatch\\old\\data\\a.txt\nnew data\\a.txt\n",
       "data\\a.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EmptyGame();
    ASSERT_TRUE(WriteTree(game_, {{"data\\a.txt", "a2"}, {"patch\\old\\data\\a.txt", "a1"}}));
    Journal(c.journal);
    messages_.clear();
    CFileHandle held;
    if (c.held != nullptr) {
      held.reset(CreateFileA((game_ + "\\" + c.held).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr));
      ASSERT_TRUE(static_cast<bool>(held));
    }
    LogCapture log;
    EXPECT_FALSE(RecoverInterruptedRun(panel_));
    EXPECT_EQ(messages_, std::vector<int>{49});
    EXPECT_EQ(ReadFileOr(game_ + "\\patch\\old\\data\\a.txt"), "a1");
    EXPECT_TRUE(PathExists(game_ + "\\patch\\journal.txt"));
    held.reset();
    if (c.held != nullptr) {
      // The next start, with the file free again, finishes the job.
      messages_.clear();
      EXPECT_TRUE(RecoverInterruptedRun(panel_)) << log.Joined();
      EXPECT_EQ(ReadFileOr(game_ + "\\data\\a.txt"), "a1");
      EXPECT_FALSE(PathExists(game_ + "\\patch"));
    }
  }
}

}  // namespace

namespace {

// After the recovery only the downloads the record names stay, with the record: never the
// journal, a backup (even one the record names), a draft or anything else the run left.
TEST_F(Recovery, OnlyTheRecordedDownloadsStayAfterTheRecovery) {
  const std::string d = "0123456789ABCDEF0123456789ABCDEF";
  const std::string record = "downloads 1\ndone data\\x.txt\t2\t" + d + "\npart data\\big.bin\t100\t" + d +
                             "\ndone old\\data\\a.txt\t2\t" + d + "\npart data\\moved.txt\t5\t" + d + "\n";
  const struct {
    const char* why;
    std::string record;
    SampleGame::Files kept;
  } cases[] = {
      {"a record", record,
       {{"patch\\downloads.txt", record}, {"patch\\data\\x.txt", "x2"}, {"patch\\data\\big.bin", "partial"}}},
      {"a record cut mid-line", record.substr(0, record.size() - 3), {}},
      {"no record", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EmptyGame();
    WriteVersionFile(game_, 1);
    SampleGame::Files left = {{"data\\a.txt", "a2"},           {"patch\\old\\data\\a.txt", "a1"},
                              {"patch\\data\\x.txt", "x2"},    {"patch\\data\\big.bin", "partial"},
                              {"patch\\README.txt", "readme"}, {"patch\\data\\big.bin.form", "form"},
                              {"patch\\downloads.new", "draft"}, {"patch\\other\\stray.bin", "stray"}};
    if (!c.record.empty()) left["patch\\downloads.txt"] = c.record;
    ASSERT_TRUE(WriteTree(game_, left));
    Journal("run 1 2\nbackup data\\a.txt\tpatch\\old\\data\\a.txt\nnew data\\a.txt\n");
    LogCapture log;
    EXPECT_TRUE(RecoverInterruptedRun(panel_)) << log.Joined();
    SampleGame::Files expected = c.kept;
    expected["data\\a.txt"] = "a1";
    expected["version.dat"] = std::string("\x01\x00\x00\x00", 4);
    EXPECT_EQ(Files(), expected) << log.Joined();
    EXPECT_FALSE(PathExists(game_ + "\\patch\\other"));
    EXPECT_EQ(PathExists(game_ + "\\patch"), !c.kept.empty());
  }
}

}  // namespace
