#include "tests/support/host_session.h"

#include "launcher/core/windows_api.h"

#include <shlobj.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "launcher/core/paths.h"
#include "launcher/core/win_handle.h"
#include "launcher/patch/download_record.h"
#include "tests/support/win_test_util.h"

struct HostSession::State {
  CKernelHandle process;
  CKernelHandle stdinWrite;
  CKernelHandle stdoutRead;
  std::thread reader;
  std::mutex mutex;
  std::condition_variable changed;
  std::string raw;       // everything received
  std::size_t used = 0;  // bytes of raw already handed out as lines
  std::vector<std::pair<std::size_t, std::uint32_t>> arrivals;  // raw size after each read, tick
  bool ended = false;
};

HostSession::HostSession() : state_(new State) {}

HostSession::~HostSession() {
  if (state_->process && WaitForSingleObject(state_->process.get(), 0) != WAIT_OBJECT_0) {
    TerminateProcess(state_->process.get(), 99);
    WaitForSingleObject(state_->process.get(), 5000);
  }
  state_->stdinWrite.reset();
  if (state_->reader.joinable()) state_->reader.join();
}

bool HostSession::Start(const std::string& exe, const std::string& arguments, const std::string& workingDir) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  CKernelHandle outWrite, inRead;
  if (!CreatePipe(state_->stdoutRead.put(), outWrite.put(), &inherit, 0) ||
      !CreatePipe(inRead.put(), state_->stdinWrite.put(), &inherit, 0)) {
    return false;
  }
  SetHandleInformation(state_->stdoutRead.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(state_->stdinWrite.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead.get();
  startup.hStdOutput = outWrite.get();
  startup.hStdError = outWrite.get();
  std::string line = "\"" + exe + "\" /pipe " + arguments;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, workingDir.c_str(), &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  state_->process.reset(info.hProcess);
  State* state = state_.get();
  // The output ends when the pipe breaks, or once the launcher has exited and the pipe is
  // drained: a game client it started may hold a duplicate of the write end for as long
  // as it runs (Wine hands the standard handles on even without inheritance).
  state_->reader = std::thread([state] {
    char buffer[4096];
    for (;;) {
      const bool exited = WaitForSingleObject(state->process.get(), 0) == WAIT_OBJECT_0;
      DWORD available = 0;
      if (!PeekNamedPipe(state->stdoutRead.get(), nullptr, 0, nullptr, &available, nullptr)) break;
      if (available == 0) {
        if (exited) break;
        WaitForSingleObject(state->process.get(), 10);
        continue;
      }
      DWORD read = 0;
      if (!ReadFile(state->stdoutRead.get(), buffer, sizeof(buffer), &read, nullptr) || read == 0) break;
      std::lock_guard<std::mutex> lock(state->mutex);
      state->raw.append(buffer, read);
      state->arrivals.emplace_back(state->raw.size(), TickMs());
      state->changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(state->mutex);
    state->ended = true;
    state->changed.notify_all();
  });
  return true;
}

bool HostSession::NextLine(std::string* line, std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  auto complete = [&] { return state_->raw.find('\n', state_->used) != std::string::npos || state_->ended; };
  if (!state_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), complete)) return false;
  std::size_t end = state_->raw.find('\n', state_->used);
  if (end == std::string::npos) {
    if (state_->used >= state_->raw.size()) return false;
    end = state_->raw.size();  // a last line without a line end
  }
  std::string text = state_->raw.substr(state_->used, end - state_->used);
  state_->used = end < state_->raw.size() ? end + 1 : end;
  if (!text.empty() && text.back() == '\r') text.pop_back();
  std::uint32_t tick = 0;
  for (const auto& arrival : state_->arrivals) {
    tick = arrival.second;
    if (arrival.first > end) break;
  }
  lines_.push_back(text);
  ticks_.push_back(tick);
  if (line != nullptr) *line = text;
  return true;
}

bool HostSession::WaitForLine(const std::string& wanted, bool prefix, std::string* found, std::uint32_t timeoutMs) {
  const std::uint32_t start = TickMs();
  std::string line;
  while (TickMs() - start < timeoutMs) {
    if (!NextLine(&line, timeoutMs - (TickMs() - start))) return false;
    if (line == wanted || (prefix && line.rfind(wanted, 0) == 0)) {
      if (found != nullptr) *found = line;
      return true;
    }
  }
  return false;
}

void HostSession::Send(const std::string& command) {
  const std::string line = command + "\n";
  DWORD written = 0;
  WriteFile(state_->stdinWrite.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int HostSession::Finish(std::uint32_t timeoutMs) {
  const std::uint32_t start = TickMs();
  while (NextLine(nullptr, timeoutMs)) {
    if (TickMs() - start > timeoutMs) break;
  }
  if (!state_->process) return -1;
  const std::uint32_t spent = TickMs() - start;
  if (WaitForSingleObject(state_->process.get(), spent < timeoutMs ? timeoutMs - spent : 0) != WAIT_OBJECT_0) {
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(state_->process.get(), &code);
  return static_cast<int>(code);
}

std::string HostSession::RawOutput() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->raw;
}

std::string HostSession::Result() const {
  for (const auto& line : lines_) {
    if (line.rfind("result : ", 0) == 0) return line.substr(9);
  }
  return "";
}

bool WriteVersionFile(const std::string& gameDir, int version) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((static_cast<std::uint32_t>(version) >> (8 * i)) & 0xFF);
  return WriteFileBytes(gameDir + "\\version.dat", bytes);
}

std::string HttpBase(const std::string& name) { return "http://" + ServerEnv("TALV_HTTP_HOST") + "/" + name; }

std::string WwwFolder(const std::string& name) { return ServerEnv("TALV_WWW_ROOT_WIN") + "\\" + name; }

std::string FtpFolder(const std::string& name) { return ServerEnv("TALV_FTP_ROOT_WIN") + "\\" + name; }

std::string LauncherLogFolder() {
  char documents[MAX_PATH] = {};
  char user[MAX_PATH] = {};
  char report[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
  LoadStringA(LauncherResources(), 60, user, sizeof(user));
  LoadStringA(LauncherResources(), 61, report, sizeof(report));
  return std::string(documents) + "\\" + user + "\\" + report;
}

std::vector<std::string> FileLines(const std::string& path) {
  std::vector<std::string> lines;
  const std::string text = ReadFileOr(path);
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

std::vector<std::string> FilesMatching(const std::string& folder, const char* pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  CFindHandle find(FindFirstFileA((folder + "\\" + pattern).c_str(), &entry));
  if (!find) return names;
  do names.emplace_back(entry.cFileName);
  while (FindNextFileA(find.get(), &entry));
  return names;
}

std::map<std::string, std::uint64_t> LinkStats() {
  std::map<std::string, std::uint64_t> stats;
  for (const std::string& line : FileLines(ServerEnv("TALV_LINK_STATS_WIN"))) {
    const std::size_t blank = line.find(' ');
    if (blank != std::string::npos) stats[line.substr(0, blank)] = std::stoull(line.substr(blank + 1));
  }
  return stats;
}

std::uint64_t LinkStat(const std::string& key) { return LinkStats()[key]; }

bool SetLink(int delayMs, int rate) {
  const std::uint64_t changes = LinkStat("link.changes");
  if (!WriteFileBytes(ServerEnv("TALV_LINK_CONTROL_WIN"),
                      "delay_ms " + std::to_string(delayMs) + "\nrate " + std::to_string(rate) + "\n")) {
    return false;
  }
  return WaitUntil([&] { return LinkStat("link.changes") > changes; }, 5000);
}

std::vector<std::string> ServedPaths(const std::string& accessLog, std::size_t fromLine, const std::string& name) {
  const std::string folder = "/" + name + "/";
  const std::vector<std::string> lines = FileLines(accessLog);
  std::vector<std::string> paths;
  for (std::size_t i = fromLine; i < lines.size(); ++i) {
    const std::size_t at = lines[i].find(folder);
    if (at == std::string::npos) continue;
    paths.push_back(lines[i].substr(at + folder.size(), lines[i].find(' ', at) - at - folder.size()));
  }
  return paths;
}

bool WriteTree(const std::string& root, const SampleGame::Files& files) {
  for (const auto& file : files) {
    const std::string path = root + "\\" + file.first;
    // By character: the second byte of a Big5 character may be the byte of "\\".
    for (const char* p = path.c_str() + root.size() + 1; *p != '\0'; p = NextPathChar(p)) {
      if (*p == '\\') CreateDirectoryA(path.substr(0, static_cast<std::size_t>(p - path.c_str())).c_str(), nullptr);
    }
    if (!WriteFileBytes(path, file.second)) return false;
  }
  return true;
}

namespace {

void Collect(const std::string& root, const std::string& relative, SampleGame::Files* out) {
  WIN32_FIND_DATAA entry;
  const std::string folder = relative.empty() ? root : root + "\\" + relative;
  CFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &entry));
  if (!find) return;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    const std::string rel = relative.empty() ? name : relative + "\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Collect(root, rel, out);
    } else if (rel != "Talvenor.exe" && rel.find("client.exe.cmdline") == std::string::npos) {
      (*out)[rel] = ReadFileOr(root + "\\" + rel);
    }
  } while (FindNextFileA(find.get(), &entry));
}

}  // namespace

void CopyTree(const std::string& from, const std::string& to) {
  CreateDirectoryA(to.c_str(), nullptr);
  WIN32_FIND_DATAA entry;
  CFindHandle find(FindFirstFileA((from + "\\*").c_str(), &entry));
  if (!find) return;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CopyTree(from + "\\" + name, to + "\\" + name);
    } else {
      CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    }
  } while (FindNextFileA(find.get(), &entry));
}

SampleGame::SampleGame(const std::string& folder) : folder_(folder) {
  CreateDirectoryA((folder_ + "\\releases").c_str(), nullptr);
}

bool SampleGame::AddRelease(int version, const Files& files) {
  const std::string dir = ReleaseDir(version);
  CreateDirectoryA(dir.c_str(), nullptr);
  CreateDirectoryA((dir + "\\movie").c_str(), nullptr);
  CreateDirectoryA((dir + "\\mp3").c_str(), nullptr);
  if (!CopyFileA(BinPath("stub_client.exe").c_str(), (dir + "\\client.exe").c_str(), FALSE)) {
    why_ = "copying the stub client failed, error " + std::to_string(GetLastError());
    return false;
  }
  if (!WriteTree(dir, files)) {
    why_ = "writing the release's files failed, error " + std::to_string(GetLastError());
    return false;
  }
  std::string command = "\"" + BinPath("talvpack.exe") + "\" manifest --version " + std::to_string(version);
  if (lastRelease_ != 0) command += " --previous \"" + ManifestPath(lastRelease_) + "\"";
  command += " \"" + dir + "\"";
  ProcessResult r = RunProcess(command, "", 120000);
  if (!r.finished || r.exitCode != 0) {
    why_ = r.started ? "talvpack manifest ended with " + std::to_string(r.exitCode) + (r.finished ? "" : " (timed out)") +
                           ": " + r.output
                     : "talvpack could not be started, error " + std::to_string(GetLastError());
    return false;
  }
  lastRelease_ = version;
  // The manifest goes to standard output; keep it without the CR the console adds.
  std::string text;
  for (char c : r.output) {
    if (c != '\r') text += c;
  }
  return WriteFileBytes(ManifestPath(version), text);
}

bool SampleGame::Install(int version) {
  RemoveTree(GameDir());
  CopyTree(ReleaseDir(version), GameDir());
  return WriteVersionFile(GameDir(), version) &&
         CopyFileA(BinPath("Talvenor.exe").c_str(), LauncherPath().c_str(), FALSE);
}

bool SampleGame::Publish(int version, const std::string& serverDir, const std::string& filesAddress,
                         const std::string& extraOptions) {
  std::string command = "\"" + BinPath("talvpack.exe") + "\" publish --version " + std::to_string(version);
  if (version > 1 && PathExists(ManifestPath(version - 1))) command += " --previous \"" + ManifestPath(version - 1) + "\"";
  command += " --login 127.0.0.1:11000 --files-address " + filesAddress + " " + extraOptions + " \"" +
             ReleaseDir(version) + "\" \"" + serverDir + "\"";
  ProcessResult r = RunProcess(command, "", 120000);
  return r.finished && r.exitCode == 0;
}

SampleGame::Files SampleGame::Snapshot() const {
  Files files;
  Collect(GameDir(), "", &files);
  return files;
}

SampleGame::Files OutsideKeptDownloads(const SampleGame::Files& snapshot, bool* onlyKept) {
  const std::string folder = "patch\\";
  SampleGame::Files outside;
  SampleGame::Files inside;
  for (const auto& file : snapshot) {
    if (file.first.rfind(folder, 0) == 0) {
      inside[file.first.substr(folder.size())] = file.second;
    } else {
      outside[file.first] = file.second;
    }
  }
  *onlyKept = inside.empty();
  const auto record = inside.find("downloads.txt");
  DownloadRecord kept;
  if (record == inside.end() || !ParseDownloadRecord(record->second.data(), record->second.size(), &kept)) {
    return outside;
  }
  inside.erase(record);
  for (const RecordedDownload& file : kept.files) inside.erase(file.name);
  *onlyKept = inside.empty();
  return outside;
}

SampleGame::Files SampleGame::ReleaseFiles(int version) const {
  Files files;
  Collect(ReleaseDir(version), "", &files);
  return files;
}

int SampleGame::InstalledVersion() const {
  const std::string bytes = ReadFileOr(GameDir() + "\\version.dat");
  if (bytes.size() < 4) return 0;
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[i]);
  return static_cast<int>(v);
}
