// The two download managers on WinINet. Every handle they close goes through
// Safe_InternetCloseHandle (CSafeInternetHandle).
#pragma once
#include <optional>
#include <string>

#include <vector>

#include "launcher/core/win_handle.h"
#include "launcher/transfer/blocking_calls_win.h"
#include "launcher/transfer/download_mgr.h"

// The root and connection handles of a manager, opened and closed with the log lines both
// protocols share. owner ("CDownloadMgrFtp", "CDownloadMgrHttp") prefixes the failures.
class CInternetSession {
 public:
  // port is already defaulted. Texts beyond 259 bytes and ports outside 1..65535 are refused.
  // A stall limit (ms, 0 for none) becomes the connection's receive timeout.
  bool Open(const char* owner, const char* host, const char* user, const char* password, std::int32_t port,
            DWORD service, DWORD flags, std::uint32_t stallLimitMs);
  // "Close session..." and "Close connection..." for what is open, in that order.
  void Close();
  // The open handles, connection first, for a call given up on to close (no log lines).
  std::vector<CSafeInternetHandle> TakeHandles();
  HINTERNET connection() const { return m_connection.get(); }
  explicit operator bool() const { return static_cast<bool>(m_connection); }

 private:
  CSafeInternetHandle m_root;
  CSafeInternetHandle m_connection;
};

// Passive-mode binary FTP. Remembers the address of its last successful Connect and its
// current directory so that OpenFile can rebuild a dropped connection once.
class CDownloadMgrFtp : public CDownloadMgr {
 public:
  CDownloadMgrFtp() = default;
  ~CDownloadMgrFtp() override;

  bool Connect(const char* host, const char* user, const char* password, std::int32_t port) override;
  bool Disconnect() override;
  bool SetCurrentDirectory(const char* directory) override;
  bool IsOpened() override { return static_cast<bool>(m_file); }
  bool OpenFile(const char* name) override;
  bool CloseFile() override;
  bool ReadFile(void* buffer, std::uint32_t size, std::uint64_t* read) override;
  bool IsRestartSupported() override { return false; }
  bool SetFilePointer(std::uint32_t) override { return false; }

  bool Reconnect();
  // The size of name in the current directory, from a directory search; false when the
  // server lists no such file (or none while a file is open).
  bool FindFileSize(const char* name, std::uint32_t* size);

 protected:
  // The one server request of OpenFile (FtpOpenFileA on the connection); null with the
  // error in GetLastError. Tests replace it to see how a given error code is handled.
  virtual HINTERNET OpenRemoteFile(const char* name);

 private:
  CInternetSession m_session;
  CSafeInternetHandle m_file;
  CBlockingCalls m_calls;
  CallResult m_following;  // a read made ahead of the next ReadFile
  std::optional<std::string> m_host;
  std::optional<std::string> m_user;
  std::optional<std::string> m_password;
  std::int32_t m_port = 0;
  std::string m_currentDir;  // as last given to a successful SetCurrentDirectory
};

// HTTP GET with an optional range. OpenFile only prepares the request; the first ReadFile
// sends it, so SetFilePointer fits in between.
class CDownloadMgrHttp : public CDownloadMgr {
 public:
  CDownloadMgrHttp() = default;
  ~CDownloadMgrHttp() override;

  bool Connect(const char* host, const char* user, const char* password, std::int32_t port) override;
  bool Disconnect() override;
  bool SetCurrentDirectory(const char* directory) override;
  bool IsOpened() override { return static_cast<bool>(m_request); }
  bool OpenFile(const char* name) override;
  bool CloseFile() override;
  bool ReadFile(void* buffer, std::uint32_t size, std::uint64_t* read) override;
  bool IsRestartSupported() override { return true; }
  bool SetFilePointer(std::uint32_t position) override;

 private:
  // Logs a failed call of ReadFile (begun at startTick) and notes a stall.
  void NoteFailure(const char* call, std::uint32_t startTick);
  CInternetSession m_session;
  CSafeInternetHandle m_request;
  CBlockingCalls m_calls;
  CallResult m_following;  // a read made ahead of the next ReadFile
  char m_currentDir[kMaxPath] = {};  // with "/" for every separator
  bool m_sent = false;
  std::uint64_t m_received = 0;  // body bytes of the open request so far
};

// A manager's read (with the request's send first when asked): the bytes of a read made ahead
// first; else on the calls' thread when there is a stop flag, or here. *following keeps what
// the calls' thread read ahead.
CallOutcome ReadBlock(CBlockingCalls& calls, CallResult* following, CallRequest request,
                      const std::atomic<bool>* stop, DWORD limitMs, DWORD* count, bool* sendFailed);

// After a call given up on (kStopped or kNoReturn): logged as "<where> : <call>() given up",
// and the open file's handle and the session's go with the call, which closes them once it
// returns. Returns the outcome's mark: true for a stop, false for a stall.
bool GiveUpCall(const char* where, const char* call, CallOutcome outcome, CBlockingCalls& calls,
                CSafeInternetHandle& open, CInternetSession& session);

// Whether a failed WinINet call's error is the receive timeout a stall limit sets.
bool IsStallError(DWORD code);

// True when every given text (null counts as fitting) fits a 260-byte buffer; otherwise
// logs "<where> : <what> too long" and returns false.
bool FitsPath(const char* where, const char* what, const char* text);
