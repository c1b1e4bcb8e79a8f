#include "launcher/ui/prerequisite_download_win.h"

#include <commctrl.h>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/text.h"
#include "launcher/core/win_handle.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/transfer/download_mgr_win.h"
#include "launcher/ui/dialog_items.h"

namespace {

PrerequisiteStarter g_starter = nullptr;
void* g_starterContext = nullptr;

bool StartDownloaded(HWND dialog, const char* path) {
  if (g_starter != nullptr) return g_starter(dialog, path, g_starterContext);
  return reinterpret_cast<INT_PTR>(ShellExecuteA(dialog, "open", path, nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

const char* OrNull(const char* text) { return text[0] != '\0' ? text : nullptr; }

// Over FTP the server's listing gives the size, in place of the one the caller expected.
std::unique_ptr<CDownloadMgr> OpenFtp(const char* address, std::uint32_t* expected) {
  FtpAddress ftp;
  if (!ParseFtpAddress(address, &ftp)) return nullptr;
  auto mgr = std::make_unique<CDownloadMgrFtp>();
  if (!mgr->Connect(ftp.server, OrNull(ftp.user), OrNull(ftp.user) != nullptr ? ftp.password : nullptr, ftp.port) ||
      !mgr->SetCurrentDirectory(ftp.directory) || !mgr->FindFileSize(ftp.file, expected) ||
      !mgr->OpenFile(ftp.file)) {
    return nullptr;
  }
  return mgr;
}

std::unique_ptr<CDownloadMgr> OpenHttp(const char* address) {
  HttpAddress http;
  if (!ParseHttpAddress(address, &http)) {
    g_launcher.Log("CPrerequisiteDownload : no http or ftp address : \"%s\".", address);
    return nullptr;
  }
  auto mgr = std::make_unique<CDownloadMgrHttp>();
  if (!mgr->Connect(http.server, OrNull(http.user), OrNull(http.password), http.port) ||
      !mgr->SetCurrentDirectory("") || !mgr->OpenFile(http.object)) {
    return nullptr;
  }
  return mgr;
}

}  // namespace

bool CPrerequisiteDownload::OpenRemote(const char* address) {
  m_remote = IsFtpAddress(address) ? OpenFtp(address, &m_expected) : OpenHttp(address);
  if (!m_remote) return false;
  // An error page or a refused connection fails this first read: no installer to be had.
  m_firstPending = m_remote->ReadFile(m_first, sizeof(m_first), &m_firstCount);
  if (!m_firstPending) m_remote.reset();
  return m_firstPending;
}

void CPrerequisiteDownload::StartOrReport() {
  if (!StartDownloaded(Window(), m_path)) {
    g_launcher.Log("CPrerequisiteDownload : cannot open \"%s\".", m_path);
    g_launcher.ShowMessage(0, IDS_INSTALLER_NOT_OPENED, kMessageInfo);
  }
}

// The folder word names a folder under the game directory, created when missing; without
// one the file goes into the game directory itself.
bool CPrerequisiteDownload::ChooseTarget(const char* folder, const char* address) {
  char name[kMaxPath];
  if (!DownloadFileName(address, name, sizeof(name))) return false;
  char dir[kMaxPath];
  if (folder[0] != '\0') {
    if (!JoinPath(folder, dir, g_launcher.m_gameDir)) return false;
    CreateDirectoryA(dir, nullptr);
  } else if (!CopyString(dir, g_launcher.m_gameDir)) {
    return false;
  }
  return JoinPath(name, m_path, dir);
}

void CPrerequisiteDownload::EndWith(INT_PTR result) {
  KillTimer(Window(), kDownloadTimerId);
  End(result);
}

INT_PTR CPrerequisiteDownload::OnInitDialog() {
  EnableItem(Window(), kDownloadInstallId, false);
  DownloadRequest request;
  const bool parsed = ParseDownloadParameter(m_parameter, &request);
  m_expected = request.size;
  if (!parsed || !OpenRemote(request.address)) {
    g_launcher.ShowMessage(0, IDS_FILE_MISSING, kMessageInfo);
    EndWith(-1);
    return TRUE;
  }
  if (ChooseTarget(request.folder, request.address)) {
    m_local.reset(
        CreateFileA(m_path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!m_local) {
    g_launcher.Log("CPrerequisiteDownload : cannot create \"%s\".", m_path);
    g_launcher.ShowMessage(0, IDS_DOWNLOAD_FILE_NOT_CREATED, kMessageInfo);
    m_remote.reset();
    m_path[0] = '\0';
    EndWith(-1);
    return TRUE;
  }
  SendDlgItemMessageA(Window(), kDownloadProgressId, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SetTimer(Window(), kDownloadTimerId, kDownloadTickMs, nullptr);
  return TRUE;
}

// The transfer has ended: a whole file is offered for installation; anything less is
// deleted and reported, and never started.
void CPrerequisiteDownload::OnTransferEnd(bool readFailed) {
  m_local.reset();
  m_remote.reset();
  KillTimer(Window(), kDownloadTimerId);
  if (!DownloadComplete(m_total, m_expected, -1, readFailed)) {
    g_launcher.Log("CPrerequisiteDownload : \"%s\" broke off after %llu of %lu bytes.", m_path,
                   static_cast<unsigned long long>(m_total), static_cast<unsigned long>(m_expected));
    DeleteFileA(m_path);
    m_path[0] = '\0';
    g_launcher.ShowMessage(0, IDS_FILE_MISSING, kMessageInfo);
    return EndWith(-1);
  }
  SendDlgItemMessageA(Window(), kDownloadProgressId, PBM_SETPOS, 100, 0);
  if (FindItem(Window(), kDownloadInstallId) == nullptr) return EndWith(0);
  EnableItem(Window(), kDownloadInstallId, true);
  g_launcher.ShowMessage(0, IDS_COMPONENT_DOWNLOADED, kMessageInfo);
  StartOrReport();
}

void CPrerequisiteDownload::OnTick() {
  if (m_busy || !m_local) return;
  m_busy = true;
  std::uint64_t read = 0;
  bool ok = true;
  if (m_firstPending) {
    m_firstPending = false;
    read = m_firstCount;
  } else {
    ok = m_remote->ReadFile(m_first, sizeof(m_first), &read);
  }
  DWORD written = 0;
  if (ok && read > 0) {
    if (!WriteFile(m_local.get(), m_first, static_cast<DWORD>(read), &written, nullptr) || written != read) {
      g_launcher.Log("CPrerequisiteDownload : cannot write \"%s\".", m_path);
      m_busy = false;
      return OnTransferEnd(true);
    }
    m_total += read;
    if (m_expected != 0) {
      SendDlgItemMessageA(Window(), kDownloadProgressId, PBM_SETPOS,
                          static_cast<WPARAM>(DownloadPercent(m_total, m_expected)), 0);
    }
  } else {
    OnTransferEnd(!ok);
  }
  m_busy = false;
}

void CPrerequisiteDownload::OnCancel() {
  if (m_local) {
    // No block is read while the question is open: the answer decides what happens to
    // the file as it stands.
    m_busy = true;
    const int answer = g_launcher.ShowMessage(0, IDS_CANCEL_COMPONENT_INSTALL, kMessageQuestion);
    m_busy = false;
    if (answer != IDYES) return;
    m_local.reset();
    m_remote.reset();
  }
  if (m_path[0] != '\0') DeleteFileA(m_path);
  m_path[0] = '\0';
  EndWith(0);
}

// The dialog went without cancel or end (its owner was destroyed): a transfer still
// running leaves no partial file behind.
void CPrerequisiteDownload::OnDestroy() {
  if (m_local) {
    m_local.reset();
    if (m_path[0] != '\0') DeleteFileA(m_path);
    m_path[0] = '\0';
  }
  m_remote.reset();
}

INT_PTR CPrerequisiteDownload::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    case WM_TIMER:
      if (wParam == kDownloadTimerId) OnTick();
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kDownloadCancelId:
          OnCancel();
          return TRUE;
        case kDownloadInstallId:
          if (m_path[0] != '\0' && !m_local) StartOrReport();
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return CModalDialog::HandleMessage(message, wParam, lParam);
  }
}

int RunPrerequisiteDownload(HWND__* owner, const char* address, std::uint32_t size) {
  char parameter[kDownloadParameter];
  if (!FormatDownloadParameter(address, size, kDownloadFolderWord, parameter, sizeof(parameter))) {
    g_launcher.Log("RunPrerequisiteDownload() : address too long.");
    return -1;
  }
  CPrerequisiteDownload dialog(parameter);
  return static_cast<int>(dialog.Run(owner));
}

void SetPrerequisiteStarter(PrerequisiteStarter starter, void* context) {
  g_starter = starter;
  g_starterContext = context;
}
