// Fuzzes the journal parse: whatever it accepts holds only safe names and reads back the same
// when written out again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "launcher/patch/move_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MoveJournal journal;
  if (!ParseMoveJournal(reinterpret_cast<const char*>(data), size, &journal) || !journal.hasRun) return 0;
  std::string text = FormatJournalRun(journal.fromVersion, journal.toVersion);
  for (std::size_t i = 0; i < journal.moves.size(); ++i) {
    const std::string line = FormatJournalMove(journal.moves[i]);
    if (line.empty()) __builtin_trap();
    text += line;
  }
  for (std::size_t i = 0; i < journal.moves.size(); ++i) {
    if (journal.undoStarted[i]) text += FormatJournalUndo(i);
  }
  if (journal.committed) text += FormatJournalCommit();
  if (journal.undone) text += FormatJournalUndone();
  MoveJournal again;
  if (!ParseMoveJournal(text.data(), text.size(), &again) || again.moves.size() != journal.moves.size() ||
      again.undoStarted != journal.undoStarted || again.committed != journal.committed ||
      again.undone != journal.undone || again.fromVersion != journal.fromVersion) {
    __builtin_trap();
  }
  return 0;
}
