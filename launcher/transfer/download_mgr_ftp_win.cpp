#include "launcher/core/windows_api.h"

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/text.h"
#include "launcher/transfer/download_mgr_win.h"

namespace {

int LastError() { return static_cast<int>(GetLastError()); }

// Connection aborted, reset or refused: a dropped control connection worth rebuilding.
bool IsConnectionLost(int code) { return code == 12029 || code == 12030 || code == 12031; }

std::optional<std::string> SavedText(const char* text) {
  return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

const char* OrNull(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

}  // namespace

CDownloadMgrFtp::~CDownloadMgrFtp() { Disconnect(); }

bool CDownloadMgrFtp::Connect(const char* host, const char* user, const char* password, std::int32_t port) {
  if (host == nullptr) return false;
  Disconnect();
  if (port == 0) port = INTERNET_DEFAULT_FTP_PORT;
  if (!m_session.Open("CDownloadMgrFtp", host, user, password, port, INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE,
                      StallLimit())) {
    return false;
  }
  m_host = host;
  m_user = SavedText(user);
  m_password = SavedText(password);
  m_port = port;
  return true;
}

bool CDownloadMgrFtp::Disconnect() {
  CloseFile();
  m_session.Close();
  m_host.reset();
  m_user.reset();
  m_password.reset();
  m_port = 0;
  return true;
}

bool CDownloadMgrFtp::SetCurrentDirectory(const char* directory) {
  if (directory == nullptr || !m_session) return false;
  if (!FitsPath("CDownloadMgrFtp::SetCurrentDirectory()", "directory", directory)) return false;
  char converted[kMaxPath];
  CopyString(converted, directory);
  ToForwardSlashes(converted);
  if (!FtpSetCurrentDirectoryA(m_session.connection(), converted)) {
    g_launcher.Log("CDownloadMgrFtp::SetCurrentDirectory() : FtpSetCurrentDirectory(%s) failed.", converted);
    return false;
  }
  g_launcher.Log("Current ftp directory : \"%s\".", converted);
  m_currentDir = directory;
  return true;
}

bool CDownloadMgrFtp::OpenFile(const char* name) {
  if (name == nullptr || !m_session) return false;
  if (m_file) {
    g_launcher.Log("CDownloadMgrFtp::OpenFile() : already opened.");
    return false;
  }
  if (!FitsPath("CDownloadMgrFtp::OpenFile()", "name", name)) return false;
  char converted[kMaxPath];
  CopyString(converted, name);
  ToForwardSlashes(converted);
  m_following = CallResult{};
  ClearGiveUp();
  for (bool reconnected = false;;) {
    m_file.reset(OpenRemoteFile(converted));
    if (m_file) return true;
    const int code = LastError();
    g_launcher.Log("CDownloadMgrFtp::OpenFile() : FtpOpenFile(%s) failed : code%d", converted, code);
    if (StallLimit() > 0 && IsStallError(static_cast<DWORD>(code))) SetStalled(true);
    if (reconnected || !IsConnectionLost(code) || !Reconnect()) return false;
    reconnected = true;
  }
}

HINTERNET CDownloadMgrFtp::OpenRemoteFile(const char* name) {
  return FtpOpenFileA(m_session.connection(), name, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0);
}

bool CDownloadMgrFtp::Reconnect() {
  if (!m_host) {
    g_launcher.Log("address to reconnect was not given.");
    return false;
  }
  g_launcher.Log("Reconnect to \"%s\"...", m_host->c_str());
  // Connect begins by forgetting the saved address: work from copies.
  const std::string host = *m_host;
  const std::optional<std::string> user = m_user;
  const std::optional<std::string> password = m_password;
  if (!Connect(host.c_str(), OrNull(user), OrNull(password), m_port)) return false;
  if (m_currentDir.empty()) return true;
  const std::string directory = m_currentDir;
  return SetCurrentDirectory(directory.c_str());
}

bool CDownloadMgrFtp::FindFileSize(const char* name, std::uint32_t* size) {
  if (name == nullptr || size == nullptr || !m_session || m_file) return false;
  if (!FitsPath("CDownloadMgrFtp::FindFileSize()", "name", name)) return false;
  WIN32_FIND_DATAA found = {};
  // One request at a time on an FTP connection: the search ends before anything is opened.
  CInternetHandle search(FtpFindFirstFileA(m_session.connection(), name, &found, INTERNET_FLAG_RELOAD, 0));
  if (!search) return false;
  *size = found.nFileSizeLow;
  return true;
}

bool CDownloadMgrFtp::CloseFile() {
  if (!m_file) return false;
  m_file.reset();
  m_following = CallResult{};
  return true;
}

bool CDownloadMgrFtp::ReadFile(void* buffer, std::uint32_t size, std::uint64_t* read) {
  if (!m_file || buffer == nullptr || size == 0 || read == nullptr) return false;
  DWORD count = 0;
  // Wine's WinINet waits on the data connection with no limit, and for the whole block: over
  // a link slower than a block per limit its read is given up on as a stall.
  CallRequest request;
  request.handle = m_file.get();
  request.read = true;
  request.buffer = buffer;
  request.size = size;
  bool sendFailed = false;
  const CallOutcome outcome =
      ReadBlock(m_calls, &m_following, request, StopFlag(), NoReturnLimit(), &count, &sendFailed);
  switch (outcome) {
    case CallOutcome::kSucceeded:
      *read = count;
      return true;
    case CallOutcome::kFailed: {
      const DWORD code = GetLastError();
      g_launcher.Log("CDownloadMgrFtp::ReadFile() : ReadFile() failed : code%d", static_cast<int>(code));
      if (StallLimit() > 0 && IsStallError(code)) SetStalled(true);
      return false;
    }
    case CallOutcome::kStopped:
    case CallOutcome::kNoReturn:
      break;
  }
  NoteGiveUp(GiveUpCall("CDownloadMgrFtp::ReadFile()", "ReadFile", outcome, m_calls, m_file, m_session));
  return false;
}
