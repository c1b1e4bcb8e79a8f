#include "launcher/transfer/parallel_digest.h"

#include "launcher/core/windows_api.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "launcher/core/win_handle.h"

namespace {

// Large blocks keep the number of system calls (and Wine's round trips) low.
constexpr DWORD kBlock = 1 << 20;
constexpr DWORD kProgressPollMs = 100;

struct SharedWork {
  const std::vector<DigestJob>* jobs = nullptr;
  std::vector<DigestOutcome>* outcomes = nullptr;
  std::atomic<std::size_t> next{0};
  std::atomic<std::uint64_t> done{0};
  std::atomic<std::size_t> current{0};
  std::atomic<bool> stop{false};
  // Reset while the progress callback runs: a host's pause blocks in it, and the workers
  // must hold for as long, not read on behind its back.
  CKernelHandle running{CreateEventA(nullptr, TRUE, TRUE, nullptr)};
};

// One read in flight on an overlapped handle, with its own buffer and event.
struct PendingRead {
  OVERLAPPED overlapped = {};
  CKernelHandle event{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  bool inFlight = false;

  bool Issue(HANDLE file, unsigned char* buffer, std::uint64_t offset, DWORD length) {
    overlapped = OVERLAPPED{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    overlapped.hEvent = event.get();
    if (!ReadFile(file, buffer, length, nullptr, &overlapped) && GetLastError() != ERROR_IO_PENDING) return false;
    inFlight = true;
    return true;
  }
  DWORD Finish(HANDLE file) {
    DWORD got = 0;
    inFlight = false;
    return GetOverlappedResult(file, &overlapped, &got, TRUE) ? got : 0;
  }
  // The buffer must not be freed while the system may still write into it.
  void Abandon(HANDLE file) {
    if (!inFlight) return;
    CancelIo(file);
    Finish(file);
  }
};

// A block read goes into the digest once a host's pause lets the worker go on.
void HashBlock(SharedWork& work, MD5_CTX& context, const unsigned char* block, DWORD length) {
  if (work.running) WaitForSingleObject(work.running.get(), INFINITE);
  MD5Update(&context, block, length);
  work.done += length;
}

// The worker's two reads (and their events) serve every file it takes.
bool HashOne(const DigestJob& job, unsigned char* buffers[2], PendingRead reads[2], SharedWork& work,
             DigestOutcome* out) {
  // A file of one block has nothing to overlap its read with, and an overlapped read costs
  // more than a plain one (under Wine a round trip to its server): it is read plainly.
  const bool oneBlock = job.size <= kBlock;
  const DWORD flags = oneBlock ? FILE_FLAG_SEQUENTIAL_SCAN : FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN;
  CFileHandle file(CreateFileA(job.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, flags, nullptr));
  if (!file) return false;
  // The size was checked before; a file changed since then is not the file that was checked.
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) != job.size) return false;
  auto length = [&](std::uint64_t offset) {
    return static_cast<DWORD>(std::min<std::uint64_t>(kBlock, job.size - offset));
  };
  MD5_CTX context;
  MD5Init(&context);
  std::uint64_t offset = 0;
  int current = 0;
  if (oneBlock) {
    const DWORD expected = static_cast<DWORD>(job.size);
    DWORD got = 0;
    if (expected > 0 && (!ReadFile(file.get(), buffers[0], expected, &got, nullptr) || got != expected)) return false;
    if (work.stop.load()) return false;
    HashBlock(work, context, buffers[0], got);
    offset = job.size;
  } else if (!reads[0].Issue(file.get(), buffers[0], 0, length(0))) {
    return false;
  }
  while (offset < job.size) {
    const DWORD expected = length(offset);
    const DWORD got = reads[current].Finish(file.get());
    if (got != expected || work.stop.load()) {
      reads[1 - current].Abandon(file.get());
      return false;
    }
    const std::uint64_t next = offset + got;
    if (next < job.size && !reads[1 - current].Issue(file.get(), buffers[1 - current], next, length(next))) return false;
    HashBlock(work, context, buffers[current], got);
    offset = next;
    current = 1 - current;
  }
  MD5Final(out->digest, &context);
  out->read = true;
  return true;
}

DWORD WINAPI DigestWorker(void* parameter) {
  SharedWork& work = *static_cast<SharedWork*>(parameter);
  std::unique_ptr<unsigned char[]> block0(new (std::nothrow) unsigned char[kBlock]);
  std::unique_ptr<unsigned char[]> block1(new (std::nothrow) unsigned char[kBlock]);
  unsigned char* buffers[2] = {block0.get(), block1.get()};
  PendingRead reads[2];
  const bool ready = buffers[0] != nullptr && buffers[1] != nullptr && reads[0].event && reads[1].event;
  for (std::size_t i; !work.stop.load() && (i = work.next++) < work.jobs->size();) {
    work.current = i;
    DigestOutcome& out = (*work.outcomes)[i];
    if (!ready || !HashOne((*work.jobs)[i], buffers, reads, work, &out)) {
      out = DigestOutcome{};
    }
  }
  return 0;
}

}  // namespace

bool HashFilesInParallel(const std::vector<DigestJob>& jobs, std::vector<DigestOutcome>* outcomes,
                         DigestProgress progress, void* context) {
  outcomes->assign(jobs.size(), DigestOutcome{});
  SharedWork work;
  work.jobs = &jobs;
  work.outcomes = outcomes;
  CKernelHandle threads[kDigestThreads];
  HANDLE waitable[kDigestThreads];
  DWORD started = 0;
  for (CKernelHandle& thread : threads) {
    thread.reset(CreateThread(nullptr, 0, &DigestWorker, &work, 0, nullptr));
    if (thread) waitable[started++] = thread.get();
  }
  // Without a second thread the work still gets done, on this one.
  if (started == 0) DigestWorker(&work);
  auto report = [&] {
    if (jobs.empty() || progress == nullptr) return true;
    const std::size_t i = std::min(work.current.load(), jobs.size() - 1);
    if (work.running) ResetEvent(work.running.get());
    const bool goOn = progress(work.done.load(), jobs[i].path.c_str(), context);
    if (work.running) SetEvent(work.running.get());
    return goOn;
  };
  while (started > 0 && WaitForMultipleObjects(started, waitable, TRUE, kProgressPollMs) == WAIT_TIMEOUT) {
    if (!work.stop.load() && !report()) work.stop = true;
  }
  if (!work.stop.load() && !report()) work.stop = true;
  return !work.stop.load();
}
