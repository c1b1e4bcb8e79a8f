// Drives Talvenor.exe in host mode ("/pipe") the way a host program does: reads its
// progress lines as they come, sends it commands on standard input, and collects the
// exit code. Also lays out sample games and patch server trees with talvpack.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class HostSession {
 public:
  HostSession();
  ~HostSession();  // kills a launcher still running
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // Starts `"exe" /pipe arguments` in workingDir with its standard input and output piped.
  bool Start(const std::string& exe, const std::string& arguments, const std::string& workingDir);
  // The next line without its CR LF; false at the end of the output or after timeoutMs.
  bool NextLine(std::string* line, std::uint32_t timeoutMs = 120000);
  // Reads lines until one equals line (or starts with it when prefix); false when none came.
  bool WaitForLine(const std::string& line, bool prefix = false, std::string* found = nullptr,
                   std::uint32_t timeoutMs = 120000);
  void Send(const std::string& command);  // one command line ("pause", "resume", "cancel")
  // Reads the rest of the output and waits for the process; its exit code, or -1 on timeout.
  int Finish(std::uint32_t timeoutMs = 180000);

  const std::vector<std::string>& Lines() const { return lines_; }  // every line read so far
  // Tick (ms) at which each line of Lines() arrived from the launcher.
  const std::vector<std::uint32_t>& LineTicks() const { return ticks_; }
  std::string RawOutput() const;  // the bytes exactly as the launcher wrote them
  std::string Result() const;     // the value of the "result : " line, "" when none

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::vector<std::string> lines_;
  std::vector<std::uint32_t> ticks_;
};

// A sample game and its patch server, laid out with the real talvpack.exe.
//   files: relative name ("data\\a.txt") -> content; the stub client is added as client.exe
//   with the folders movie and mp3 that make an installation.
class SampleGame {
 public:
  using Files = std::map<std::string, std::string>;

  // folder: where game/, releases/ and the manifests live (a scratch folder of the test).
  explicit SampleGame(const std::string& folder);

  // Writes release `version` of the game into releases\<version> and its manifest
  // (against the previous release, when there is one).
  bool AddRelease(int version, const Files& files);
  // Why the last AddRelease, Install or Publish failed, for the test's message.
  const std::string& Why() const { return why_; }
  // Installs release `version` into game\ (with version.dat).
  bool Install(int version);
  // Publishes release `version` into serverDir (absent or empty) with talvpack publish.
  bool Publish(int version, const std::string& serverDir, const std::string& filesAddress,
               const std::string& extraOptions = "");

  std::string GameDir() const { return folder_ + "\\game"; }
  std::string ReleaseDir(int version) const { return folder_ + "\\releases\\" + std::to_string(version); }
  std::string ManifestPath(int version) const { return folder_ + "\\version_" + std::to_string(version) + ".txt"; }
  // A copy of the built Talvenor.exe inside the game folder, as players have it.
  std::string LauncherPath() const { return GameDir() + "\\Talvenor.exe"; }
  // Files of the game folder (relative names) with their contents, launcher and logs aside.
  Files Snapshot() const;
  // Files of release `version` as published (client.exe included).
  Files ReleaseFiles(int version) const;
  int InstalledVersion() const;

 private:
  std::string folder_;
  int lastRelease_ = 0;
  std::string why_;
};

// The files of a game snapshot outside its temporary folder ("patch\\..."). *onlyKept tells
// whether the temporary folder holds nothing but what a stopped run keeps for the next one:
// the record of downloads and the files it names (true also when there is no folder).
SampleGame::Files OutsideKeptDownloads(const SampleGame::Files& snapshot, bool* onlyKept);

// Writes files (relative name -> content) under root, creating the folders they need.
bool WriteTree(const std::string& root, const SampleGame::Files& files);
// Copies a folder with everything below it (the target folder is created, files replaced).
void CopyTree(const std::string& from, const std::string& to);
// Writes version.dat (4 bytes, little-endian) into a game folder.
bool WriteVersionFile(const std::string& gameDir, int version);
// The URL base and server-tree folder for the nginx fixture: http://HOST/<name> and its
// folder under the web root (Windows path).
std::string HttpBase(const std::string& name);
std::string WwwFolder(const std::string& name);
// The server-tree folder under the FTP root of the fixture (Windows path).
std::string FtpFolder(const std::string& name);
// Folder of launcher_log.txt and its per-version copies (documents, user folder, report folder).
std::string LauncherLogFolder();
// Lines of a text file, without their line ends.
std::vector<std::string> FileLines(const std::string& path);
// Names of a folder's entries that match a FindFirstFile pattern ("ren*.tmp").
std::vector<std::string> FilesMatching(const std::string& folder, const char* pattern);
// The link emulator's counters ("KEY VALUE" lines of its stats file); a key not there is 0.
std::map<std::string, std::uint64_t> LinkStats();
std::uint64_t LinkStat(const std::string& key);
// Sets the link emulator's delay and limit for the connections made from now on and starts
// its peaks afresh; returns once it took them.
bool SetLink(int delayMs, int rate);
// The paths below the server tree `name` ("version.txt", "Talvenor/data/a.txt") that lines
// of nginx's access log from line `fromLine` on asked for, in order.
std::vector<std::string> ServedPaths(const std::string& accessLog, std::size_t fromLine, const std::string& name);
