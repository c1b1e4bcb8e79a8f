// Captures what the code logs through g_launcher while the object lives. Marks the
// launcher initialised for that time (nothing is logged otherwise) and restores it after.
#pragma once
#include <string>
#include <vector>

#include "launcher/core/launcher_mgr.h"

class LogCapture {
 public:
  explicit LogCapture(CLauncherMgr& mgr = g_launcher);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The lines without their CR LF.
  const std::vector<std::string>& lines() const { return lines_; }
  bool Contains(const std::string& line) const;
  std::string Joined() const;

 private:
  static void Tap(const char* line, void* context);
  CLauncherMgr& mgr_;
  bool wasInitialized_;
  std::vector<std::string> lines_;
};
