// The prerequisite download (XML library or DirectX installer): a modal dialog that
// fetches one installer over HTTP or FTP, one block per timer tick, and starts it once it
// is complete. This header holds the text handling; the dialog is in
// prerequisite_download_win.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include "launcher/resources/resource_ids.h"


#include "launcher/core/limits.h"

struct HWND__;

constexpr int kDownloadTemplate = IDD_PREREQUISITE_DOWNLOAD;
constexpr int kDownloadProgressId = IDC_DOWNLOAD_PROGRESS;  // progress bar, 0 to 100
constexpr int kDownloadInstallId = IDC_DOWNLOAD_INSTALL;    // "@安裝": starts the downloaded file again
constexpr int kDownloadCancelId = IDC_DOWNLOAD_CANCEL;      // "取消"
constexpr unsigned kDownloadTimerId = 0;
constexpr unsigned kDownloadTickMs = 62;
constexpr std::uint32_t kPrerequisiteBlock = 4096;  // bytes read per tick
constexpr std::size_t kDownloadParameter = 512;  // "%s %u %s" handed to the dialog
constexpr std::size_t kDownloadWord = 264;       // address and folder word, 263 characters
constexpr std::size_t kFtpCredential = 32;       // user name, password: 31 characters
constexpr std::size_t kFtpPart = 128;            // server, directory, file: 127 characters
// The folder word the prerequisite page passes; only its first word arrives.
constexpr const char kDownloadFolderWord[] = "Talvenor Installer";

struct DownloadRequest {
  char address[kDownloadWord] = {};
  std::uint32_t size = 0;  // expected bytes; 0 when unknown
  char folder[kDownloadWord] = {};
};

// "%s %u %s" of address, size and folder word into out; false when it does not fit.
bool FormatDownloadParameter(const char* address, std::uint32_t size, const char* folder, char* out,
                             std::size_t outSize);
// Splits the parameter into its three blank-free words. False without an address, or when
// the address or folder word is longer than 263 characters. A missing or unreadable size
// is 0; a missing folder word is "".
bool ParseDownloadParameter(const char* parameter, DownloadRequest* out);

struct FtpAddress {
  char user[kFtpCredential] = {};      // "" means anonymous
  char password[kFtpCredential] = {};
  char server[kFtpPart] = {};
  std::uint16_t port = 21;
  char directory[kFtpPart] = {};       // from the first "/" after the host up to the last "/"
  char file[kFtpPart] = {};
};

bool IsFtpAddress(const char* address);
// "ftp://[user:password@]server[:port]/directory/file". False when a part is missing or
// too long.
bool ParseFtpAddress(const char* address, FtpAddress* out);

struct HttpAddress {
  char user[kMaxPath] = {};  // "" when the address gives none
  char password[kMaxPath] = {};
  char server[kMaxPath] = {};
  std::uint16_t port = 80;
  char object[kMaxPath] = {};  // the path from its first "/" on, query included; "/" when none
};

// "http://[user:password@]server[:port][/path]". False for any other scheme, without a
// server, or with a port that is no number from 1 to 65535.
bool ParseHttpAddress(const char* address, HttpAddress* out);

// The local name of a download: the address's last path component, without a query or
// fragment. False when there is none, or when it could leave the target folder or is no
// file name Windows accepts.
bool DownloadFileName(const char* address, char* out, std::size_t outSize);

// Percentage of the transfer for the progress bar (0 to 100); 0 when the size is unknown.
int DownloadPercent(std::uint64_t received, std::uint32_t expected);

// Whether a finished transfer is the whole file: the expected size (when known) and the
// length the server announced (when it did) must both have arrived, and the last read
// must have ended with the data, not with an error. Nothing at all is never a file.
bool DownloadComplete(std::uint64_t received, std::uint32_t expected, std::int64_t announced, bool readFailed);

// Runs template 111 modally for one download. Ends with -1 when nothing could be
// downloaded or the transfer failed, 0 when cancelled, closed or (without an install
// button) finished.
int RunPrerequisiteDownload(HWND__* owner, const char* address, std::uint32_t size);

// Starts a downloaded installer. The default opens it with the shell; tests observe it.
using PrerequisiteStarter = bool (*)(HWND__* dialog, const char* path, void* context);
void SetPrerequisiteStarter(PrerequisiteStarter starter, void* context);
