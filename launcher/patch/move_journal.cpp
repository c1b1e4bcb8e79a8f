#include "launcher/patch/move_journal.h"

#include <cstdlib>
#include <cstring>

#include "launcher/patch/manifest_name.h"

namespace {

const char kRun[] = "run ";
const char kBackup[] = "backup ";
const char kNew[] = "new ";
const char kUndo[] = "undo ";
const char kCommit[] = "commit";
const char kUndone[] = "undone";

bool StartsWith(const std::string& line, const char* word, std::string* rest) {
  const std::size_t n = std::strlen(word);
  if (line.compare(0, n, word) != 0) return false;
  *rest = line.substr(n);
  return true;
}

// A decimal number of at most ten digits with nothing else around it.
bool ParseNumber(const std::string& text, std::uint64_t limit, std::uint64_t* value) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v > limit) return false;
  *value = v;
  return true;
}

bool ParseLine(const std::string& line, MoveJournal* journal) {
  std::string rest;
  if (!journal->hasRun) {
    if (!StartsWith(line, kRun, &rest)) return false;
    const std::size_t space = rest.find(' ');
    std::uint64_t from = 0;
    std::uint64_t to = 0;
    if (space == std::string::npos || !ParseNumber(rest.substr(0, space), 0xffffffffu, &from) ||
        !ParseNumber(rest.substr(space + 1), 0xffffffffu, &to)) {
      return false;
    }
    journal->hasRun = true;
    journal->fromVersion = static_cast<std::uint32_t>(from);
    journal->toVersion = static_cast<std::uint32_t>(to);
    return true;
  }
  // Nothing follows the end of a run.
  if (journal->committed || journal->undone) return false;
  if (StartsWith(line, kBackup, &rest)) {
    const std::size_t tab = rest.find('\t');
    if (tab == std::string::npos) return false;
    JournalMove move;
    move.kind = JournalMoveKind::kBackup;
    move.gameName = rest.substr(0, tab);
    move.backupName = rest.substr(tab + 1);
    if (!IsSafeRecordedName(move.gameName) || !IsSafeRecordedName(move.backupName)) return false;
    journal->moves.push_back(move);
    journal->undoStarted.push_back(false);
    return true;
  }
  if (StartsWith(line, kNew, &rest)) {
    if (!IsSafeRecordedName(rest)) return false;
    JournalMove move;
    move.gameName = rest;
    journal->moves.push_back(move);
    journal->undoStarted.push_back(false);
    return true;
  }
  if (StartsWith(line, kUndo, &rest)) {
    std::uint64_t index = 0;
    if (journal->moves.empty() || !ParseNumber(rest, journal->moves.size() - 1, &index)) return false;
    if (journal->moves[index].kind != JournalMoveKind::kBackup) return false;
    journal->undoStarted[index] = true;
    return true;
  }
  if (line == kCommit) {
    journal->committed = true;
    return true;
  }
  if (line == kUndone) {
    journal->undone = true;
    return true;
  }
  return false;
}

}  // namespace

std::string FormatJournalRun(std::uint32_t fromVersion, std::uint32_t toVersion) {
  return kRun + std::to_string(fromVersion) + " " + std::to_string(toVersion) + "\n";
}

std::string FormatJournalMove(const JournalMove& move) {
  if (!IsSafeRecordedName(move.gameName)) return std::string();
  if (move.kind == JournalMoveKind::kNew) return kNew + move.gameName + "\n";
  if (!IsSafeRecordedName(move.backupName)) return std::string();
  return kBackup + move.gameName + "\t" + move.backupName + "\n";
}

std::string FormatJournalUndo(std::size_t moveIndex) { return kUndo + std::to_string(moveIndex) + "\n"; }

std::string FormatJournalCommit() { return std::string(kCommit) + "\n"; }

std::string FormatJournalUndone() { return std::string(kUndone) + "\n"; }

bool ParseMoveJournal(const char* text, std::size_t size, MoveJournal* journal) {
  *journal = MoveJournal();
  if (text == nullptr) return size == 0;
  std::size_t at = 0;
  while (at < size) {
    const void* found = std::memchr(text + at, '\n', size - at);
    if (found == nullptr) break;  // cut by a kill: the line's move had not begun
    const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(found) - text);
    std::string line(text + at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('\0') != std::string::npos || !ParseLine(line, journal)) {
      *journal = MoveJournal();
      return false;
    }
    at = end + 1;
  }
  return true;
}

bool JournalNeedsUndo(const MoveJournal& journal, std::uint32_t installedVersion) {
  if (!journal.hasRun || journal.moves.empty() || journal.committed || journal.undone) return false;
  if (journal.fromVersion != journal.toVersion && installedVersion == journal.toVersion) return false;
  return true;
}
