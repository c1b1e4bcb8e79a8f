#include "launcher/patch/kept_downloads.h"

#include "launcher/core/windows_api.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "launcher/core/change_hook.h"
#include "launcher/core/clock.h"
#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/safe_file.h"
#include "launcher/core/win_handle.h"
#include "launcher/patch/patch_helper.h"
#include "launcher/transfer/file_digest.h"

namespace {

const char kRecordName[] = "downloads.txt";
const char kDraftName[] = "downloads.new";
constexpr LONGLONG kMaxRecordBytes = 1 << 26;
// A file this large is worth a record write the moment it starts or ends; smaller files
// wait for the next write, at most a second later, so that thousands of small files do
// not each rewrite the whole record (a small file lost to a kill costs little to fetch).
constexpr std::uint64_t kWriteAtOnceBytes = 1 << 20;
constexpr std::size_t kWriteAtOnceRatio = 16;  // and at least this many times the record
constexpr std::uint32_t kWriteEveryMs = 1000;
constexpr std::size_t kChildPath = 512;  // children of a 259-character folder still fit

std::string InTemporaryFolder(const std::string& name) {
  char path[kMaxPath];
  return JoinPath(name.c_str(), path, g_launcher.m_patchDir) ? std::string(path) : std::string();
}

// The walk below compares paths as the folder lists them; "/" in a manifest name is the
// same separator (no trail byte of code page 950 is "/").
std::string Normalised(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

bool SameAscii(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A name whose file in the temporary folder is the run's own (journal, record, backups,
// removed files) is never kept as a download, whatever a record says.
bool KeepableName(const std::string& name) {
  const std::size_t end = name.find_first_of("\\/");
  const std::string first = end == std::string::npos ? name : name.substr(0, end);
  const auto is = [&first](const char* word) {
    return first.size() == std::strlen(word) && SameAscii(first.c_str(), word, first.size());
  };
  if (end != std::string::npos) return !is("old") && !is("removed");
  return !is("journal.txt") && !is(kRecordName) && !is(kDraftName);
}

bool ReadRecord(DownloadRecord* record) {
  const std::string path = InTemporaryFolder(kRecordName);
  if (path.empty() || !FileExists(path.c_str())) return false;
  CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxRecordBytes) {
    g_launcher.Log("Kept downloads : fail to read \"%s\"", path.c_str());
    return false;
  }
  std::vector<char> bytes(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if ((!bytes.empty() && (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                          read != bytes.size())) ||
      !ParseDownloadRecord(bytes.data(), bytes.size(), record)) {
    g_launcher.Log("Kept downloads : \"%s\" is not a record of downloads.", path.c_str());
    return false;
  }
  return true;
}

bool SizeOnDisk(const std::string& path, std::uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

// CFile::RemoveDirectory but for the kept paths; a folder that still holds one stays.
bool RemoveAllBut(const std::string& folder, const std::set<std::string>& kept) {
  char pattern[kChildPath];
  if (!FormatString(pattern, sizeof(pattern), "%s\\*.*", folder.c_str())) return false;
  bool keptSome = false;
  {
    CDirectoryIterator entry(pattern);
    if (!entry.Next()) return true;
    do {
      if (entry.Name()[0] == '.') continue;  // as CFile::RemoveDirectory
      char child[kChildPath];
      if (!JoinPath(entry.Name(), child, folder.c_str(), sizeof(child))) return false;
      if (entry.IsFolder()) {
        if (!RemoveAllBut(child, kept)) return false;
        keptSome = keptSome || FileExists(child);
      } else if (kept.count(child) != 0) {
        keptSome = true;
      } else {
        SetFileAttributesA(child, FILE_ATTRIBUTE_NORMAL);
        NoteFileChange();
        if (!DeleteFileA(child)) {
          g_launcher.Log("CFile::RemoveDirectory() : DeleteFile(%s) failed.", child);
          return false;
        }
      }
    } while (entry.Next());
  }
  if (!keptSome) {
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::RemoveDirectoryA(folder.c_str())) g_launcher.Log("CFile::RemoveDirectory() : RemoveDirectory(%s) failed.", folder.c_str());
  }
  return true;
}

void RemoveKept(const std::string& name, const std::string& path) {
  NoteFileChange();
  DeleteFileA(path.c_str());
  g_launcher.Log("Kept download removed : %s", name.c_str());
}

}  // namespace

bool CleanTemporaryFolderKeepingDownloads() {
  const char* folder = g_launcher.m_patchDir;
  if (folder[0] == '\0' || !FileExists(folder)) return true;
  DownloadRecord record;
  std::set<std::string> kept;
  if (ReadRecord(&record)) {
    for (const RecordedDownload& file : record.files) {
      if (KeepableName(file.name)) kept.insert(Normalised(InTemporaryFolder(file.name)));
    }
  }
  if (kept.empty()) return CFile::RemoveDirectory(folder, false);
  kept.insert(InTemporaryFolder(kRecordName));
  return RemoveAllBut(folder, kept);
}

void CKeptDownloads::Settle(const std::map<std::string, PatchEntry>& downloadSet, bool canResume) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_enabled = false;
  m_record = DownloadRecord();
  m_reused.clear();
  m_resumed.clear();
  m_index.clear();
  m_bytesKept = 0;
  for (const auto& item : downloadSet) {
    if (!KeepableName(item.first)) {
      // The download itself would land on the record (or the run's own files): no record.
      g_launcher.Log("Kept downloads : none for this run, the game has a file \"%s\".", item.first.c_str());
      NoteFileChange();
      DeleteFileA(InTemporaryFolder(kRecordName).c_str());
      return;
    }
  }
  m_enabled = true;
  DownloadRecord last;
  if (!ReadRecord(&last)) last = DownloadRecord();
  for (const RecordedDownload& file : last.files) {
    const std::string path = InTemporaryFolder(file.name);
    std::uint64_t length = 0;
    if (path.empty() || !KeepableName(file.name) || !SizeOnDisk(path, &length)) continue;  // moved in, or never written
    const auto wanted = downloadSet.find(file.name);
    if (wanted == downloadSet.end() || wanted->second.size != file.size ||
        std::memcmp(wanted->second.hash, file.md5, sizeof(file.md5)) != 0 || length > file.size ||
        (length < file.size && (file.complete || !canResume || length == 0))) {
      RemoveKept(file.name, path);
      continue;
    }
    RecordedDownload stays = file;
    if (length == file.size) {
      // Whole, by the record or by its length: the disk must still hold what was checked.
      if (!CheckHashCode(path.c_str(), file.md5)) {
        RemoveKept(file.name, path);
        continue;
      }
      stays.complete = true;
      m_reused.insert(file.name);
      g_launcher.Log("Kept download verified : %s", file.name.c_str());
    } else {
      m_resumed.insert(file.name);
      g_launcher.Log("Kept download resumed : %s", file.name.c_str());
    }
    m_bytesKept += length;
    m_index[stays.name] = m_record.files.size();
    m_record.files.push_back(stays);
  }
  // The record now names only what stayed, before a download of this run can start.
  if (!last.files.empty()) Write();
}

bool CKeptDownloads::Reused(const std::string& name) const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_reused.count(name) != 0;
}

bool CKeptDownloads::Resumed(const std::string& name) const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_resumed.count(name) != 0;
}

void CKeptDownloads::Started(const PatchEntry& entry) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!m_enabled || m_index.count(entry.name) != 0) return;
  RecordedDownload file;
  file.name = entry.name;
  file.size = entry.size;
  std::memcpy(file.md5, entry.hash, sizeof(file.md5));
  m_index[file.name] = m_record.files.size();
  m_record.files.push_back(file);
  Changed(entry.size);
}

void CKeptDownloads::Completed(const PatchEntry& entry) {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto at = m_index.find(entry.name);
  if (!m_enabled || at == m_index.end() || m_record.files[at->second].complete) return;
  m_record.files[at->second].complete = true;
  Changed(entry.size);
}

void CKeptDownloads::Flush() {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_enabled && m_unwritten) Write();
}

void CKeptDownloads::FlushIfDue() {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_enabled && m_unwritten && TickCount() - m_lastWrite >= kWriteEveryMs) Write();
}

void CKeptDownloads::Changed(std::uint64_t fileSize) {
  m_unwritten = true;
  const bool large = fileSize >= kWriteAtOnceBytes && fileSize / kWriteAtOnceRatio >= m_writtenLength;
  if (large || m_lastWrite == 0 || TickCount() - m_lastWrite >= kWriteEveryMs) Write();
}

// Written beside and renamed over the last record, as the version file: a kill leaves the
// old record or the new one, never a cut one.
bool CKeptDownloads::Write() {
  m_unwritten = false;
  m_lastWrite = TickCount();
  if (m_lastWrite == 0) m_lastWrite = 1;
  const std::string text = FormatDownloadRecord(m_record);
  const std::string path = InTemporaryFolder(kRecordName);
  const std::string draft = InTemporaryFolder(kDraftName);
  if (text.empty() || path.empty() || draft.empty()) return false;
  {
    NoteFileChange();
    CFileHandle file(CreateFileA(draft.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !FlushFileBuffers(file.get())) {
      g_launcher.Log("Kept downloads : fail to write \"%s\" error code:%d", draft.c_str(), static_cast<int>(GetLastError()));
      file.reset();
      DeleteFileA(draft.c_str());
      return false;
    }
  }
  NoteFileChange();
  if (!MoveFileExA(draft.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    g_launcher.Log("Kept downloads : fail to write \"%s\" error code:%d", path.c_str(), static_cast<int>(GetLastError()));
    DeleteFileA(draft.c_str());
    return false;
  }
  m_writtenLength = text.size();
  return true;
}
