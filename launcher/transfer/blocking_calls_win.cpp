#include "launcher/transfer/blocking_calls_win.h"

#include <process.h>

#include <cstring>
#include <new>

#include "launcher/core/clock.h"

namespace {

constexpr DWORD kStopPollMs = 100;

// The calls of a request into buffer (twice its size with readOn); FALSE with *error set.
BOOL Execute(const CallRequest& request, char* buffer, CallResult* out, DWORD* error) {
  if (request.send && !HttpSendRequestA(request.handle, nullptr, 0, nullptr, 0)) {
    *error = GetLastError();
    out->sendFailed = true;
    return FALSE;
  }
  if (!request.read) return TRUE;
  DWORD count = 0;
  if (!InternetReadFile(request.handle, buffer, request.size, &count)) {
    *error = GetLastError();
    return FALSE;
  }
  out->count = count;
  if (request.readOn && count > 0 && count < request.size) {
    DWORD more = 0;
    out->following = true;
    out->followingOk = InternetReadFile(request.handle, buffer + request.size, request.size, &more);
    out->followingError = out->followingOk ? 0 : GetLastError();
    if (out->followingOk) out->followingData.assign(buffer + request.size, more);
  }
  return TRUE;
}

}  // namespace

CallOutcome RunHere(const CallRequest& request, CallResult* result) {
  CallRequest here = request;
  here.readOn = false;  // the caller's buffer holds one block
  *result = CallResult{};
  DWORD error = 0;
  if (Execute(here, static_cast<char*>(here.buffer), result, &error)) return CallOutcome::kSucceeded;
  SetLastError(error);
  return CallOutcome::kFailed;
}

// Everything both threads touch, under the lock. Reads land in the calls' own buffer: the
// caller's may be gone by the time a call given up on returns.
struct CBlockingCalls::Shared {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
  bool pending = false;  // handed over and not returned yet
  bool quit = false;     // nothing more comes: end once idle
  CallRequest request;
  CallResult result;
  BOOL ok = FALSE;
  DWORD error = 0;
  std::unique_ptr<char[]> buffer;
  DWORD capacity = 0;
  std::vector<CSafeInternetHandle> orphans;
};

unsigned __stdcall CBlockingCalls::ThreadMain(void* parameter) {
  const std::unique_ptr<std::shared_ptr<Shared>> owner(static_cast<std::shared_ptr<Shared>*>(parameter));
  Shared& s = **owner;
  AcquireSRWLockExclusive(&s.lock);
  for (;;) {
    while (!s.pending && !s.quit) SleepConditionVariableSRW(&s.changed, &s.lock, INFINITE, 0);
    if (!s.pending) break;
    const CallRequest request = s.request;
    char* buffer = s.buffer.get();
    ReleaseSRWLockExclusive(&s.lock);
    CallResult result;
    DWORD error = 0;
    const BOOL ok = Execute(request, buffer, &result, &error);
    AcquireSRWLockExclusive(&s.lock);
    s.ok = ok;
    s.error = error;
    s.result = std::move(result);
    s.pending = false;
    WakeAllConditionVariable(&s.changed);
  }
  std::vector<CSafeInternetHandle> orphans = std::move(s.orphans);
  ReleaseSRWLockExclusive(&s.lock);
  for (CSafeInternetHandle& handle : orphans) handle.reset();  // children first
  return 0;
}

bool CBlockingCalls::Start() {
  if (m_thread) return true;
  std::shared_ptr<Shared> shared(new (std::nothrow) Shared());
  if (!shared) return false;
  auto* parameter = new (std::nothrow) std::shared_ptr<Shared>(shared);
  if (parameter == nullptr) return false;
  m_thread.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadMain, parameter, 0, nullptr)));
  if (!m_thread) {
    delete parameter;
    return false;
  }
  m_shared = std::move(shared);
  return true;
}

CallOutcome CBlockingCalls::Run(const CallRequest& request, CallResult* result, const std::atomic<bool>& stop,
                                DWORD limitMs) {
  if (!Start()) return RunHere(request, result);  // without a thread, as any other call
  *result = CallResult{};
  Shared& s = *m_shared;
  const DWORD needed = request.read ? (request.readOn ? 2 * request.size : request.size) : 0;
  AcquireSRWLockExclusive(&s.lock);
  if (needed > s.capacity) {
    s.buffer.reset(new (std::nothrow) char[needed]);
    s.capacity = s.buffer ? needed : 0;
    if (!s.buffer) {
      ReleaseSRWLockExclusive(&s.lock);
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return CallOutcome::kFailed;
    }
  }
  s.request = request;
  s.pending = true;
  WakeAllConditionVariable(&s.changed);
  const std::uint32_t start = TickCount();
  CallOutcome outcome = CallOutcome::kSucceeded;
  while (s.pending) {
    if (stop.load()) {
      outcome = CallOutcome::kStopped;
      break;
    }
    if (limitMs > 0 && TickCount() - start >= limitMs) {
      outcome = CallOutcome::kNoReturn;
      break;
    }
    SleepConditionVariableSRW(&s.changed, &s.lock, kStopPollMs, 0);
  }
  DWORD error = 0;
  if (!s.pending) {
    outcome = s.ok ? CallOutcome::kSucceeded : CallOutcome::kFailed;
    error = s.error;
    *result = std::move(s.result);
    if (s.ok && request.read) std::memcpy(request.buffer, s.buffer.get(), result->count);
  }
  ReleaseSRWLockExclusive(&s.lock);
  if (outcome == CallOutcome::kFailed) SetLastError(error);
  return outcome;
}

void CBlockingCalls::Abandon(std::vector<CSafeInternetHandle> handles) {
  if (!m_shared) {  // no thread: nothing runs on, and they close here
    for (CSafeInternetHandle& handle : handles) handle.reset();
    return;
  }
  AcquireSRWLockExclusive(&m_shared->lock);
  for (CSafeInternetHandle& handle : handles) m_shared->orphans.push_back(std::move(handle));
  m_shared->quit = true;
  WakeAllConditionVariable(&m_shared->changed);
  ReleaseSRWLockExclusive(&m_shared->lock);
  // That thread ends on its own; the next call gets a thread of its own.
  m_shared.reset();
  m_thread.reset();
}

CBlockingCalls::~CBlockingCalls() {
  if (!m_shared) return;
  AcquireSRWLockExclusive(&m_shared->lock);
  m_shared->quit = true;
  WakeAllConditionVariable(&m_shared->changed);
  ReleaseSRWLockExclusive(&m_shared->lock);
  WaitForSingleObject(m_thread.get(), INFINITE);  // idle: it ends at once
}
