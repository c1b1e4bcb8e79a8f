#include "launcher/ui/pipe_panel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "launcher/core/clock.h"

namespace {

// Collects the lines the pipe panel writes; restores standard output and the command
// state afterwards.
class PipeLines {
 public:
  PipeLines() { SetPipeLineSink(&PipeLines::Sink, this); }
  ~PipeLines() {
    SetPipeLineSink(nullptr, nullptr);
    g_pipeCommandMode = false;
    g_pipePaused = false;
    std::lock_guard<std::mutex> lock(g_pipeCommandLock);
    g_pipeCommands.clear();
  }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    out.swap(lines_);
    return out;
  }
  bool Seen(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& l : lines_) {
      if (l == line) return true;
    }
    return false;
  }

 private:
  static void Sink(const char* line, void* context) {
    auto* self = static_cast<PipeLines*>(context);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->lines_.emplace_back(line);
  }
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

using Lines = std::vector<std::string>;

}  // namespace

TEST(PipePanel, PanelTypesAndPlainEvents) {
  PipeLines out;
  CPipePanel panel;
  panel.SetPanelType(PanelGeneral);
  panel.SetPanelType(PanelDownload);
  panel.SetPanelType(PanelExtract);
  panel.SetPanelType(PanelNone);
  panel.SetPanelType(static_cast<PanelType>(7));  // a type no panel knows
  panel.SetGameVersion(300);
  panel.SetGameVersion(-1);
  panel.SetText("Downloading launcher...");
  panel.SetText(nullptr);
  EXPECT_EQ(out.Take(), (Lines{"panelType : general", "panelType : download", "speed : 0", "size : 0/0",
                               "panelType : extract", "panelType : none", "panelType : ", "gameVersion : 300",
                               "gameVersion : 4294967295", "text : Downloading launcher...", "text : "}));
}

TEST(PipePanel, ProgressOnlyOnChangeWithNegativeValuesSignExtended) {
  PipeLines out;
  CPipePanel panel;
  panel.SetProgress(5);
  panel.SetProgress(5);
  panel.SetProgress(6);
  panel.SetProgress(-1);
  panel.SetProgress(-1);
  EXPECT_EQ(out.Take(), (Lines{"progress : 5", "progress : 6", "progress : 18446744073709551615"}));
  CPipePanel fresh;
  fresh.SetProgress(-1);  // equals the initial value: nothing
  EXPECT_TRUE(out.Take().empty());
}

TEST(PipePanel, SizeAndSpeedAtMostOnceASecond) {
  PipeLines out;
  CPipePanel panel;
  panel.SetSize(10, 100);
  panel.SetSize(20, 100);
  EXPECT_EQ(out.Take(), (Lines{"size : 10/100"}));

  const std::uint32_t now = TickCount();
  panel.SetSpeed(5000, 0);        // no start tick
  panel.SetSpeed(5000, now + 50);  // start not earlier than now
  EXPECT_TRUE(out.Take().empty());
  panel.SetSpeed(5000, now - 2000);
  panel.SetSpeed(5000, now - 2000);
  Lines lines = out.Take();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("speed : ", 0), 0u);
  const long speed = std::stol(lines[0].substr(8));
  EXPECT_GE(speed, 2000);  // 5000 bytes over a little more than 2 s
  EXPECT_LE(speed, 2500);
}

TEST(PipePanel, SpeedArithmetic) {
  EXPECT_EQ(CPipePanel::Speed(1000, 1000), 1000);
  EXPECT_EQ(CPipePanel::Speed(1500, 1000), 1500);
  EXPECT_EQ(CPipePanel::Speed(999, 2000), 499);  // truncated toward zero
  EXPECT_EQ(CPipePanel::Speed(0xFFFFFFFFu, 1000), -1);  // bytes read as signed
  EXPECT_EQ(CPipePanel::Speed(0x7FFFFFFFu, 1), 2147483647);  // clamped, not overflowed
}

TEST(PipeCommands, OffMeansGoOnAndCommandsParse) {
  PipeLines out;
  QueuePipeCommand(PipeCommandCancel);
  EXPECT_TRUE(ProcessPipeCommands());  // command mode off: nothing is taken
  EXPECT_TRUE(out.Take().empty());
  EXPECT_EQ(ParsePipeCommand("pause\r\n"), PipeCommandPause);
  EXPECT_EQ(ParsePipeCommand(" Resume "), PipeCommandResume);
  EXPECT_EQ(ParsePipeCommand("CANCEL"), PipeCommandCancel);
  EXPECT_EQ(ParsePipeCommand("stop"), 0);
  EXPECT_EQ(ParsePipeCommand(""), 0);
}

TEST(PipeCommands, CancelDropsLaterCodes) {
  PipeLines out;
  g_pipeCommandMode = true;
  QueuePipeCommand(PipeCommandCancel);
  QueuePipeCommand(PipeCommandPause);
  EXPECT_FALSE(ProcessPipeCommands());
  EXPECT_EQ(out.Take(), (Lines{"command : cancel"}));
  EXPECT_TRUE(ProcessPipeCommands());  // the dropped pause is gone
  EXPECT_FALSE(g_pipePaused);
}

TEST(PipeCommands, PauseWaitsUntilResumeOrCancel) {
  PipeLines out;
  g_pipeCommandMode = true;
  QueuePipeCommand(PipeCommandPause);
  std::thread host([&] {
    while (!out.Seen("command : pause")) SleepMs(5);
    QueuePipeCommand(PipeCommandResume);
  });
  EXPECT_TRUE(ProcessPipeCommands());
  host.join();
  EXPECT_EQ(out.Take(), (Lines{"command : pause", "command : resume"}));

  QueuePipeCommand(PipeCommandPause);
  std::thread canceller([&] {
    while (!out.Seen("command : pause")) SleepMs(5);
    QueuePipeCommand(PipeCommandCancel);
  });
  EXPECT_FALSE(ProcessPipeCommands());
  canceller.join();
  EXPECT_EQ(out.Take(), (Lines{"command : pause", "command : cancel"}));
}
