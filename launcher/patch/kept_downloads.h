// Downloads that survive a stopped run. A patch run keeps its record of downloads
// ("downloads.txt", launcher/patch/download_record.h) in the temporary folder; when a run is
// killed, stopped or cut off, the next one keeps the files the record names instead of
// emptying the folder, reuses the whole ones whose digest it still wants, and resumes the
// partial ones over HTTP. docs/kept-downloads.md describes the record and the rules.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "launcher/patch/download_record.h"

struct PatchEntry;

// Empties the temporary folder but for the record and the files it names (never a journal,
// a backup or a removed file: those are the journal recovery's, which has run before). A
// folder without a readable record goes whole, as before. False when something could not
// be removed.
bool CleanTemporaryFolderKeepingDownloads();

// The record of one run's download stage; the transfers report to it from their threads.
class CKeptDownloads {
 public:
  // Before the first download: each file the last run kept is compared with this run's
  // download set. A whole file of the same size and digest (checked again on disk) is
  // reused, a partial one of the same expected digest is resumed when canResume; every
  // other kept file is deleted. The record then names what stays.
  void Settle(const std::map<std::string, PatchEntry>& downloadSet, bool canResume);
  bool Reused(const std::string& name) const;
  bool Resumed(const std::string& name) const;
  // Bytes of the download set already in the temporary folder.
  std::uint64_t BytesKept() const { return m_bytesKept; }

  // A download begins (named as still arriving) and ends whole and checked.
  void Started(const PatchEntry& entry);
  void Completed(const PatchEntry& entry);
  // Writes what the record does not hold yet: at the stage's end, and (FlushIfDue) from the
  // progress of a long transfer, once the last write is a second old.
  void Flush();
  void FlushIfDue();

 private:
  void Changed(std::uint64_t fileSize);
  bool Write();

  mutable std::mutex m_lock;
  bool m_enabled = false;
  DownloadRecord m_record;
  std::map<std::string, std::size_t> m_index;  // name -> place in m_record
  std::set<std::string> m_reused;
  std::set<std::string> m_resumed;
  std::uint64_t m_bytesKept = 0;
  bool m_unwritten = false;
  std::size_t m_writtenLength = 0;
  std::uint32_t m_lastWrite = 0;
};
