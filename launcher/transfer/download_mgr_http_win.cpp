#include "launcher/core/windows_api.h"

#include <cstdlib>

#include "launcher/core/clock.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/text.h"
#include "launcher/transfer/download_mgr_win.h"

namespace {

int LastError() { return static_cast<int>(GetLastError()); }

constexpr DWORD kStatusOk = 200;
constexpr DWORD kStatusPartialContent = 206;

// The announced body length, or -1 when the reply names none.
long long ContentLength(HINTERNET request) {
  char text[32] = {};
  DWORD size = sizeof(text) - 1;
  if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return -1;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  return end != text && value >= 0 ? value : -1;
}

}  // namespace

CDownloadMgrHttp::~CDownloadMgrHttp() { Disconnect(); }

bool CDownloadMgrHttp::Connect(const char* host, const char* user, const char* password, std::int32_t port) {
  if (host == nullptr) return false;
  Disconnect();
  if (port == 0) port = INTERNET_DEFAULT_HTTP_PORT;
  // Nothing is remembered: HTTP has no reconnect.
  return m_session.Open("CDownloadMgrHttp", host, user, password, port, INTERNET_SERVICE_HTTP, 0, StallLimit());
}

bool CDownloadMgrHttp::Disconnect() {
  CloseFile();
  m_session.Close();
  return true;
}

bool CDownloadMgrHttp::SetCurrentDirectory(const char* directory) {
  if (directory == nullptr || !m_session) return false;
  if (!FitsPath("CDownloadMgrHttp::SetCurrentDirectory()", "directory", directory)) return false;
  CopyString(m_currentDir, directory);
  ToForwardSlashes(m_currentDir);
  g_launcher.Log("Current directory : \"%s\".", m_currentDir);
  return true;
}

bool CDownloadMgrHttp::OpenFile(const char* name) {
  if (name == nullptr || !m_session) return false;
  if (m_request) {
    g_launcher.Log("CDownloadMgrHttp::OpenFile() : already opened.");
    return false;
  }
  char object[kMaxPath];
  if (!JoinPath(name, object, m_currentDir)) {
    g_launcher.Log("CDownloadMgrHttp::OpenFile() : object name too long : \"%s\" + \"%.64s\"", m_currentDir, name);
    return false;
  }
  ToForwardSlashes(object);
  m_request.reset(HttpOpenRequestA(m_session.connection(), "GET", object, nullptr, nullptr, nullptr,
                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE, 0));
  if (!m_request) {
    g_launcher.Log("CDownloadMgrHttp::OpenFile() : HttpOpenRequest(%s) failed : code%d", object, LastError());
    return false;
  }
  m_sent = false;
  m_received = 0;
  m_following = CallResult{};
  ClearGiveUp();
  return true;
}

bool CDownloadMgrHttp::SetFilePointer(std::uint32_t position) {
  if (!m_request) return false;
  char header[64];
  FormatString(header, sizeof(header), "Range: bytes=%u-", position);
  if (!HttpAddRequestHeadersA(m_request.get(), header, static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD_IF_NEW)) {
    g_launcher.Log("CDownloadMgrHttp::SetFilePointer() : HttpAddRequestHeaders(%s) failed : code%d", header,
                   LastError());
    return false;
  }
  return true;
}

bool CDownloadMgrHttp::ReadFile(void* buffer, std::uint32_t size, std::uint64_t* read) {
  if (!m_request || buffer == nullptr || size == 0 || read == nullptr) return false;
  CallRequest request;
  request.handle = m_request.get();
  request.send = !m_sent;
  request.read = true;
  request.buffer = buffer;
  request.size = size;
  m_sent = true;  // never sent twice, even when this send fails
  DWORD count = 0;
  bool sendFailed = false;
  const std::uint32_t start = TickCount();
  const CallOutcome outcome =
      ReadBlock(m_calls, &m_following, request, StopFlag(), NoReturnLimit(), &count, &sendFailed);
  const char* call = request.send ? "HttpSendRequest" : "InternetReadFile";
  switch (outcome) {
    case CallOutcome::kSucceeded:
      break;
    case CallOutcome::kFailed:
      NoteFailure(sendFailed ? "HttpSendRequest" : "InternetReadFile", start);
      return false;
    case CallOutcome::kStopped:
    case CallOutcome::kNoReturn:
      NoteGiveUp(GiveUpCall("CDownloadMgrHttp::ReadFile()", call, outcome, m_calls, m_request, m_session));
      m_sent = false;
      return false;
  }
  DWORD status = 0;
  DWORD statusSize = sizeof(status);
  if (HttpQueryInfoA(m_request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                     nullptr) &&
      status != kStatusOk && status != kStatusPartialContent) {
    // An error page is not the file; GetFile retries the pass.
    *read = 0;
    return false;
  }
  if (count == 0) {
    // WinINet ends the body without an error when the server closes the connection early;
    // taking that for the end would hand a cut file on as complete.
    const long long expected = ContentLength(m_request.get());
    if (expected >= 0 && m_received < static_cast<std::uint64_t>(expected)) {
      g_launcher.Log("CDownloadMgrHttp::ReadFile() : connection closed after %llu of %lld bytes",
                     static_cast<unsigned long long>(m_received), expected);
      *read = 0;
      return false;
    }
  }
  m_received += count;
  *read = count;
  return true;
}

void CDownloadMgrHttp::NoteFailure(const char* call, std::uint32_t startTick) {
  const DWORD code = GetLastError();
  const std::uint32_t waited = TickCount() - startTick;
  g_launcher.Log("CDownloadMgrHttp::ReadFile() : %s() failed : code%d", call, static_cast<int>(code));
  // Only a limit this manager was given makes a timeout a stall: without one the platform's
  // own long wait ran out, which is any other failure. Wine's WinINet ends a request whose
  // reply never comes with "connection aborted" once the limit ran out, so a call that failed
  // after waiting the limit (give or take the clock's step) counts as well.
  const std::uint32_t limit = StallLimit();
  if (limit > 0 && (IsStallError(code) || waited >= limit - limit / 10)) SetStalled(true);
}

bool CDownloadMgrHttp::CloseFile() {
  if (!m_request) return false;
  m_request.reset();
  m_sent = false;
  m_following = CallResult{};
  return true;
}
