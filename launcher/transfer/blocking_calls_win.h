// The calls of a transfer that wait on its server, run on a thread of their own so that the
// transfer's thread can stop waiting: on a stop, or when the server has let a call go
// unanswered past its limit. A synchronous WinINet call cannot be broken off from outside
// (under Wine closing its handle does not end it either), so a call given up on is left to
// end on that thread, which then closes the handles it was left and ends too.
#pragma once
#include "launcher/core/windows_api.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "launcher/core/win_handle.h"

// What one hand-over to the calls' thread does: HttpSendRequestA, InternetReadFile, or both.
struct CallRequest {
  HINTERNET handle = nullptr;
  bool send = false;
  bool read = false;
  void* buffer = nullptr;  // the caller's, for read
  DWORD size = 0;
  // A read that came back short of size is followed at once by one more, which mostly finds
  // the end: the caller's next read then needs no hand-over of its own.
  bool readOn = false;
};

struct CallResult {
  DWORD count = 0;          // bytes of the read
  bool sendFailed = false;  // with kFailed: the send failed, not the read
  // The read made after a short one, when made: its outcome and bytes.
  bool following = false;
  BOOL followingOk = FALSE;
  DWORD followingError = 0;
  std::string followingData;
};

enum class CallOutcome {
  kSucceeded,
  kFailed,    // the call's error is in GetLastError
  kStopped,   // the stop flag was raised while the call waited
  kNoReturn,  // the call did not return within the limit
};

class CBlockingCalls {
 public:
  CBlockingCalls() = default;
  CBlockingCalls(const CBlockingCalls&) = delete;
  CBlockingCalls& operator=(const CBlockingCalls&) = delete;
  ~CBlockingCalls();

  // The caller looks at the stop flag every 100 ms while the calls run; limitMs 0 waits as
  // long as they do. After kStopped or kNoReturn the calls still run: Abandon must follow.
  CallOutcome Run(const CallRequest& request, CallResult* result, const std::atomic<bool>& stop, DWORD limitMs);
  // The call given up on keeps these handles (children before their parents) and closes them
  // once it returns, on its thread; the next call gets a new thread.
  void Abandon(std::vector<CSafeInternetHandle> handles);

 private:
  struct Shared;
  static unsigned __stdcall ThreadMain(void* shared);
  bool Start();

  std::shared_ptr<Shared> m_shared;
  CKernelHandle m_thread;
};

// The request made on the caller's thread, for a caller without a calls' thread.
CallOutcome RunHere(const CallRequest& request, CallResult* result);
