// The download stage with several transfers at once and further file servers: a pool of
// workers around the per-file download, each worker with its own manager and connection.
// Only the stage's own thread talks to the panel and to the host's commands; the workers
// report through counters it sums.
#include "launcher/patch/patch_helper.h"

#include "launcher/core/windows_api.h"

#include <process.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "launcher/core/clock.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/win_handle.h"
#include "launcher/patch/download_plan.h"
#include "launcher/patch/patch_info.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/transfer/download_mgr.h"
#include "launcher/ui/panel.h"
#include "launcher/ui/pipe_panel.h"

namespace {

constexpr DWORD kReportMs = 100;           // a stop or a pause reaches the workers within this
constexpr std::uint32_t kSpeedSampleMs = 1000;
constexpr std::uint32_t kPauseStepMs = 50;
constexpr std::size_t kNoServer = static_cast<std::size_t>(-1);

}  // namespace

class CTransferPool {
 public:
  CTransferPool(CPatchHelper& helper, std::vector<const PatchEntry*> entries, std::vector<std::string> locals)
      : m_helper(helper),
        m_entries(std::move(entries)),
        m_locals(std::move(locals)),
        m_done(m_entries.size(), 0),
        m_servers(Servers(helper)),
        m_serverOrder(m_servers.size()) {
    std::vector<std::uint64_t> sizes;
    for (const PatchEntry* e : m_entries) sizes.push_back(e->size);
    m_order = LargestFirst(sizes);
  }

  // Runs every file to its end; false when one failed on every server.
  bool Run(int connections);
  bool Done(std::size_t i) const { return m_done[i] != 0; }

 private:
  struct Worker {
    CTransferPool* pool = nullptr;
    std::unique_ptr<CDownloadMgr> mgr;
    std::size_t server = kNoServer;
    std::atomic<std::uint64_t> inFlight{0};  // bytes of the current file so far
    std::atomic<std::uint64_t> received{0};  // every byte this worker read, for the speed
  };

  static std::vector<std::string> Servers(const CPatchHelper& helper) {
    std::vector<std::string> servers{helper.m_serverAddress};
    const CPatchInfo& info = *helper.Context()->patchInfo;
    for (int i = 0; i < info.mirror_count; ++i) servers.emplace_back(info.mirror[i]);
    return servers;
  }

  static unsigned __stdcall WorkerStart(void* worker);
  static bool OnProgress(DownloadProgress* progress);
  bool Halted() const { return m_halt.load() || m_helper.IsStopped(); }
  void Work(Worker& worker);
  FileOutcome Fetch(Worker& worker, std::size_t file);
  FileOutcome FetchFrom(Worker& worker, std::size_t file, bool tryForms);
  bool ConnectTo(Worker& worker, std::size_t server);
  void Report(std::vector<std::unique_ptr<Worker>>& workers);

  CPatchHelper& m_helper;
  std::vector<const PatchEntry*> m_entries;  // name order
  std::vector<std::string> m_locals;
  std::vector<char> m_done;                   // written by the worker that fetched the file
  std::vector<std::size_t> m_order;           // largest first
  std::atomic<std::size_t> m_next{0};
  const std::vector<std::string> m_servers;   // the patch information's server, then its mirrors
  std::mutex m_lock;                          // guards m_serverOrder and m_lastStarted
  ServerOrder m_serverOrder;
  std::size_t m_lastStarted = kNoServer;
  std::size_t m_shownStarted = kNoServer;
  std::atomic<bool> m_halt{false};
  std::atomic<bool> m_failed{false};
  std::uint32_t m_sampleTick = 0;
  std::uint64_t m_sampleBytes = 0;
};

unsigned __stdcall CTransferPool::WorkerStart(void* worker) {
  auto* w = static_cast<Worker*>(worker);
  w->pool->Work(*w);
  return 0;
}

// Before every block of every transfer: a stop ends the transfer, a pause holds it here
// until the stage's thread sees the host's resume.
bool CTransferPool::OnProgress(DownloadProgress* progress) {
  auto* w = static_cast<Worker*>(progress->context);
  while (g_pipePaused && !w->pool->Halted()) SleepMs(kPauseStepMs);
  if (w->pool->Halted()) return false;
  w->inFlight = progress->transferred;
  w->received += progress->lastRead;
  return true;
}

bool CTransferPool::ConnectTo(Worker& worker, std::size_t server) {
  if (worker.mgr && worker.server == server) return true;
  worker.mgr.reset();
  worker.server = kNoServer;
  ServerAddress address;
  std::unique_ptr<CDownloadMgr> mgr(CDownloadMgr::CreateDownloadMgr(m_servers[server].c_str(), &address));
  if (!mgr) return false;
  mgr->SetStallLimit(kStallLimitMs);
  mgr->SetStopFlag(&m_halt);  // a stop reaches a transfer that waits on a silent server
  const auto halted = [](void* pool) { return static_cast<CTransferPool*>(pool)->Halted(); };
  switch (ConnectWithRetries(*mgr, address, halted, this)) {
    case ConnectResult::Connected:
      worker.mgr = std::move(mgr);
      worker.server = server;
      return true;
    case ConnectResult::Stopped:
      return false;
    case ConnectResult::Failed:
      break;
  }
  g_launcher.Log("Fail to Connect to file server : %s", m_servers[server].c_str());
  return false;
}

// One file on the worker's server: its smaller forms the first time (as with one transfer),
// else the raw file. A done raw file is counted here, a form by the helper.
FileOutcome CTransferPool::FetchFrom(Worker& worker, std::size_t file, bool tryForms) {
  const PatchEntry& entry = *m_entries[file];
  const char* local = m_locals[file].c_str();
  const FileTransfer transfer{worker.mgr.get(), &CTransferPool::OnProgress, &worker, &m_halt};
  if (tryForms && m_helper.DownloadByForm(entry, local, transfer)) {
    return Halted() ? FileOutcome::kStopped : FileOutcome::kDone;
  }
  if (Halted()) return FileOutcome::kStopped;
  if (worker.mgr->Stalled()) return FileOutcome::kFailed;  // the raw file goes to the next server
  const FileOutcome outcome = m_helper.DownloadOne(entry, local, transfer);
  if (outcome == FileOutcome::kDone) m_helper.m_doneSize += entry.size;
  return outcome;
}

// One file, on each server in turn until one serves it whole and matching its digest.
FileOutcome CTransferPool::Fetch(Worker& worker, std::size_t file) {
  const PatchEntry& entry = *m_entries[file];
  const char* local = m_locals[file].c_str();
  std::vector<std::size_t> servers;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    servers = m_serverOrder.Order();
    m_lastStarted = file;
  }
  g_launcher.Log("Downloading file : %s", entry.name.c_str());
  bool formsTried = false;
  for (std::size_t j = 0; j < servers.size(); ++j) {
    const std::size_t server = servers[j];
    if (j > 0) {
      g_launcher.Log("Trying next file server for %s : %s", entry.name.c_str(), m_servers[server].c_str());
      DeleteFileA(local);  // what the last server wrote must not be resumed
    }
    FileOutcome outcome = FileOutcome::kFailed;
    if (ConnectTo(worker, server)) {
      outcome = FetchFrom(worker, file, !formsTried);
      formsTried = true;
      worker.inFlight = 0;
      if (outcome == FileOutcome::kFailed && worker.mgr->Stalled()) {
        g_launcher.Log("No data for %u seconds, transfer of %s abandoned on file server : %s",
                       static_cast<unsigned>(kStallLimitMs / 1000), entry.name.c_str(), m_servers[server].c_str());
        // The stalled connection may be gone with the call; the next file connects afresh.
        worker.mgr.reset();
        worker.server = kNoServer;
      }
    }
    if (outcome == FileOutcome::kDone) return outcome;
    if (outcome == FileOutcome::kStopped || Halted()) return FileOutcome::kStopped;
    std::lock_guard<std::mutex> lock(m_lock);
    m_serverOrder.Demote(server);
  }
  return FileOutcome::kFailed;
}

void CTransferPool::Work(Worker& worker) {
  while (!Halted()) {
    const std::size_t k = m_next++;
    if (k >= m_order.size()) break;
    const std::size_t file = m_order[k];
    switch (Fetch(worker, file)) {
      case FileOutcome::kDone:
        m_done[file] = 1;
        break;
      case FileOutcome::kStopped:
        break;
      case FileOutcome::kFailed:
        g_launcher.Log("Fail to GetFile from every file server : %s", m_entries[file]->name.c_str());
        m_failed = true;
        m_halt = true;
        break;
    }
  }
  worker.mgr.reset();  // each connection closes on its own thread, at once
}

// The panel shows the sum over the transfers; the text is the file that started last.
void CTransferPool::Report(std::vector<std::unique_ptr<Worker>>& workers) {
  m_helper.KeepRecordCurrent();  // the record of downloads (kept_downloads_win.cpp)
  std::uint64_t done = m_helper.m_doneSize;
  std::uint64_t received = 0;
  for (const auto& w : workers) {
    done += w->inFlight;
    received += w->received;
  }
  IPanel& panel = m_helper.Panel();
  std::size_t started;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    started = m_lastStarted;
  }
  if (started != m_shownStarted && started != kNoServer) {
    m_shownStarted = started;
    panel.SetText(m_entries[started]->name.c_str());
  }
  const std::uint64_t total = m_helper.m_totalSize;
  panel.SetProgress(static_cast<int>((done / 10) / (total / 1000 + 1)));
  panel.SetSize(done, total);
  const std::uint32_t now = TickCount();
  if (now - m_sampleTick >= kSpeedSampleMs) {
    panel.SetSpeed(static_cast<std::uint32_t>(received - m_sampleBytes), m_sampleTick);
    m_sampleTick = now;
    m_sampleBytes = received;
  }
}

bool CTransferPool::Run(int connections) {
  const std::size_t count = TransferCount(connections, m_entries.size());
  AllowConnectionsPerServer(static_cast<std::uint32_t>(count));
  std::vector<std::unique_ptr<Worker>> workers;
  std::vector<CKernelHandle> threads;
  std::vector<HANDLE> handles;
  for (std::size_t i = 0; i < count; ++i) {
    workers.push_back(std::make_unique<Worker>());
    workers.back()->pool = this;
    CKernelHandle thread(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WorkerStart, workers.back().get(), 0, nullptr)));
    if (!thread) {
      g_launcher.Log("DownloadFiles() : _beginthreadex() failed.");
      workers.pop_back();
      break;
    }
    handles.push_back(thread.get());
    threads.push_back(std::move(thread));
  }
  m_sampleTick = TickCount();
  if (handles.empty()) {
    Worker alone;
    alone.pool = this;
    Work(alone);
  }
  while (!handles.empty() && WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE,
                                                    kReportMs) == WAIT_TIMEOUT) {
    if (m_helper.IsStopped()) {
      m_halt = true;
    } else if (!ProcessPipeCommands()) {
      m_helper.RequestStop();
      m_halt = true;
    }
    Report(workers);
  }
  Report(workers);
  return !m_failed;
}

bool CPatchHelper::UsesSeveralTransfers() const {
  const CPatchInfo* info = m_context != nullptr ? m_context->patchInfo : nullptr;
  return info != nullptr && (info->connections > kMinConnections || info->mirror_count > 0);
}

bool CPatchHelper::DownloadFilesAtOnce() {
  Panel().SetProgress(0);
  Panel().SetPanelType(PanelDownload);
  std::vector<const PatchEntry*> entries;
  std::vector<std::string> locals;
  for (const auto& item : m_downloadSet) {
    char local[kMaxPath];
    if (!LocalPathFor(item.second, local)) return false;
    entries.push_back(&item.second);
    locals.emplace_back(local);
  }
  PlanTransferForms();  // the total then counts the forms that travel
  DropFormsOfKeptFiles();
  Panel().SetSize(0, m_totalSize);
  CTransferPool pool(*this, entries, locals);
  const bool fetched = entries.empty() || pool.Run(m_context->patchInfo->connections);
  // The moves and the roll-back go by the manifest's order, whatever order the files came in.
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (fetched || (g_launcher.m_installRequested && pool.Done(i))) KeepDownloaded(*entries[i], locals[i].c_str());
  }
  if (!fetched) {
    // A file that could not be written for want of room fails on every server alike: the
    // player is told the disk is full, as with one transfer.
    int message = IDS_SERVER_UNREACHABLE;
    for (std::size_t i = 0; i < entries.size() && message != IDS_DISK_FULL; ++i) {
      if (!pool.Done(i)) message = WriteFailureMessage(IDS_SERVER_UNREACHABLE, locals[i], entries[i]->size);
    }
    g_launcher.ShowMessage(0, message, kMessageInfo);
    return false;
  }
  LogTransferSavings();
  Panel().SetProgress(100);
  return true;
}
