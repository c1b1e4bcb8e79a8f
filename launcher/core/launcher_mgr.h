// CLauncherMgr: the one process-wide launcher state. The header carries no Windows header,
// so pure code (parsers, path helpers) reaches the log and the settings from the host build.
#pragma once
#include <cstdint>
#include <list>
#include <string>

#include "launcher/core/installed_file_tree.h"
#include "launcher/core/limits.h"
#include "launcher/core/screen_type.h"
#include "launcher/core/text.h"

// Window and module handles, declared as <windows.h> declares them (STRICT).
struct HWND__;
struct HINSTANCE__;
class CDialog;
class CLauncherMgr;

constexpr int LauncherVersion = 205;

enum LauncherMode : int {
  ModePatch = 1,
  ModeInstall = 2,
  ModeZipInstall = 3,
  ModeSplitInstall = 4,
  ModeUninstall = 5,
};

// Message box types (the system's values): information and question.
constexpr int kMessageInfo = 0;
constexpr int kMessageQuestion = 4;

// Receives every formatted log line (CR LF included) before it is written. Tests install
// one to see what the code logs.
using LogTap = void (*)(const char* line, void* context);

// Shows a message: the program installs the skinned message box (or host mode's pipe line,
// launcher/app), tests their own. Gets the string id (0 when the text came from no string)
// and returns the button that closed the box. Without a hook nothing is shown and the
// result is 0, as if an information box had closed itself.
using MessageHook = int (*)(int stringId, const char* text, int type, void* context);

// The screens and the run after start-up live on the floors above core: the program lends
// them at start-up (launcher/app's UseLauncherScreens), the way it installs the message hook.
// Without them no screen is made and Run returns at once.
struct ScreenHooks {
  // A new screen by type, its window created (a window that could not be made is
  // logged by the screen); null when none could be made.
  CDialog* (*create)(ScreenType type);
  // Destroys every listed screen before it frees any.
  void (*destroyAll)(std::list<CDialog*>& dialogs);
  // The first screen by mode and its message loop, or host mode's run.
  void (*run)(CLauncherMgr& mgr);
};

class CLauncherMgr {
 public:
  CLauncherMgr() = default;
  CLauncherMgr(const CLauncherMgr&) = delete;
  CLauncherMgr& operator=(const CLauncherMgr&) = delete;

  // --- Start-up, command line and modes -------------------------------------------------
  // Run, Shutdown and CreateDialog reach the screens through the screen hooks.
  bool Init(const char* commandLine, HINSTANCE__* instance);
  void ParseCommandLine();
  void Run();
  bool Shutdown();
  bool SetGameDir(const char* path);
  char* GetUserFolder(char* out);
  // Copies the patch information's "login" and "arg" values; null leaves a field unchanged.
  void SetLoginAddress(const char* address);
  void SetClientArgs(const char* args);
  // The installer data file names looked for in the working directory (case-sensitive
  // "exe" replacement in the whole path), from the launcher's module path.
  bool InstallerDataFile(const char* modulePath, const char* extension, char* out,
                         std::size_t outSize) const;
  // Self-extracting trailer of an executable (default: the launcher's own).
  bool CheckSelfExtract(const char* exePath = nullptr, std::uint32_t* a = nullptr,
                        std::uint32_t* b = nullptr, std::uint32_t* c = nullptr,
                        std::int64_t* p = nullptr);
  bool ReadExePatchVersions(std::uint32_t* begin, std::uint32_t* end,
                            const char* exePath = nullptr);

  // --- Log --------------------------------------------------------------------------------
  void Log(const char* format, ...) const TALV_PRINTF(2, 3);
  void WriteLogHeader() const;
  void WriteDateTime() const;
  void CopyLog(std::uint32_t fromVersion, std::uint32_t toVersion) const;
  void LogDirectoryListing(const char* directory, bool recursive) const;
  void SetLogTap(LogTap tap, void* context) { m_logTap = tap; m_logTapContext = context; }

  // --- Main window, dialogs and messages -----------------------------------------------
  bool CreateMainWindow();
  CDialog* CreateDialog(ScreenType type);
  void DestroyMainWindow();
  void MinimizeMainWindow();
  int MessageBox(const char* text, int type);
  int ShowMessage(int code, int stringId, int type);
  void ShowRunError();
  char* GetString(std::size_t size, char* buffer, int id);
  void* LoadBitmap(int id);
  const void* LoadBinResource(int id, std::uint32_t* size);
  void OpenWebPage(const char* address);
  void WriteReadme(const char* folder);
  void SetMessageHook(MessageHook hook, void* context) { m_messageHook = hook; m_messageHookContext = context; }
  void SetScreenHooks(const ScreenHooks* hooks) { m_screens = hooks; }
  // Host mode: a message box becomes the line "message : ID : TEXT" (markers and line
  // breaks removed) and a question is answered "no".
  static std::string HostMessageLine(int stringId, const char* text);

  // --- Environment checks -------------------------------------------------------------
  std::uint32_t GetSecuritySize(const char* path);

  // --- Game client start ----------------------------------------------------------------
  // The client in m_gameDir with login server, version and pass-through options.
  bool StartClient(const char* extraArgs, int version);
  // The installed launcher in m_gameDir with the pass-through options.
  bool StartLauncher();
  // Writes talvremover (BIN 116) to a temporary file, starts it on the launcher's own path
  // and closes the main window.
  bool StartSelfRemover();
  // The command lines, built into out (1024 bytes). A line that does not fit is refused
  // (out emptied, a log line): a cut option would hand the client a wrong value.
  bool BuildClientCommandLine(const char* exePath, bool devClient, const char* extraArgs, int version,
                              char* out, std::size_t outSize) const;
  bool BuildLauncherCommandLine(const char* exePath, char* out, std::size_t outSize) const;
  // Appends the pass-through options (" domain:", " /N: /V: /T:" when all three are set,
  // " /P:"); false when they do not fit (out then holds whatever fitted).
  bool AppendPassThroughOptions(char* out, std::size_t size) const;

  // --- Registry store ---------------------------------------------------------------------
  // out holds kMaxPath bytes; true when the product key names a game directory.
  bool ReadGameDirFromRegistry(char* out);
  bool WriteUninstallEntry();
  bool RegisterLobbyApplication();
  bool IsLobbyApplicationRegistered();
  bool RemoveProductKey();
  bool RemoveDirectPlayRegistration();
  bool SetBrowserEmulation();
  bool RemoveBrowserEmulation();
  bool LoadInstalledFiles();
  bool SaveInstalledFiles();
  void AddInstalledFile(const char* path);
  bool DeleteInstalledFiles();
  // Replaces the installed-file record by the parse of a "Files" text and marks it
  // unchanged; false (and a log line) when the text was damaged.
  bool ParseInstalledFiles(const char* text, std::size_t length);
  // version.dat in m_gameDir; 0 when it cannot be opened or holds fewer than 4 bytes.
  int ReadClientVersion();
  bool WriteClientVersion(int version);

  // --- Fields -----------------------------------------------------------------------------
  bool m_initialized = false;
  HINSTANCE__* m_hInstance = nullptr;
  char m_commandLine[kMaxCommandLine] = {};
  char m_currentDir[kMaxPath] = {};
  LauncherMode m_mode = ModePatch;
  bool m_forcePatch = false;
  bool m_repair = false;  // "repair": check every file of the latest version, fetch the broken ones
  bool m_forceUpdateLauncher = false;
  bool m_npc = false;
  char m_gameDir[kMaxPath] = {};
  char m_installerDir[kMaxPath] = {};
  char m_patchDir[kMaxPath] = {};
  char m_clientArgs[kMaxPath] = {};
  char m_loginAddress[kMaxPath] = {};
  char m_devFtp[kMaxPath] = {};
  char m_patchBaseUrl[kMaxPath] = {};
  char m_title[kMaxPath] = {};
  char m_userFolderName[kMaxPath] = {};
  char m_domain[kMaxPath] = {};
  char m_passN[kMaxPath] = {};
  char m_passV[kMaxPath] = {};
  char m_passT[kMaxPath] = {};
  char m_passport[kMaxCommandLine] = {};
  HWND__* m_mainWnd = nullptr;
  std::list<CDialog*> m_dialogs;
  InstalledFileTree m_installedFiles;
  bool m_installedFilesDirty = false;
  char m_logPath[kMaxPath] = {};
  bool m_ogmInstall = false;
  bool m_oguTry = false;
  bool m_installRequested = false;
  bool m_exePatch = false;
  // Host mode ("/pipe"): no dialog; progress and messages go to standard output as lines.
  bool m_pipeMode = false;
  bool m_hostPlay = false;  // "play": start the client after a successful host-mode run
  int m_exitCode = 0;       // process exit code chosen by the run
  // The publisher's key of the update documents, in minisign's public key format, set by the
  // program entry from the build setting; empty: the documents are read unsigned.
  const char* m_updatePublicKey = "";

 private:
  void ResetState();
  int ShowMessageBox(int stringId, const char* text, int type);
  template <typename Reader>
  bool ReadExecutableTail(const char* exePath, Reader read);

  bool m_comInitialized = false;
  LogTap m_logTap = nullptr;
  void* m_logTapContext = nullptr;
  MessageHook m_messageHook = nullptr;
  void* m_messageHookContext = nullptr;
  const ScreenHooks* m_screens = nullptr;
};

// The process-wide instance.
extern CLauncherMgr g_launcher;
