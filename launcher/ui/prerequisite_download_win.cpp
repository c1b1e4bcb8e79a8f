// One download dialog at a time: its state is process-wide. The transfer is driven by the
// dialog's timer, one block per tick, so the dialog answers its buttons without a worker.
#include "launcher/ui/prerequisite_download_win.h"

#include <commctrl.h>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/text.h"
#include "launcher/core/win_handle.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/ui/dialog_paint.h"

namespace {

constexpr char kAgent[] = "Microsoft Internet Explorer";

struct DownloadState {
  CSafeInternetHandle remote;      // the file on the server
  CSafeInternetHandle connection;  // FTP only
  CInternetHandle root;
  CFileHandle local;
  char path[kMaxPath] = {};
  std::uint32_t expected = 0;
  std::int64_t announced = -1;  // Content-Length of an HTTP reply, -1 when none
  std::uint64_t total = 0;
  bool busy = false;

  // The remote side first: a handle is closed before the one it was opened from.
  void CloseRemote() {
    remote.reset();
    connection.reset();
    root.reset();
  }
};

DownloadState g_download;

PrerequisiteStarter g_starter = nullptr;
void* g_starterContext = nullptr;

bool StartDownloaded(HWND dialog, const char* path) {
  if (g_starter != nullptr) return g_starter(dialog, path, g_starterContext);
  return reinterpret_cast<INT_PTR>(ShellExecuteA(dialog, "open", path, nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

void StartOrReport(HWND dialog) {
  if (!StartDownloaded(dialog, g_download.path)) {
    g_launcher.Log("DownloadDialogProc() : cannot open \"%s\".", g_download.path);
    g_launcher.ShowMessage(0, IDS_INSTALLER_NOT_OPENED, kMessageInfo);
  }
}

bool OpenFtp(const char* address) {
  FtpAddress ftp;
  if (!ParseFtpAddress(address, &ftp)) return false;
  g_download.root.reset(InternetOpenA(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!g_download.root) return false;
  g_download.connection.reset(InternetConnectA(g_download.root.get(), ftp.server, ftp.port,
                                               ftp.user[0] != '\0' ? ftp.user : nullptr,
                                               ftp.user[0] != '\0' ? ftp.password : nullptr, INTERNET_SERVICE_FTP,
                                               INTERNET_FLAG_PASSIVE, 0));
  if (!g_download.connection || !FtpSetCurrentDirectoryA(g_download.connection.get(), ftp.directory)) return false;
  WIN32_FIND_DATAA found = {};
  {
    CInternetHandle search(FtpFindFirstFileA(g_download.connection.get(), ftp.file, &found,
                                             INTERNET_FLAG_RELOAD, 0));
    if (!search) return false;
  }
  g_download.expected = found.nFileSizeLow;
  g_download.remote.reset(FtpOpenFileA(g_download.connection.get(), ftp.file, GENERIC_READ,
                                       FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0));
  return static_cast<bool>(g_download.remote);
}

bool OpenUrl(const char* address) {
  g_download.root.reset(InternetOpenA(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!g_download.root) return false;
  g_download.remote.reset(InternetOpenUrlA(g_download.root.get(), address, nullptr, 0,
                                           INTERNET_FLAG_RAW_DATA | INTERNET_FLAG_NO_CACHE_WRITE, 0));
  if (!g_download.remote) return false;
  // An error page is no installer: only a plain 200 reply is the file.
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (HttpQueryInfoA(g_download.remote.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                     nullptr)) {
    if (status != HTTP_STATUS_OK) {
      g_launcher.Log("DownloadDialogProc() : \"%s\" answered %lu.", address, static_cast<unsigned long>(status));
      return false;
    }
    char length[32] = {};
    DWORD lengthSize = sizeof(length);
    if (HttpQueryInfoA(g_download.remote.get(), HTTP_QUERY_CONTENT_LENGTH, length, &lengthSize, nullptr)) {
      g_download.announced = static_cast<std::int64_t>(_strtoui64(length, nullptr, 10));
    }
  }
  return true;
}

// The folder word names a folder under the game directory, created when missing; without
// one the file goes into the game directory itself.
bool ChooseTarget(const char* folder, const char* address) {
  char name[kMaxPath];
  if (!DownloadFileName(address, name, sizeof(name))) return false;
  char dir[kMaxPath];
  if (folder[0] != '\0') {
    if (!JoinPath(folder, dir, g_launcher.m_gameDir)) return false;
    CreateDirectoryA(dir, nullptr);
  } else if (!CopyString(dir, g_launcher.m_gameDir)) {
    return false;
  }
  return JoinPath(name, g_download.path, dir);
}

void EndWith(HWND dialog, INT_PTR result) {
  KillTimer(dialog, kDownloadTimerId);
  EndDialog(dialog, result);
}

void OnInit(HWND dialog, const char* parameter) {
  g_download.CloseRemote();
  g_download.local.reset();
  g_download.path[0] = '\0';
  g_download.total = 0;
  g_download.expected = 0;
  g_download.announced = -1;
  g_download.busy = false;
  EnableWindow(GetDlgItem(dialog, kDownloadInstallId), FALSE);

  DownloadRequest request;
  const bool parsed = ParseDownloadParameter(parameter, &request);
  g_download.expected = request.size;
  const bool opened = parsed && (IsFtpAddress(request.address) ? OpenFtp(request.address) : OpenUrl(request.address));
  if (!opened) {
    g_launcher.ShowMessage(0, IDS_FILE_MISSING, kMessageInfo);
    g_download.CloseRemote();
    return EndWith(dialog, -1);
  }
  if (ChooseTarget(request.folder, request.address)) {
    g_download.local.reset(CreateFileA(g_download.path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!g_download.local) {
    g_launcher.Log("DownloadDialogProc() : cannot create \"%s\".", g_download.path);
    g_launcher.ShowMessage(0, IDS_DOWNLOAD_FILE_NOT_CREATED, kMessageInfo);
    g_download.CloseRemote();
    g_download.path[0] = '\0';
    return EndWith(dialog, -1);
  }
  SendDlgItemMessageA(dialog, kDownloadProgressId, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SetTimer(dialog, kDownloadTimerId, kDownloadTickMs, nullptr);
}

// The transfer has ended: a whole file is offered for installation; anything less is
// deleted and reported, and never started.
void OnTransferEnd(HWND dialog, bool readFailed) {
  g_download.local.reset();
  g_download.CloseRemote();
  KillTimer(dialog, kDownloadTimerId);
  if (!DownloadComplete(g_download.total, g_download.expected, g_download.announced, readFailed)) {
    g_launcher.Log("DownloadDialogProc() : \"%s\" broke off after %llu of %lu bytes.", g_download.path,
                   static_cast<unsigned long long>(g_download.total), static_cast<unsigned long>(g_download.expected));
    DeleteFileA(g_download.path);
    g_download.path[0] = '\0';
    g_launcher.ShowMessage(0, IDS_FILE_MISSING, kMessageInfo);
    return EndWith(dialog, -1);
  }
  SendDlgItemMessageA(dialog, kDownloadProgressId, PBM_SETPOS, 100, 0);
  HWND install = GetDlgItem(dialog, kDownloadInstallId);
  if (install == nullptr) return EndWith(dialog, 0);
  EnableWindow(install, TRUE);
  g_launcher.ShowMessage(0, IDS_COMPONENT_DOWNLOADED, kMessageInfo);
  StartOrReport(dialog);
}

void OnTick(HWND dialog) {
  if (g_download.busy || !g_download.local) return;
  g_download.busy = true;
  char block[kDownloadBlock];
  DWORD read = 0;
  const bool ok = InternetReadFile(g_download.remote.get(), block, sizeof(block), &read) != FALSE;
  DWORD written = 0;
  if (ok && read > 0) {
    if (!WriteFile(g_download.local.get(), block, read, &written, nullptr) || written != read) {
      g_launcher.Log("DownloadDialogProc() : cannot write \"%s\".", g_download.path);
      g_download.busy = false;
      return OnTransferEnd(dialog, true);
    }
    g_download.total += read;
    if (g_download.expected != 0) {
      SendDlgItemMessageA(dialog, kDownloadProgressId, PBM_SETPOS,
                          static_cast<WPARAM>(DownloadPercent(g_download.total, g_download.expected)), 0);
    }
  } else {
    OnTransferEnd(dialog, !ok);
  }
  g_download.busy = false;
}

void OnCancel(HWND dialog) {
  if (g_download.local) {
    // No block is read while the question is open: the answer decides what happens to
    // the file as it stands.
    g_download.busy = true;
    const int answer = g_launcher.ShowMessage(0, IDS_CANCEL_COMPONENT_INSTALL, kMessageQuestion);
    g_download.busy = false;
    if (answer != IDYES) return;
    g_download.local.reset();
    g_download.CloseRemote();
  }
  if (g_download.path[0] != '\0') DeleteFileA(g_download.path);
  g_download.path[0] = '\0';
  EndWith(dialog, 0);
}

// The dialog went without cancel or end (its owner was destroyed): a transfer still
// running leaves no partial file behind.
void OnDestroy() {
  if (g_download.local) {
    g_download.local.reset();
    if (g_download.path[0] != '\0') DeleteFileA(g_download.path);
    g_download.path[0] = '\0';
  }
  g_download.CloseRemote();
}

}  // namespace

INT_PTR CALLBACK DownloadDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit(dialog, reinterpret_cast<const char*>(lParam));
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    case WM_TIMER:
      if (wParam == kDownloadTimerId) OnTick(dialog);
      return TRUE;
    case WM_PAINT:
    case WM_DRAWITEM:
      return PaintModalDialogMessage(dialog, message, lParam) ? TRUE : FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kDownloadCancelId:
          OnCancel(dialog);
          return TRUE;
        case kDownloadInstallId:
          if (g_download.path[0] != '\0' && !g_download.local) StartOrReport(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

int RunPrerequisiteDownload(HWND__* owner, const char* address, std::uint32_t size) {
  char parameter[kDownloadParameter];
  if (!FormatDownloadParameter(address, size, kDownloadFolderWord, parameter, sizeof(parameter))) {
    g_launcher.Log("RunPrerequisiteDownload() : address too long.");
    return -1;
  }
  return static_cast<int>(DialogBoxParamA(g_launcher.m_hInstance, MAKEINTRESOURCEA(kDownloadTemplate), owner,
                                          &DownloadDialogProc, reinterpret_cast<LPARAM>(parameter)));
}

void SetPrerequisiteStarter(PrerequisiteStarter starter, void* context) {
  g_starter = starter;
  g_starterContext = context;
}
