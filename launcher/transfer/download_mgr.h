// Download managers: one connection to one patch file server, a current remote directory
// and at most one open remote file, over FTP or HTTP behind one interface. GetFile and
// GetFileIntoMemory work on any manager through its virtual operations.
//
// The interface carries no Windows header; the implementations live in
// download_mgr_win.h and the *_win.cpp files beside it.
#pragma once
#include <atomic>
#include <cstdint>

#include "launcher/core/limits.h"

// A server address taken apart by CreateDownloadMgr. The caller clears it first (empty
// texts, port 0): a field the address does not give keeps what it had.
struct ServerAddress {
  char host[kMaxPath] = {};
  char user[kMaxPath] = {};
  char password[kMaxPath] = {};
  char path[kMaxPath] = {};  // remote start directory, beginning with "/"
  std::int32_t port = 0;     // 0: none given
};

// Takes "[user[:password]@]host[:port][/path]" apart (no scheme is recognised). Returns false
// (the address unchanged) when a field would not fit its 260-byte buffer.
bool ParseServerAddress(const char* text, ServerAddress* address);

enum DownloadProtocol : int {
  kProtocolFtp = 0,
  kProtocolHttp = 1,
};

// The protocol an address selects: port 80 is HTTP, every other port (none included) FTP.
inline DownloadProtocol ProtocolForPort(std::int32_t port) {
  return port == 80 ? kProtocolHttp : kProtocolFtp;
}

class CDownloadMgr {
 public:
  // Parses the address into *address, logs the protocol and returns a new unconnected
  // manager (owned by the caller), or none.
  static CDownloadMgr* CreateDownloadMgr(const char* address, ServerAddress* out);
  // By protocol number (0 FTP, 1 HTTP); any other number is logged and gives none.
  static CDownloadMgr* CreateDownloadMgr(int protocol);

  CDownloadMgr() = default;
  CDownloadMgr(const CDownloadMgr&) = delete;
  CDownloadMgr& operator=(const CDownloadMgr&) = delete;

  // user and password may be null; port 0 takes the protocol's default.
  virtual bool Connect(const char* host, const char* user, const char* password, std::int32_t port) = 0;
  virtual bool Disconnect() = 0;
  virtual bool SetCurrentDirectory(const char* directory) = 0;
  virtual bool IsOpened() = 0;
  virtual bool OpenFile(const char* name) = 0;
  virtual bool CloseFile() = 0;
  // *read 0 with true: the end of the file.
  virtual bool ReadFile(void* buffer, std::uint32_t size, std::uint64_t* read) = 0;
  virtual bool IsRestartSupported() = 0;
  // Only between OpenFile and the first ReadFile.
  virtual bool SetFilePointer(std::uint32_t position) = 0;
  // Disconnects.
  virtual ~CDownloadMgr() = default;

  // How long a transfer may go without receiving a byte before it is given up (0: as long as
  // the platform waits). Taken by the next Connect.
  void SetStallLimit(std::uint32_t ms) { m_stallLimitMs = ms; }
  std::uint32_t StallLimit() const { return m_stallLimitMs; }
  // Whether the transfer of the file opened last ended because no data came within the
  // limit; cleared by OpenFile.
  bool Stalled() const { return m_stalled; }

  // A flag that, once raised, ends any wait on the server within a tenth of a second: the
  // waits then run on a thread of their own, and a stall limit also ends a call the platform
  // lets wait longer. A manager that stopped waiting has given up its connection.
  void SetStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }
  // Whether the transfer of the file opened last ended for the stop flag; cleared by OpenFile.
  bool StoppedWaiting() const { return m_stoppedWaiting; }

 protected:
  void SetStalled(bool stalled) { m_stalled = stalled; }
  // A new file's transfer starts with neither mark.
  void ClearGiveUp() { m_stalled = m_stoppedWaiting = false; }
  // A call given up on: for the stop flag, or for a server that let it go unanswered.
  void NoteGiveUp(bool stopped) { (stopped ? m_stoppedWaiting : m_stalled) = true; }
  const std::atomic<bool>* StopFlag() const { return m_stop; }
  // How long a call may go unanswered with a stop flag before it counts as a stall: the
  // platform's own limit first, which tells a stall in its own words.
  std::uint32_t NoReturnLimit() const { return m_stallLimitMs > 0 ? m_stallLimitMs + kNoReturnGraceMs : 0; }

 private:
  static constexpr std::uint32_t kNoReturnGraceMs = 2000;
  std::uint32_t m_stallLimitMs = 0;
  bool m_stalled = false;
  const std::atomic<bool>* m_stop = nullptr;
  bool m_stoppedWaiting = false;
};

// The stall limit of the download stage with several transfers and further servers: a
// server that sends nothing for this long has the file tried on the next one.
constexpr std::uint32_t kStallLimitMs = 15000;

// What GetFile hands its progress callback before every read. Lives for the call only.
struct DownloadProgress {
  void* context = nullptr;
  char remoteName[kMaxPath] = {};
  char localPath[kMaxPath] = {};
  std::uint64_t lastRead = 0;     // bytes of the most recent read; 0 before a pass's first read
  std::uint64_t transferred = 0;  // bytes in the local file, a resumed start included
  std::uint32_t readStartTick = 0;  // timeGetTime before the latest read (or at the open)
};

// Returns false to stop the transfer (GetFile then still returns true).
using DownloadCallback = bool (*)(DownloadProgress* progress);

constexpr std::uint32_t kDownloadBlock = 65536;

// Copies a remote file into a local file: up to 4 passes a second apart; with resume an
// existing local file is continued where it ends (HTTP only). A pass that ends in a stall
// (mgr->Stalled()) ends the call: the server is not waited for again.
bool GetFile(DownloadCallback callback, bool resume, CDownloadMgr* mgr, const char* remoteName,
             const char* localPath, void* context);

// Reads a remote file into a new block (released with delete[]); the block is not
// terminated and may be larger than *size.
bool GetFileIntoMemory(const char* name, CDownloadMgr* mgr, char** block, std::uint32_t* size);

// Lets the process hold up to n connections to one server at once (the platform allows
// only a few by default): n transfers and the manager that fetched the manifest.
void AllowConnectionsPerServer(std::uint32_t n);

enum class ConnectResult { Connected, Failed, Stopped };
// Polled before each connection attempt; true gives up at once.
using ConnectStop = bool (*)(void* context);

// Connects mgr to a parsed address (no user or password when they are empty): up to 3
// attempts, each failure followed by a second's pause; once connected, the address's path
// becomes the current directory. With stop, a stop seen before an attempt ends it.
ConnectResult ConnectWithRetries(CDownloadMgr& mgr, const ServerAddress& address, ConnectStop stop = nullptr,
                                 void* stopContext = nullptr);

// Closes an internet handle on a thread of its own and gives it 15 seconds: a close that
// hangs on a dead connection must not hang the launcher.
void Safe_InternetCloseHandle(void* handle);
