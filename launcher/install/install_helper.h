// CInstallHelper: installs the game from the installer archive beside the launcher, either
// the zip installer file or the parts the split installer file lists (joined first into
// the installer folder). Runs on the installer dialog's worker: progress goes to the
// dialog's panel, the dialog's stop flag is polled, and every file written is recorded in
// the installed-file record so that a failed installation, or a later uninstallation,
// can remove it.
//
// The installer dialog's worker, in the two local installer modes, calls
// RunLocalInstallation and nothing else; it covers the installer folder, the helper and
// the clean-up after a failure or a stop.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include <minizip/unzip.h>

#include "launcher/core/limits.h"

class IPanel;
class CVersionInfo;

// True once the user asked the work to stop (the dialog's stop flag).
using StopCheck = std::function<bool()>;

class CInstallHelper {
 public:
  // panel may be null (no progress shown); stop may be empty (never stopped).
  CInstallHelper(IPanel* panel, StopCheck stop);
  virtual ~CInstallHelper() = default;
  CInstallHelper(const CInstallHelper&) = delete;
  CInstallHelper& operator=(const CInstallHelper&) = delete;

  // The whole local installation by the launcher's mode (zip or split installer). True
  // also when the user stopped the extraction part-way: the caller checks the stop flag.
  bool Install();
  // Joins the manifest's parts, in its order, into the joined archive in the installer
  // folder, and sets archivePath (kMaxPath bytes) to it. A failed read or write fails the
  // join. The joined archive is left for the caller to delete.
  bool MergeSplitFiles(const CVersionInfo& manifest, char* archivePath);
  // Writes every entry of the open archive into the game directory. Folder entries are
  // skipped; a name that would leave the game directory, a damaged or short entry and a
  // failed write fail the installation, and the file being written is removed again.
  // The archive stays open (the caller closes it).
  bool ExtractArchive(unzFile archive, const char* archivePath);

 private:
  bool Stopped() const { return m_stop && m_stop(); }

  IPanel& m_panel;
  StopCheck m_stop;
};

// Chunk of the part copies: the size of each view of a part written into the joined
// archive; a stop is seen between chunks. A multiple of the 64 KiB at which views of a file
// may start. Views and writes from 256 KiB to 64 MiB measured alike, except 16 MiB writes,
// which were slower.
constexpr std::size_t kJoinChunk = 4 * 1024 * 1024;
// Chunk of the extraction reads through minizip.
constexpr std::size_t kExtractChunk = 1024;
// Buffer of each extracted file: one write call per 64 KiB instead of one per 4 KiB.
constexpr std::size_t kExtractFileBuffer = 64 * 1024;

// The joined archive: the installer folder joined with "talvenor_install.cab".
bool GetJoinedArchivePath(char* out, std::size_t outSize = kMaxPath);
// Deletes the joined archive, the only file the installation writes outside the game's
// own files; never the user's files beside the launcher. True when it is gone.
bool DeleteJoinedArchive();
// After a failed or stopped local installation: deletes the joined archive and every file
// recorded so far (which also empties the registry value "Files").
void CleanUpFailedInstallation();
// The installer worker's local installation (modes 3 and 4): makes a fresh installer
// folder, runs CInstallHelper::Install, removes the installer folder, and on a failure or
// a stop cleans up with CleanUpFailedInstallation. True only for a complete installation.
bool RunLocalInstallation(IPanel* panel, StopCheck stop);
