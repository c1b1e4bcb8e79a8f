// The move journal of a patch run on disk ("journal.txt" in the temporary folder) and the
// recovery that undoes an interrupted run. Each line is forced to disk before the move it
// names starts: whatever moment a kill comes, the journal names every file the run may have
// touched.
#pragma once
#include <cstdint>
#include <string>

#include "launcher/core/win_handle.h"
#include "launcher/patch/move_journal.h"

class IPanel;

class CMoveJournalFile {
 public:
  // Starts the journal of a run from one version to another; false (logged) when it cannot
  // be written, and then nothing may be moved.
  bool Begin(std::uint32_t fromVersion, std::uint32_t toVersion);
  // Before moving a game file aside, and before moving a new file in (absolute paths).
  bool NoteBackup(const std::string& gamePath, const std::string& backupPath);
  bool NoteNew(const std::string& gamePath);
  // After the new version was written: nothing is undone any more.
  void Commit();
  // The run ended as the game's state stands (stopped after its moves): nothing is undone.
  void Close();
  // Undoes every move, newest first, each step logged. True when the game is as it was
  // before the run; false (logged) when a step could not be done: the backups then stay in
  // the temporary folder, and so does the journal for the next start.
  bool Undo();
  // Begun and neither committed, closed nor undone.
  bool Pending() const { return static_cast<bool>(m_file) && !m_journal.committed && !m_journal.undone; }

  // Reads the journal a killed run left; false when there is none or it cannot be read
  // (the reason is logged; *unreadable tells which).
  bool Open(bool* unreadable);
  const MoveJournal& Journal() const { return m_journal; }

 private:
  bool Append(const std::string& line);

  CFileHandle m_file;
  MoveJournal m_journal;
};

// Benchmark builds compare runs with and without the journal; every other build keeps it.
void SetMoveJournalEnabled(bool enabled);

// Looks for the journal of an interrupted run before anything else of a launch that may
// patch, and undoes that run. The temporary folder is removed only after a journal's run is
// settled. False (string 49 shown, temporary folder kept) when a step could not be done.
bool RecoverInterruptedRun(IPanel& panel);
