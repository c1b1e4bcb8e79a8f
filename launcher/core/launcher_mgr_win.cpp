// CLauncherMgr start-up (the modes, the log file) and its end on Windows. What follows
// start-up needs the screens and reaches them through the screen hooks (launcher/app).
#include "launcher/core/windows_api.h"

#include <cstring>

#include "launcher/core/env_checks.h"
#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/self_extract.h"
#include "launcher/core/win_handle.h"
#include "launcher/resources/resource_ids.h"

namespace {

class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(HANDLE file) : file_(file) {}
  std::int64_t Size() override {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file_, &size) ? size.QuadPart : -1;
  }
  bool ReadAt(std::int64_t offset, void* buffer, std::size_t length) override {
    LARGE_INTEGER at;
    at.QuadPart = offset;
    DWORD read = 0;
    return SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) &&
           ReadFile(file_, buffer, static_cast<DWORD>(length), &read, nullptr) && read == length;
  }

 private:
  HANDLE file_;
};

CFileHandle OpenForReading(const char* path) {
  return CFileHandle(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

bool CLauncherMgr::Init(const char* commandLine, HINSTANCE__* instance) {
  if (m_initialized) return false;
  m_initialized = true;
  m_hInstance = instance;
  ResetState();
  if (commandLine != nullptr) {
    CopyString(m_commandLine, commandLine);
  } else {
    std::memset(m_commandLine, 0, sizeof(m_commandLine));
  }
  m_comInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));

  DWORD n = GetCurrentDirectoryA(sizeof(m_currentDir), m_currentDir);
  if (n == 0 || n >= sizeof(m_currentDir)) m_currentDir[0] = '\0';
  if (!AddTrailingSeparator(m_currentDir)) m_currentDir[0] = '\0';

  ParseCommandLine();

  GetString(sizeof(m_title), m_title, IDS_PRODUCT_TITLE);
  GetString(sizeof(m_userFolderName), m_userFolderName, IDS_USER_FOLDER);

  char logFolder[kMaxPath];
  char documents[MAX_PATH];
  if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents))) {
    char reportFolder[kMaxPath];
    char userFolder[kMaxPath];
    JoinPath(m_userFolderName, userFolder, documents);
    JoinPath(GetString(sizeof(reportFolder), reportFolder, IDS_LOG_FOLDER), logFolder, userFolder);
    CreateDirectories(logFolder, false);
  } else {
    CopyString(logFolder, m_currentDir);
  }
  JoinPath("launcher_log.txt", m_logPath, logFolder);
  CFileHandle(CreateFileA(m_logPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));

  WriteLogHeader();

  char module[kMaxPath];
  if (GetModulePath(module)) {
    char dataFile[kMaxPath];
    if (InstallerDataFile(module, "tlvn", dataFile, sizeof(dataFile)) && FileExists(dataFile)) {
      m_mode = ModeZipInstall;
      Log("ZipInstaller Mode.");
    } else if (InstallerDataFile(module, "dat", dataFile, sizeof(dataFile)) && FileExists(dataFile)) {
      m_mode = ModeSplitInstall;
      Log("SplitInstaller Mode.");
    }
    if (CheckSelfExtract(module)) {
      m_mode = ModePatch;
      m_exePatch = true;
      Log("ExePatch Mode.");
    }
  }

  if (IsCompatibilityModeSet()) {
    ClearCompatibilityMode();
    ShowMessage(0, IDS_COMPATIBILITY_MODE_REMOVED, kMessageInfo);
    return false;
  }
  return true;
}

char* CLauncherMgr::GetUserFolder(char* out) {
  if (!m_initialized || out == nullptr) return nullptr;
  out[0] = '\0';
  char documents[MAX_PATH];
  if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents))) {
    JoinPath(m_userFolderName, out, documents, kMaxPath);
  }
  return out;
}

// Runs read on the executable (the launcher's own when exePath is null) with the size of
// its certificate table, which the trailer stands in front of.
template <typename Reader>
bool CLauncherMgr::ReadExecutableTail(const char* exePath, Reader read) {
  char module[kMaxPath];
  if (exePath == nullptr) {
    if (!GetModulePath(module)) return false;
    exePath = module;
  }
  const std::uint32_t security = GetSecuritySize(exePath);
  CFileHandle file = OpenForReading(exePath);
  if (!file) return false;
  FileByteSource source(file.get());
  return read(source, security);
}

bool CLauncherMgr::CheckSelfExtract(const char* exePath, std::uint32_t* a, std::uint32_t* b,
                                    std::uint32_t* c, std::int64_t* p) {
  SelfExtractTrailer trailer;
  if (!ReadExecutableTail(exePath, [&](ByteSource& source, std::uint32_t security) {
        return ReadSelfExtractTrailer(source, security, &trailer);
      })) {
    return false;
  }
  if (a != nullptr) *a = trailer.a;
  if (b != nullptr) *b = trailer.b;
  if (c != nullptr) *c = trailer.c;
  if (p != nullptr) *p = trailer.p;
  return true;
}

bool CLauncherMgr::ReadExePatchVersions(std::uint32_t* begin, std::uint32_t* end, const char* exePath) {
  if (m_mode != ModePatch) return false;
  return ReadExecutableTail(exePath, [&](ByteSource& source, std::uint32_t security) {
    return ReadExePatchRange(source, security, begin, end);
  });
}

void CLauncherMgr::WriteLogHeader() const {
  Log("Talvenor Launcher for %s :  ver%d", m_title, LauncherVersion);
  WriteDateTime();
}

void CLauncherMgr::WriteDateTime() const {
  SYSTEMTIME now;
  GetLocalTime(&now);
  Log("Date/Time : %04d/%02d/%02d, %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay, now.wHour,
      now.wMinute, now.wSecond);
}

void CLauncherMgr::CopyLog(std::uint32_t fromVersion, std::uint32_t toVersion) const {
  if (!m_initialized) return;
  char folder[kMaxPath];
  char name[kMaxPath];
  char target[kMaxPath];
  GetParentDir(folder, m_logPath);
  FormatString(name, sizeof(name), "launcher_log_%u_to_%u.txt", fromVersion, toVersion);
  if (!JoinPath(name, target, folder)) return;
  CopyFileA(m_logPath, target, FALSE);
}

void CLauncherMgr::LogDirectoryListing(const char* directory, bool recursive) const {
  if (!m_initialized || directory == nullptr) return;
  char pattern[kMaxPath];
  if (!JoinPath("*.*", pattern, directory)) return;
  for (CDirectoryIterator it(pattern); it.Next();) {
    const WIN32_FIND_DATAA& entry = it.Entry();
    if (entry.cFileName[0] == '.') continue;
    char path[kMaxPath];
    if (!JoinPath(entry.cFileName, path, directory)) continue;
    if (it.IsFolder()) {
      if (recursive) LogDirectoryListing(path, true);
      continue;
    }
    FILETIME local;
    SYSTEMTIME t = {};
    FileTimeToLocalFileTime(&entry.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &t);
    Log(" %s, %04d/%02d/%02d, %02d:%02d:%02d, %ubytes", path, t.wYear, t.wMonth, t.wDay, t.wHour,
        t.wMinute, t.wSecond, static_cast<unsigned>(entry.nFileSizeLow));
  }
}

bool CLauncherMgr::Shutdown() {
  if (!m_initialized) return false;
  // Every worker stops while its whole dialog still exists; a destructor that ran first
  // would free what the worker still uses.
  if (m_screens != nullptr) m_screens->destroyAll(m_dialogs);
  m_dialogs.clear();
  m_mainWnd = nullptr;
  Log("Cleanup.");
  if (m_comInitialized) CoUninitialize();
  m_comInitialized = false;
  m_initialized = false;
  return true;
}
