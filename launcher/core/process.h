// Starting programs (the game client, the installed launcher, the self-remover) and the
// small event the panels use as a lock. No Windows header: pure code takes the lock too.
#pragma once

class CProcess {
 public:
  // Starts the command line (its first token names the program) in workingDir (null: the
  // caller's). The launcher neither waits for the program nor keeps its handles.
  static bool CreateProcess(const char* commandLine, const char* workingDir);
};

// An auto-reset event created signalled: Wait takes the lock, Set gives it back.
class CEvent {
 public:
  CEvent() = default;
  ~CEvent() { Close(); }
  CEvent(const CEvent&) = delete;
  CEvent& operator=(const CEvent&) = delete;

  bool Create();
  void Wait();  // no time limit
  void Set();
  void Close();

 private:
  void* m_handle = nullptr;
};
