// The panel of runs without a dialog: every event becomes one text line on standard output
// for the host process that reads the launcher's output ("keyword : value", CR LF). The host
// may send commands back (pause, resume, cancel), which the transfer loop takes between
// blocks.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "launcher/ui/panel.h"

enum PipeCommand : int {
  PipeCommandPause = 1,
  PipeCommandResume = 2,
  PipeCommandCancel = 3,
};

extern bool g_pipeCommandMode;
extern std::atomic<bool> g_pipePaused;  // read by every transfer of a run, set by one thread
extern std::deque<int> g_pipeCommands;
extern std::mutex g_pipeCommandLock;

// Appends the text and a line end to standard output and flushes it. Lines are lost
// silently once the stream has failed (the host closed the pipe, nothing redirected).
void WritePipeLine(const char* text);
// Tests see the lines here instead of standard output; null restores standard output.
using PipeLineSink = void (*)(const char* line, void* context);
void SetPipeLineSink(PipeLineSink sink, void* context);

// Queues a command code from the host (the reader thread of host mode).
void QueuePipeCommand(int code);
// Maps a line read from the host ("pause", "resume", "cancel") to its code; 0 for others.
int ParsePipeCommand(const std::string& line);

// Called for every received block: false means cancel. Waits here while the host has the
// launcher paused. Returns true at once when command mode is off.
bool ProcessPipeCommands();

class CPipePanel : public IPanel {
 public:
  void SetPanelType(PanelType type) override;
  void SetGameVersion(int version) override;
  void SetText(const char* text) override;
  void SetProgress(int percent) override;
  void SetSize(std::uint64_t done, std::uint64_t total) override;
  void SetSpeed(std::uint32_t bytes, std::uint32_t startTick) override;

  // Bytes per second as the host sees it; exposed for the tests of the arithmetic.
  static std::int32_t Speed(std::uint32_t bytes, std::uint32_t elapsedMs);

 private:
  int m_lastProgress = -1;
  std::uint32_t m_lastSizeTick = 0;
  std::uint32_t m_lastSpeedTick = 0;
};

// The one process-wide pipe panel, created on first use.
CPipePanel& GetPipePanel();
