#include "tests/support/log_capture.h"

#include <algorithm>

LogCapture::LogCapture(CLauncherMgr& mgr) : mgr_(mgr), wasInitialized_(mgr.m_initialized) {
  mgr_.m_initialized = true;
  mgr_.SetLogTap(&LogCapture::Tap, this);
}

LogCapture::~LogCapture() {
  mgr_.SetLogTap(nullptr, nullptr);
  mgr_.m_initialized = wasInitialized_;
}

void LogCapture::Tap(const char* line, void* context) {
  std::string text(line);
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
  static_cast<LogCapture*>(context)->lines_.push_back(text);
}

bool LogCapture::Contains(const std::string& line) const {
  return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
}

std::string LogCapture::Joined() const {
  std::string all;
  for (const auto& l : lines_) all += l + "\n";
  return all;
}
