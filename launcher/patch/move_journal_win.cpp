#include "launcher/patch/move_journal_file.h"

#include "launcher/core/windows_api.h"

#include <cstring>
#include <vector>

#include "launcher/core/change_hook.h"
#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/safe_file.h"
#include "launcher/core/version_draft.h"
#include "launcher/patch/kept_downloads.h"
#include "launcher/ui/panel.h"

namespace {

constexpr int kMessageMoveFailed = 49;
bool g_journalEnabled = true;

std::string JournalPath() {
  char path[kMaxPath];
  return JoinPath("journal.txt", path, g_launcher.m_patchDir) ? std::string(path) : std::string();
}

// The part of an absolute path below the game directory, "" when it is not below it.
std::string BelowGame(const std::string& path) {
  char prefix[kMaxPath];
  if (!JoinPath("", prefix, g_launcher.m_gameDir)) return std::string();
  const std::size_t n = std::strlen(prefix);
  if (path.size() <= n || path.compare(0, n, prefix) != 0) return std::string();
  return path.substr(n);
}

std::string InGame(const std::string& name) {
  char path[kMaxPath];
  return JoinPath(name.c_str(), path, g_launcher.m_gameDir) ? std::string(path) : std::string();
}

bool IsThere(const std::string& path) { return FileExists(path.c_str()); }

}  // namespace

void SetMoveJournalEnabled(bool enabled) { g_journalEnabled = enabled; }

bool CMoveJournalFile::Begin(std::uint32_t fromVersion, std::uint32_t toVersion) {
  m_journal = MoveJournal();
  if (!g_journalEnabled) return true;
  const std::string path = JournalPath();
  NoteFileChange();
  m_file.reset(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
  if (!m_file) {
    g_launcher.Log("CMoveJournalFile::Begin() : fail to create \"%s\" error code:%d", path.c_str(),
                   static_cast<int>(GetLastError()));
    return false;
  }
  if (!Append(FormatJournalRun(fromVersion, toVersion))) return false;
  m_journal.hasRun = true;
  m_journal.fromVersion = fromVersion;
  m_journal.toVersion = toVersion;
  return true;
}

bool CMoveJournalFile::Append(const std::string& line) {
  if (!m_file || line.empty()) return false;
  NoteFileChange();
  DWORD written = 0;
  if (!WriteFile(m_file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size() || !FlushFileBuffers(m_file.get())) {
    g_launcher.Log("CMoveJournalFile : fail to write the journal error code:%d", static_cast<int>(GetLastError()));
    return false;
  }
  return true;
}

bool CMoveJournalFile::NoteBackup(const std::string& gamePath, const std::string& backupPath) {
  if (!g_journalEnabled) return true;
  JournalMove move;
  move.kind = JournalMoveKind::kBackup;
  move.gameName = BelowGame(gamePath);
  move.backupName = BelowGame(backupPath);
  if (!Append(FormatJournalMove(move))) return false;
  m_journal.moves.push_back(move);
  m_journal.undoStarted.push_back(false);
  return true;
}

bool CMoveJournalFile::NoteNew(const std::string& gamePath) {
  if (!g_journalEnabled) return true;
  JournalMove move;
  move.gameName = BelowGame(gamePath);
  if (!Append(FormatJournalMove(move))) return false;
  m_journal.moves.push_back(move);
  m_journal.undoStarted.push_back(false);
  return true;
}

void CMoveJournalFile::Commit() {
  if (!Pending()) return;
  // Without the line the version number itself tells the next start that the run is done.
  Append(FormatJournalCommit());
  m_journal.committed = true;
  m_file.reset();
}

void CMoveJournalFile::Close() {
  if (!Pending()) {
    m_file.reset();
    return;
  }
  Append(FormatJournalCommit());
  m_journal.committed = true;
  m_file.reset();
}

bool CMoveJournalFile::Undo() {
  if (!m_file) return false;
  for (std::size_t i = m_journal.moves.size(); i-- > 0;) {
    const JournalMove& move = m_journal.moves[i];
    const std::string gamePath = InGame(move.gameName);
    if (move.kind == JournalMoveKind::kNew) {
      if (!IsThere(gamePath)) continue;
      g_launcher.Log("Rollback : delete \"%s\"...", gamePath.c_str());
      if (!SafeDeleteFile(gamePath.c_str())) return false;
      continue;
    }
    const std::string backupPath = InGame(move.backupName);
    if (!m_journal.undoStarted[i] && IsThere(gamePath)) {
      // The move aside had not finished: the game file is whole, the backup at most a copy.
      if (IsThere(backupPath)) SafeDeleteFile(backupPath.c_str());
      continue;
    }
    if (!IsThere(backupPath)) {
      // Moved back by an undo that was cut after its last step.
      if (!IsThere(gamePath)) g_launcher.Log("Rollback : \"%s\" not found.", backupPath.c_str());
      continue;
    }
    // From here on the backup is the only whole copy, even if this undo is cut mid-copy.
    if (!m_journal.undoStarted[i]) {
      if (!Append(FormatJournalUndo(i))) return false;
      m_journal.undoStarted[i] = true;
    }
    g_launcher.Log("Rollback : move \"%s\" to \"%s\"...", backupPath.c_str(), gamePath.c_str());
    // A rename within the game's volume needs no room, even on a disk that filled up.
    NoteFileChange();
    if (!MoveFileExA(backupPath.c_str(), gamePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) &&
        !SafeMoveFile(gamePath.c_str(), backupPath.c_str())) {
      return false;
    }
  }
  if (!Append(FormatJournalUndone())) return false;
  m_journal.undone = true;
  m_file.reset();
  return true;
}

bool CMoveJournalFile::Open(bool* unreadable) {
  *unreadable = false;
  m_journal = MoveJournal();
  const std::string path = JournalPath();
  if (path.empty() || !IsThere(path)) return false;
  m_file.reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
  LARGE_INTEGER size = {};
  if (!m_file || !GetFileSizeEx(m_file.get(), &size) || size.QuadPart > (1 << 26)) {
    g_launcher.Log("CMoveJournalFile::Open() : fail to read \"%s\" error code:%d", path.c_str(),
                   static_cast<int>(GetLastError()));
    *unreadable = true;
    m_file.reset();
    return false;
  }
  std::vector<char> bytes(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if ((!bytes.empty() && (!ReadFile(m_file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                          read != bytes.size())) ||
      !ParseMoveJournal(bytes.data(), bytes.size(), &m_journal)) {
    g_launcher.Log("CMoveJournalFile::Open() : \"%s\" is not a journal.", path.c_str());
    *unreadable = true;
    m_file.reset();
    return false;
  }
  // Later lines go after the last whole one: a line cut by the kill is dropped.
  std::size_t whole = bytes.size();
  while (whole > 0 && bytes[whole - 1] != '\n') --whole;
  LARGE_INTEGER at = {};
  at.QuadPart = static_cast<LONGLONG>(whole);
  if (!SetFilePointerEx(m_file.get(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file.get())) {
    *unreadable = true;
    m_file.reset();
    return false;
  }
  return true;
}

bool RecoverInterruptedRun(IPanel& panel) {
  if (g_launcher.m_patchDir[0] == '\0') return true;
  RemoveVersionDraft(g_launcher.m_gameDir);
  CMoveJournalFile journal;
  bool unreadable = false;
  if (journal.Open(&unreadable)) {
    const MoveJournal& run = journal.Journal();
    if (JournalNeedsUndo(run, static_cast<std::uint32_t>(g_launcher.ReadClientVersion()))) {
      panel.SetText("Rollback files...");
      g_launcher.Log("Recover : undo the patch from %d to %d", static_cast<int>(run.fromVersion),
                     static_cast<int>(run.toVersion));
      if (!journal.Undo()) {
        g_launcher.Log("Recover : fail to undo the patch, \"%s\" stays.", g_launcher.m_patchDir);
        g_launcher.ShowMessage(0, kMessageMoveFailed, kMessageInfo);
        return false;
      }
      g_launcher.Log("Recover : the game is back at version %d", static_cast<int>(run.fromVersion));
    }
    journal.Close();
  } else if (unreadable) {
    // Backups may be in the folder; only a person can sort them out now.
    g_launcher.ShowMessage(0, kMessageMoveFailed, kMessageInfo);
    return false;
  }
  // Whatever else a stopped run left there is no longer needed: no backup waits in it. Its
  // record of downloads and the files it names stay for the next run to reuse.
  if (FileExists(g_launcher.m_patchDir)) CleanTemporaryFolderKeepingDownloads();
  return true;
}
