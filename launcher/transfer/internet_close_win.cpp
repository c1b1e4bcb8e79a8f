// Safe_InternetCloseHandle. Closing a WinINet handle can hang on a dead connection, so the
// close runs on a helper thread and the caller waits for it at most 15 seconds.
//
// A patch run closes one request per downloaded file, and starting a thread costs about as
// much as fetching a small file over a fast link (close to a millisecond under Wine), so one
// closer thread is kept and handed each handle in turn. A close that overruns the limit
// leaves that closer behind, blocked inside WinINet, and the next close starts a new one. A
// close asked for while another thread is using the closer gets a thread of its own.
#include "launcher/core/windows_api.h"

#include <process.h>

#include <mutex>
#include <new>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/win_handle.h"
#include "launcher/transfer/download_mgr.h"

namespace {

constexpr DWORD kCloseTimeoutMs = 15000;

// Never freed: an abandoned closer still uses it when its close finally returns.
struct Closer {
  CKernelHandle work;  // set by the caller once handle is filled in
  CKernelHandle done;  // set by the closer after the close returned
  HINTERNET handle = nullptr;
};

unsigned __stdcall CloserLoop(void* param) {
  Closer* closer = static_cast<Closer*>(param);
  while (WaitForSingleObject(closer->work.get(), INFINITE) == WAIT_OBJECT_0) {
    InternetCloseHandle(closer->handle);
    SetEvent(closer->done.get());
  }
  return 0;
}

unsigned __stdcall CloseOnce(void* handle) {
  InternetCloseHandle(handle);
  return 0;
}

std::mutex g_closerLock;
Closer* g_closer = nullptr;  // guarded by g_closerLock

Closer* StartCloser() {
  auto* closer = new (std::nothrow) Closer;
  if (closer == nullptr) return nullptr;
  closer->work.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  closer->done.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  CKernelHandle thread;
  if (closer->work && closer->done) {
    thread.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CloserLoop, closer, 0, nullptr)));
  }
  if (!thread) {
    delete closer;
    return nullptr;
  }
  return closer;
}

void CloseOnOwnThread(void* handle) {
  CKernelHandle thread(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CloseOnce, handle, 0, nullptr)));
  if (!thread) {
    // Without a thread the close cannot be bounded; closing here beats leaking the handle.
    g_launcher.Log("Safe_InternetCloseHandle() : _beginthreadex() failed.");
    InternetCloseHandle(handle);
    return;
  }
  // A close still hanging after the limit is abandoned, not terminated: killing a thread
  // inside WinINet could leave its internal locks held and hang every later call.
  WaitForSingleObject(thread.get(), kCloseTimeoutMs);
}

}  // namespace

void Safe_InternetCloseHandle(void* handle) {
  if (handle == nullptr) return;
  std::unique_lock<std::mutex> lock(g_closerLock, std::try_to_lock);
  if (!lock.owns_lock()) return CloseOnOwnThread(handle);
  if (g_closer == nullptr) g_closer = StartCloser();
  if (g_closer == nullptr) return CloseOnOwnThread(handle);
  g_closer->handle = static_cast<HINTERNET>(handle);
  SetEvent(g_closer->work.get());
  if (WaitForSingleObject(g_closer->done.get(), kCloseTimeoutMs) != WAIT_OBJECT_0) g_closer = nullptr;
}
