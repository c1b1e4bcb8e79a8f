// The manager factory and the two transfer routines shared by FTP and HTTP.
#include "launcher/core/windows_api.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/text.h"
#include "launcher/transfer/download_mgr_win.h"

namespace {

constexpr DWORD kRetryPauseMs = 1000;
constexpr int kGetFileRetries = 3;
constexpr int kOpenAttempts = 3;
constexpr int kReadAttempts = 10;

}  // namespace

CDownloadMgr* CDownloadMgr::CreateDownloadMgr(const char* address, ServerAddress* out) {
  if (address == nullptr) {
    g_launcher.Log("CDownloadMgr::CreateDownloadMgr() : input string is null");
    return nullptr;
  }
  ServerAddress scratch;
  if (out == nullptr) out = &scratch;
  if (!ParseServerAddress(address, out)) {
    g_launcher.Log("CDownloadMgr::CreateDownloadMgr() : address too long : \"%.64s...\"", address);
    return nullptr;
  }
  const DownloadProtocol protocol = ProtocolForPort(out->port);
  g_launcher.Log(protocol == kProtocolHttp ? "protocol : http" : "protocol : ftp");
  return CreateDownloadMgr(protocol);
}

CDownloadMgr* CDownloadMgr::CreateDownloadMgr(int protocol) {
  switch (protocol) {
    case kProtocolFtp:
      return new (std::nothrow) CDownloadMgrFtp();
    case kProtocolHttp:
      return new (std::nothrow) CDownloadMgrHttp();
    default:
      g_launcher.Log("CDownloadMgr::CreateDownloadMgr() : invalid protocol : %d", protocol);
      return nullptr;
  }
}

bool CInternetSession::Open(const char* owner, const char* host, const char* user, const char* password,
                            std::int32_t port, DWORD service, DWORD flags, std::uint32_t stallLimitMs) {
  char where[64];
  FormatString(where, sizeof(where), "%s::Connect()", owner);
  if (!FitsPath(where, "host", host) || !FitsPath(where, "user", user) || !FitsPath(where, "password", password)) {
    return false;
  }
  if (port <= 0 || port > 65535) {
    g_launcher.Log("%s : invalid port : %d", where, port);
    return false;
  }
  g_launcher.Log("Connect to \"%s\"...", host);
  m_root.reset(InternetOpenA("Microsoft Internet Explorer", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!m_root) {
    g_launcher.Log("%s : InternetOpen() failed : code%d", where, static_cast<int>(GetLastError()));
    return false;
  }
  if (service == INTERNET_SERVICE_FTP) g_launcher.Log("Open session...");
  m_connection.reset(InternetConnectA(m_root.get(), host, static_cast<INTERNET_PORT>(port), user, password, service,
                                      flags, 0));
  if (!m_connection) {
    g_launcher.Log("%s : InternetConnect() failed : code%d", where, static_cast<int>(GetLastError()));
    Close();
    return false;
  }
  if (stallLimitMs > 0) {
    // On the connection, before any request: its requests take the limit for every wait on
    // the server, the reply's headers included.
    DWORD limit = stallLimitMs;
    if (!InternetSetOptionA(m_connection.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &limit, sizeof(limit))) {
      g_launcher.Log("%s : stall limit not set : code%d", where, static_cast<int>(GetLastError()));
    }
  }
  return true;
}

bool IsStallError(DWORD code) {
  // WinINet's own code; Wine's WinINet hands on the socket's.
  return code == ERROR_INTERNET_TIMEOUT || code == WSAETIMEDOUT;
}

std::vector<CSafeInternetHandle> CInternetSession::TakeHandles() {
  std::vector<CSafeInternetHandle> handles;
  handles.push_back(std::move(m_connection));
  handles.push_back(std::move(m_root));
  return handles;
}

CallOutcome ReadBlock(CBlockingCalls& calls, CallResult* following, CallRequest request,
                      const std::atomic<bool>* stop, DWORD limitMs, DWORD* count, bool* sendFailed) {
  *count = 0;
  *sendFailed = false;
  if (following->following) {
    if (!following->followingOk) {
      following->following = false;
      SetLastError(following->followingError);
      return CallOutcome::kFailed;
    }
    std::string& data = following->followingData;
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(data.size(), request.size));
    std::memcpy(request.buffer, data.data(), n);
    data.erase(0, n);
    if (data.empty()) following->following = false;  // the end itself comes as 0 bytes once
    *count = n;
    return CallOutcome::kSucceeded;
  }
  CallResult result;
  CallOutcome outcome;
  if (stop == nullptr) {
    outcome = RunHere(request, &result);
  } else {
    request.readOn = true;
    outcome = calls.Run(request, &result, *stop, limitMs);
  }
  *count = result.count;
  *sendFailed = result.sendFailed;
  if (outcome == CallOutcome::kSucceeded) *following = std::move(result);
  return outcome;
}

bool GiveUpCall(const char* where, const char* call, CallOutcome outcome, CBlockingCalls& calls,
                CSafeInternetHandle& open, CInternetSession& session) {
  const bool stopped = outcome == CallOutcome::kStopped;
  g_launcher.Log("%s : %s() given up : %s", where, call, stopped ? "stopped" : "no reply");
  std::vector<CSafeInternetHandle> handles;
  handles.push_back(std::move(open));
  for (CSafeInternetHandle& handle : session.TakeHandles()) handles.push_back(std::move(handle));
  calls.Abandon(std::move(handles));
  return stopped;
}

void CInternetSession::Close() {
  if (m_connection) {
    g_launcher.Log("Close session...");
    m_connection.reset();
  }
  if (m_root) {
    g_launcher.Log("Close connection...");
    m_root.reset();
  }
}

bool FitsPath(const char* where, const char* what, const char* text) {
  if (text == nullptr || std::strlen(text) < kMaxPath) return true;
  g_launcher.Log("%s : %s too long : \"%.64s...\"", where, what, text);
  return false;
}

namespace {

enum class PassResult { kDone, kFailed, kAbort };

struct Transfer {
  DownloadCallback callback;
  bool resume;
  CDownloadMgr* mgr;
  HANDLE file;
  char* buffer;
  DownloadProgress progress;
};

// Positions the local file for a pass; with resume the server is asked for the rest only.
PassResult PrepareLocalFile(Transfer& t) {
  if (!t.resume) {
    SetFilePointerEx(t.file, LARGE_INTEGER{}, nullptr, FILE_BEGIN);
    return PassResult::kDone;
  }
  LARGE_INTEGER size = {};
  GetFileSizeEx(t.file, &size);
  if (size.QuadPart <= 0) return PassResult::kDone;
  if (size.QuadPart > 0xFFFFFFFFLL) {
    // The start position travels as 32 bits: a cut-down position would append the wrong
    // bytes behind what is there.
    g_launcher.Log("GetFile() : local file too large to resume : \"%s\"", t.progress.localPath);
    return PassResult::kAbort;
  }
  const std::uint32_t position = static_cast<std::uint32_t>(size.QuadPart);
  SetFilePointerEx(t.file, LARGE_INTEGER{}, nullptr, FILE_END);
  if (!t.mgr->SetFilePointer(position)) return PassResult::kAbort;
  g_launcher.Log("resuming file transfer at pos : %u", position);
  t.progress.transferred = position;
  return PassResult::kDone;
}

PassResult RunPass(Transfer& t) {
  if (!t.mgr->OpenFile(t.progress.remoteName)) return PassResult::kFailed;
  t.progress.transferred = 0;
  t.progress.lastRead = 0;
  t.progress.readStartTick = timeGetTime();
  if (PrepareLocalFile(t) == PassResult::kAbort) {
    t.mgr->CloseFile();
    return PassResult::kAbort;
  }
  PassResult result = PassResult::kDone;
  for (;;) {
    if (t.callback != nullptr && !t.callback(&t.progress)) break;  // stopped: still a success
    t.progress.readStartTick = timeGetTime();
    t.progress.lastRead = 0;
    if (!t.mgr->ReadFile(t.buffer, kDownloadBlock, &t.progress.lastRead) ||
        t.progress.lastRead > kDownloadBlock) {
      result = PassResult::kFailed;
      break;
    }
    if (t.progress.lastRead == 0) break;
    const DWORD count = static_cast<DWORD>(t.progress.lastRead);
    DWORD written = 0;
    if (!WriteFile(t.file, t.buffer, count, &written, nullptr) || written != count) {
      g_launcher.Log("Fail to write file while getting file. : code%d", static_cast<int>(GetLastError()));
      result = PassResult::kFailed;
      break;
    }
    t.progress.transferred += count;
  }
  t.mgr->CloseFile();
  return result;
}

}  // namespace

void AllowConnectionsPerServer(std::uint32_t n) {
  DWORD value = n + 1;  // and the stage's own manager, which fetched the manifest
  InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &value, sizeof(value));
  InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &value, sizeof(value));
}

ConnectResult ConnectWithRetries(CDownloadMgr& mgr, const ServerAddress& address, ConnectStop stop,
                                 void* stopContext) {
  constexpr int kAttempts = 3;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (stop != nullptr && stop(stopContext)) return ConnectResult::Stopped;
    if (mgr.Connect(address.host, address.user[0] != '\0' ? address.user : nullptr,
                    address.password[0] != '\0' ? address.password : nullptr, address.port)) {
      mgr.SetCurrentDirectory(address.path);
      return ConnectResult::Connected;
    }
    Sleep(kRetryPauseMs);
  }
  return ConnectResult::Failed;
}

bool GetFile(DownloadCallback callback, bool resume, CDownloadMgr* mgr, const char* remoteName,
             const char* localPath, void* context) {
  if (remoteName == nullptr || localPath == nullptr || mgr == nullptr || mgr->IsOpened()) return false;
  if (!FitsPath("GetFile()", "remote name", remoteName) || !FitsPath("GetFile()", "local path", localPath)) {
    return false;
  }
  g_launcher.Log("Getting file \"%s\"...", remoteName);
  if (resume && !mgr->IsRestartSupported()) {
    g_launcher.Log("restarting file transfer is not supported.");
    return false;
  }
  CFileHandle file(CreateFileA(localPath, GENERIC_WRITE, 0, nullptr, resume ? OPEN_ALWAYS : CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    g_launcher.Log("Fail to open local file : \"%s\"", localPath);
    return false;
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kDownloadBlock]);
  if (!buffer) {
    g_launcher.Log("GetFile() : out of memory");
    return false;
  }
  Transfer t{callback, resume, mgr, file.get(), buffer.get(), DownloadProgress{}};
  t.progress.context = context;
  CopyString(t.progress.remoteName, remoteName);
  CopyString(t.progress.localPath, localPath);

  for (int retriesLeft = kGetFileRetries;; --retriesLeft) {
    const PassResult result = RunPass(t);
    if (result != PassResult::kFailed) return result == PassResult::kDone;
    if (retriesLeft == 0 || mgr->Stalled() || mgr->StoppedWaiting()) return false;
    Sleep(kRetryPauseMs);
  }
}

bool GetFileIntoMemory(const char* name, CDownloadMgr* mgr, char** block, std::uint32_t* size) {
  if (name == nullptr || mgr == nullptr || block == nullptr || size == nullptr || mgr->IsOpened()) {
    return false;
  }
  *block = nullptr;
  *size = 0;
  g_launcher.Log("Getting file \"%s\" into memory...", name);
  bool opened = false;
  for (int attempt = 0; attempt < kOpenAttempts && !opened; ++attempt) {
    opened = mgr->OpenFile(name);
    if (!opened) Sleep(kRetryPauseMs);
  }
  if (!opened) return false;

  std::unique_ptr<char[]> data;
  std::uint32_t capacity = 0;
  std::uint32_t room = 0;
  std::uint32_t total = 0;
  bool ok = false;
  for (;;) {
    if (room == 0) {
      if (capacity > UINT32_MAX - kDownloadBlock) {
        g_launcher.Log("GetFileIntoMemory() : \"%s\" is too large", name);
        break;
      }
      std::unique_ptr<char[]> grown(new (std::nothrow) char[capacity + kDownloadBlock]);
      if (!grown) {
        g_launcher.Log("GetFileIntoMemory() : out of memory");
        break;
      }
      if (capacity > 0) std::memcpy(grown.get(), data.get(), capacity);
      data = std::move(grown);
      capacity += kDownloadBlock;
      room = kDownloadBlock;
    }
    std::uint64_t count = 0;
    bool read = false;
    for (int attempt = 0; attempt < kReadAttempts && !read; ++attempt) {
      count = 0;
      read = mgr->ReadFile(data.get() + total, room, &count);
      if (!read) Sleep(kRetryPauseMs);
    }
    if (!read || count > room) break;
    if (count == 0) {
      ok = true;
      break;
    }
    room -= static_cast<std::uint32_t>(count);
    total += static_cast<std::uint32_t>(count);
  }
  mgr->CloseFile();
  if (ok) {
    *block = data.release();
    *size = total;
  }
  return ok;
}
