// Helpers for the tests that run under Wine: scratch folders, files, processes, and the
// addresses of the test servers started by the ctest fixture (tests/servers/servers.py).
#pragma once
#include <cstdint>
#include <string>

// Folder of the running test program; the programs of the build lie beside it.
std::string BinDir();
std::string BinPath(const std::string& name);

struct HINSTANCE__;
// Talvenor.exe loaded as a data file: its string table and "BIN" resources for the tests.
HINSTANCE__* LauncherResources();
// An entry of that string table as the launcher shows it; "" when there is none.
std::string LauncherString(int id);
// Text in the launcher's code page (950), for comparing with what its windows show.
std::string Big5(const wchar_t* text);

// Output of "reg query KEY /v VALUE" (KEY with its root, "HKCU\\..."; an empty value name
// queries the default value); "" when reg reports no such value.
std::string RegQuery(const std::string& key, const std::string& value);

// A fresh empty folder under the Windows temporary folder, removed with everything in it
// when the object goes.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool ReadFileBytes(const std::string& path, std::string* bytes);
std::string ReadFileOr(const std::string& path, const std::string& fallback = "");
bool PathExists(const std::string& path);
// The size of a file, 0 when there is none; it reads the file's entry only, so a file the
// launcher holds open unshared can be looked at while it grows.
std::uint64_t FileSize(const std::string& path);
void RemoveTree(const std::string& path);

struct ProcessResult {
  bool started = false;
  bool finished = false;  // false: still running at the time limit (it was killed)
  std::uint32_t exitCode = 0;
  std::string output;  // standard output and error, when captured
};

// Runs a command line and waits up to timeoutMs. With captureOutput, standard output and
// error are read through a pipe; input, when given, is written to standard input.
ProcessResult RunProcess(const std::string& commandLine, const std::string& workingDir = "",
                         std::uint32_t timeoutMs = 60000, bool captureOutput = true,
                         const std::string& input = "");

// A program started without waiting; killed when the object goes if still running.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  bool Start(const std::string& commandLine, const std::string& workingDir = "");
  // Waits up to timeoutMs; true when the process ended (its code in *exitCode).
  bool Wait(std::uint32_t timeoutMs, std::uint32_t* exitCode = nullptr);
  void Kill();
  std::uint32_t Id() const;  // the process id; 0 when none was started

 private:
  void* process_ = nullptr;
};

// Starts a helper program of tests/helpers and waits (bounded) until it reports ready by
// creating its ready file. Returns false when it did not get ready within timeoutMs.
bool StartHelper(ChildProcess& child, const std::string& helper, const std::string& arguments,
                 std::uint32_t timeoutMs = 20000);

// Polls until the predicate holds or timeoutMs passes; returns the predicate's last value.
template <typename Predicate>
bool WaitUntil(Predicate predicate, std::uint32_t timeoutMs);
std::uint32_t TickMs();
void PauseMs(std::uint32_t ms);

template <typename Predicate>
bool WaitUntil(Predicate predicate, std::uint32_t timeoutMs) {
  const std::uint32_t start = TickMs();
  while (!predicate()) {
    if (TickMs() - start >= timeoutMs) return predicate();
    PauseMs(20);
  }
  return true;
}

// A server of the test fixture: the value of KEY from the environment ("" when unset).
std::string ServerEnv(const char* key);
// True when the fixture servers are up (skip network tests otherwise).
bool ServersAvailable();
