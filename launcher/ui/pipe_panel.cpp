#include "launcher/ui/pipe_panel.h"

#include <cinttypes>
#include <cstdio>
#include <limits>

#include "launcher/core/clock.h"
#include "launcher/core/text.h"

bool g_pipeCommandMode = false;
std::atomic<bool> g_pipePaused{false};
std::deque<int> g_pipeCommands;
std::mutex g_pipeCommandLock;

namespace {

PipeLineSink g_sink = nullptr;
void* g_sinkContext = nullptr;

// Values go out as unsigned 64-bit decimals: signed ones sign-extended first, so -1 reads
// as 18446744073709551615 on the host's side.
std::uint64_t Widen(std::int64_t value) { return static_cast<std::uint64_t>(value); }

void WriteValueLine(const char* keyword, std::uint64_t value) {
  char line[64];
  FormatString(line, sizeof(line), "%s : %" PRIu64, keyword, value);
  WritePipeLine(line);
}

std::deque<int> TakeCommands() {
  std::deque<int> taken;
  std::lock_guard<std::mutex> lock(g_pipeCommandLock);
  taken.swap(g_pipeCommands);
  return taken;
}

// One step of a pause: takes the queued codes, then waits 100 ms. False: cancelled.
bool PausePoll() {
  for (int code : TakeCommands()) {
    if (code == PipeCommandResume) {
      g_pipePaused = false;
      WritePipeLine("command : resume");
    } else if (code == PipeCommandCancel) {
      WritePipeLine("command : cancel");
      return false;
    }
  }
  SleepMs(100);
  return true;
}

}  // namespace

void SetPipeLineSink(PipeLineSink sink, void* context) {
  g_sink = sink;
  g_sinkContext = context;
}

void WritePipeLine(const char* text) {
  if (text == nullptr) text = "";
  if (g_sink != nullptr) {
    g_sink(text, g_sinkContext);
    return;
  }
  // Standard output is in text mode on Windows: "\n" reaches the pipe as CR LF.
  if (std::ferror(stdout)) return;
  std::fputs(text, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void QueuePipeCommand(int code) {
  std::lock_guard<std::mutex> lock(g_pipeCommandLock);
  g_pipeCommands.push_back(code);
}

int ParsePipeCommand(const std::string& line) {
  std::string word = line;
  while (!word.empty() && (word.back() == '\r' || word.back() == '\n' || word.back() == ' ' || word.back() == '\t')) {
    word.pop_back();
  }
  std::size_t start = word.find_first_not_of(" \t");
  word = start == std::string::npos ? "" : word.substr(start);
  if (EqualsNoCase(word.c_str(), "pause")) return PipeCommandPause;
  if (EqualsNoCase(word.c_str(), "resume")) return PipeCommandResume;
  if (EqualsNoCase(word.c_str(), "cancel")) return PipeCommandCancel;
  return 0;
}

bool ProcessPipeCommands() {
  if (!g_pipeCommandMode) return true;
  for (int code : TakeCommands()) {
    if (code == PipeCommandPause) {
      g_pipePaused = true;
      WritePipeLine("command : pause");
    } else if (code == PipeCommandCancel) {
      WritePipeLine("command : cancel");
      return false;
    }
  }
  while (g_pipePaused) {
    if (!PausePoll()) return false;
  }
  return true;
}

void CPipePanel::SetPanelType(PanelType type) {
  switch (type) {
    case PanelGeneral:
      WritePipeLine("panelType : general");
      break;
    case PanelDownload:
      WritePipeLine("panelType : download");
      break;
    case PanelExtract:
      WritePipeLine("speed : 0");
      WritePipeLine("size : 0/0");
      WritePipeLine("panelType : extract");
      break;
    case PanelNone:
      WritePipeLine("panelType : none");
      break;
    default:
      WritePipeLine("panelType : ");
      break;
  }
}

void CPipePanel::SetGameVersion(int version) {
  WriteValueLine("gameVersion", static_cast<std::uint32_t>(version));
}

void CPipePanel::SetText(const char* text) {
  std::string line = "text : ";
  line += text != nullptr ? text : "";
  WritePipeLine(line.c_str());
}

void CPipePanel::SetProgress(int percent) {
  if (percent == m_lastProgress) return;
  m_lastProgress = percent;
  WriteValueLine("progress", Widen(percent));
}

void CPipePanel::SetSize(std::uint64_t done, std::uint64_t total) {
  const std::uint32_t now = TickCount();
  if (now - m_lastSizeTick < 1000) return;
  m_lastSizeTick = now;
  char line[96];
  FormatString(line, sizeof(line), "size : %" PRIu64 "/%" PRIu64, done, total);
  WritePipeLine(line);
}

std::int32_t CPipePanel::Speed(std::uint32_t bytes, std::uint32_t elapsedMs) {
  const float seconds = static_cast<float>(elapsedMs) / 1000.0f;
  const float speed = static_cast<float>(static_cast<std::int32_t>(bytes)) / seconds;
  // A burst over a millisecond or two can exceed 32 bits; clamp instead of overflowing.
  if (!(speed < 2147483647.0f)) return std::numeric_limits<std::int32_t>::max();
  if (!(speed > -2147483648.0f)) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(speed);
}

void CPipePanel::SetSpeed(std::uint32_t bytes, std::uint32_t startTick) {
  const std::uint32_t now = TickCount();
  if (startTick == 0 || startTick >= now || now - m_lastSpeedTick < 1000) return;
  m_lastSpeedTick = now;
  WriteValueLine("speed", Widen(Speed(bytes, now - startTick)));
}

CPipePanel& GetPipePanel() {
  static CPipePanel* panel = new CPipePanel();  // never destroyed: lines may come until exit
  return *panel;
}
