// The journal of one patch run's moves, kept in the temporary folder beside the downloads.
// Each move is written (and forced to disk) before it starts, so a launcher killed at any
// moment leaves enough behind for the next start to put the game back as it was. The text
// format is described in docs/move-journal.md.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class JournalMoveKind {
  kBackup,  // a game file moved aside (replaced or removed by the run); undone by moving it back
  kNew,     // a file moved into the game; undone by deleting it
};

// Names are relative to the game directory ("data\\a.txt", "patch\\old\\data\\a.txt").
struct JournalMove {
  JournalMoveKind kind = JournalMoveKind::kNew;
  std::string gameName;
  std::string backupName;  // kBackup only
};

struct MoveJournal {
  bool hasRun = false;  // false when even the first line never reached the disk
  std::uint32_t fromVersion = 0;
  std::uint32_t toVersion = 0;
  std::vector<JournalMove> moves;
  std::vector<bool> undoStarted;  // per move: the undo of a backup began moving it back
  bool committed = false;         // the new version was written
  bool undone = false;            // every move was undone
};

// Each formatter returns one complete line with its line feed, or "" for a name the journal
// cannot hold (unsafe, too long, or carrying a control character).
std::string FormatJournalRun(std::uint32_t fromVersion, std::uint32_t toVersion);
std::string FormatJournalMove(const JournalMove& move);
std::string FormatJournalUndo(std::size_t moveIndex);
std::string FormatJournalCommit();
std::string FormatJournalUndone();

// Reads a journal's bytes. A last line without its line feed was cut by a kill and is left
// out. False for anything else that does not read as a journal: a line out of place, an
// unknown word, a bad number or name; then nothing can be trusted and nothing is undone.
bool ParseMoveJournal(const char* text, std::size_t size, MoveJournal* journal);

// Whether a run must be undone: it moved something and neither committed nor finished its
// undo. A run whose target version is already installed also counts as committed (the
// launcher was killed between the version write and the commit line).
bool JournalNeedsUndo(const MoveJournal& journal, std::uint32_t installedVersion);
