#include "tests/support/win_test_util.h"

#include "launcher/core/windows_api.h"

#include <cstdlib>
#include <thread>

#include "launcher/core/safe_file.h"
#include "launcher/core/win_handle.h"

std::string BinDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string dir(path, n);
  return dir.substr(0, dir.find_last_of("\\/"));
}

std::string BinPath(const std::string& name) { return BinDir() + "\\" + name; }

HINSTANCE__* LauncherResources() {
  static HMODULE module = LoadLibraryExA(BinPath("Talvenor.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  return module;
}

std::string LauncherString(int id) {
  char text[1024] = {};
  LoadStringA(LauncherResources(), static_cast<UINT>(id), text, sizeof(text));
  return text;
}

std::string Big5(const wchar_t* text) {
  const int n = WideCharToMultiByte(950, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return "";
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(950, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n - 1));
  return out;
}

std::string RegQuery(const std::string& key, const std::string& value) {
  ProcessResult r = RunProcess("reg query \"" + key + "\" " + (value.empty() ? std::string("/ve") : "/v \"" + value + "\""));
  return r.finished && r.exitCode == 0 ? r.output : "";
}

ScopedTempDir::ScopedTempDir() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof(temp), temp);
  static unsigned counter = 0;
  for (;;) {
    path_ = std::string(temp) + "talvtest_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(GetTickCount()) + "_" + std::to_string(++counter);
    if (CreateDirectoryA(path_.c_str(), nullptr)) break;
  }
}

ScopedTempDir::~ScopedTempDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
  CFile::RemoveDirectory(path.c_str(), true);
  // Dot names are kept by the launcher's removal; tests leave nothing behind.
  WIN32_FIND_DATAA entry;
  CFindHandle find(FindFirstFileA((path + "\\*").c_str(), &entry));
  if (find) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find.get(), &entry));
  }
  find.reset();
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(path.c_str());
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  CFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool ReadFileBytes(const std::string& path, std::string* bytes) {
  CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bytes->clear();
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes->append(buffer, read);
  return true;
}

std::string ReadFileOr(const std::string& path, const std::string& fallback) {
  std::string bytes;
  return ReadFileBytes(path, &bytes) ? bytes : fallback;
}

std::uint64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

ProcessResult RunProcess(const std::string& commandLine, const std::string& workingDir, std::uint32_t timeoutMs,
                         bool captureOutput, const std::string& input) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  CKernelHandle outRead, outWrite, inRead, inWrite;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  if (captureOutput) {
    CreatePipe(outRead.put(), outWrite.put(), &inherit, 0);
    SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    CreatePipe(inRead.put(), inWrite.put(), &inherit, 0);
    SetHandleInformation(inWrite.get(), HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite.get();
    startup.hStdError = outWrite.get();
    startup.hStdInput = inRead.get();
  }
  std::string line = commandLine;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, captureOutput ? TRUE : FALSE, 0, nullptr,
                      workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
    return result;
  }
  result.started = true;
  CKernelHandle process(info.hProcess), thread(info.hThread);
  std::thread reader;
  if (captureOutput) {
    outWrite.reset();
    inRead.reset();
    reader = std::thread([&] {
      char buffer[4096];
      DWORD read = 0;
      while (ReadFile(outRead.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        result.output.append(buffer, read);
      }
    });
    if (!input.empty()) {
      DWORD written = 0;
      WriteFile(inWrite.get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    }
  }
  if (WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0) {
    result.finished = true;
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    result.exitCode = code;
  } else {
    TerminateProcess(process.get(), 99);
    WaitForSingleObject(process.get(), 5000);
  }
  inWrite.reset();
  if (reader.joinable()) reader.join();
  return result;
}

std::string ServerEnv(const char* key) {
  const char* value = std::getenv(key);
  return value != nullptr ? value : "";
}

bool ServersAvailable() { return !ServerEnv("TALV_HTTP_HOST").empty(); }

ChildProcess::~ChildProcess() {
  Kill();
}

bool ChildProcess::Start(const std::string& commandLine, const std::string& workingDir) {
  Kill();
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  return true;
}

bool ChildProcess::Wait(std::uint32_t timeoutMs, std::uint32_t* exitCode) {
  if (process_ == nullptr) return true;
  if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  if (exitCode != nullptr) *exitCode = code;
  return true;
}

std::uint32_t ChildProcess::Id() const { return process_ != nullptr ? GetProcessId(process_) : 0; }

void ChildProcess::Kill() {
  if (process_ == nullptr) return;
  if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
  process_ = nullptr;
}

bool StartHelper(ChildProcess& child, const std::string& helper, const std::string& arguments,
                 std::uint32_t timeoutMs) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof(temp), temp);
  static unsigned counter = 0;
  const std::string ready = std::string(temp) + "talv_ready_" + std::to_string(GetCurrentProcessId()) + "_" +
                            std::to_string(++counter);
  DeleteFileA(ready.c_str());
  if (!child.Start("\"" + BinPath(helper + ".exe") + "\" " + arguments + " \"" + ready + "\"")) return false;
  bool ok = WaitUntil([&] { return PathExists(ready); }, timeoutMs);
  DeleteFileA(ready.c_str());
  return ok;
}

std::uint32_t TickMs() { return GetTickCount(); }
void PauseMs(std::uint32_t ms) { Sleep(ms); }
